#include "HostStub.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The host stub must hand back exactly what it was started with, or every test that checks the
// updater's relaunch checks the stub instead.
class tst_HostStub : public QObject
{
    Q_OBJECT

private slots:
    void recordsStart_data();
    void recordsStart();
    void readsRecord_data();
    void readsRecord();
};

void tst_HostStub::recordsStart_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("relaunch") << "app" << QStringList{"/opt/app/update", "no_check"};
    QTest::newRow("no arguments") << "app" << QStringList();
    QTest::newRow("spaces, quotes, backslashes")
        << "my app" << QStringList{"C:\\Program Files\\App\\", "say \"hi\"", "a\\\\\"b", "\\"};
    QTest::newRow("empty argument") << "app" << QStringList{"", "no_check", ""};
    QTest::newRow("outside any code page")
        << QString::fromUtf8("软件 Ünï")
        << QStringList{QString::fromUtf8("D:/软件/升级 程序/update.exe"),
                       QString::fromUtf8("Ωμέγα ☃ 😀")};
}

void tst_HostStub::recordsStart()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, arguments);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QDir dir(QDir(scratch.path()).filePath(folder));
    QVERIFY(dir.mkpath(QStringLiteral(".")));
    const QString cwd = QFileInfo(dir.path()).canonicalFilePath();
    const HostStub host(dir.filePath(QStringLiteral("Host.exe")));
    QVERIFY(host.write());
    QVERIFY(!host.started());

    QProcess process;
    process.setWorkingDirectory(cwd);
    // Standard input stays open: a stub that waited for it would never finish.
    process.start(host.path(), arguments);
    QVERIFY2(process.waitForFinished(30000), qPrintable(process.errorString()));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    QCOMPARE(host.record(), QStringList(cwd) + arguments);
    QVERIFY(!QFileInfo::exists(host.path() + QStringLiteral(".part")));
}

void tst_HostStub::readsRecord_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("\\n") << QByteArray("/w\n/u/update\nno_check\n")
                         << QStringList{"/w", "/u/update", "no_check"};
    QTest::newRow("\\r\\n") << QByteArray("/w\r\n/u/update\r\nno_check\r\n")
                            << QStringList{"/w", "/u/update", "no_check"};
    QTest::newRow("UTF-8") << QByteArray("/\xe8\xbd\xaf\n\xe2\x98\x83\n")
                           << QStringList{QString::fromUtf8("/软"), QString::fromUtf8("☃")};
    QTest::newRow("empty last argument")
        << QByteArray("/w\r\nno_check\r\n\r\n") << QStringList{"/w", "no_check", ""};
}

void tst_HostStub::readsRecord()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QTemporaryDir scratch;
    const HostStub host(QDir(scratch.path()).filePath(QStringLiteral("Host.exe")));
    QFile file(host.path() + QStringLiteral(".record"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QCOMPARE(host.record(), expected);
}

QTEST_GUILESS_MAIN(tst_HostStub)
#include "tst_hoststub.moc"
