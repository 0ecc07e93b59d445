#include "Configuration.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// How system.cfg's PublicKey switches signed updates on.
class tst_KeyConfig : public QObject
{
    Q_OBJECT

private slots:
    void publicKey_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<bool>("required");
        QTest::addColumn<QByteArray>("key");

        const QByteArray key = "X40ZFZh6Ptd1Opj31kTo7GdCqVycJvsQVyxXIxpRn8Q=";
        QTest::newRow("no key: unsigned as before")
            << QByteArray("[Update]\nURL=http://127.0.0.1/\n") << false << QByteArray();
        QTest::newRow("key") << "[Update]\nPublicKey=" + key + "\n" << true << key;
        QTest::newRow("blanks around the key") << "[Update]\nPublicKey =  " + key + "  \n"
                                               << true << key;
        QTest::newRow("empty key still requires a signature")
            << QByteArray("[Update]\nPublicKey=\n") << true << QByteArray();
        QTest::newRow("key in another section is not ours") << "[Other]\nPublicKey=" + key + "\n"
                                                            << false << QByteArray();
        QTest::newRow("non-Latin-1 text cannot pass as a key")
            << QByteArray("[Update]\nPublicKey=\"\\x4e2d\"\n") << true << QByteArray("?");
    }

    void publicKey()
    {
        QFETCH(QByteArray, config);
        QFETCH(bool, required);
        QFETCH(QByteArray, key);
        QTemporaryDir dir;
        QFile file(QDir(dir.path()).filePath(QStringLiteral("system.cfg")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(config), qint64(config.size()));
        file.close();

        const Configuration read = readConfiguration(QDir(dir.path()));
        QCOMPARE(read.signatureRequired, required);
        QCOMPARE(read.publicKey, key);
    }
};

QTEST_GUILESS_MAIN(tst_KeyConfig)
#include "tst_keyconfig.moc"
