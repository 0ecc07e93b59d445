#include "KeyFile.h"
#include "PublishTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// A new private key file lets its owner alone in, whatever the folder hands down.
class tst_KeyFile : public QObject
{
    Q_OBJECT

private slots:
    void newFileIsTheOwnersAlone_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("ASCII") << QStringLiteral("vendor.pem");
        QTest::newRow("outside every ANSI code page") << QStringLiteral("密钥-ключ-कुंजी.pem");
    }

    void newFileIsTheOwnersAlone()
    {
        QFETCH(QString, name);
        QTemporaryDir temp;
        QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
        const QString path = temp.filePath(name);

        QString errorText;
        QVERIFY2(createPrivateFile(path, "key", errorText), qPrintable(errorText));
        QVERIFY2(isOwnerOnly(path, errorText), qPrintable(errorText));
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), "the owner cannot read it");
        QCOMPARE(file.readAll(), QByteArray("key"));
    }
};

QTEST_GUILESS_MAIN(tst_KeyFile)
#include "tst_keyfile.moc"
