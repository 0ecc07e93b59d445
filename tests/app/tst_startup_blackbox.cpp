#include "TestFiles.h"
#include "UpdaterTree.h"

#include <QScopedPointer>
#include <QSharedMemory>
#include <QtTest>

// Runs the built updater as a separate process, the way a vendor's installer or the host
// application would.
class tst_StartupBlackBox : public QObject
{
    Q_OBJECT

private slots:
    void invalidAddressInConsole_data();
    void invalidAddressInConsole();
    void secondInstance();
    void killedHolderDoesNotBlock();
    void restartStartsHostOnly();
    void interruptedInstallationIsRecoveredFirst_data();
    void interruptedInstallationIsRecoveredFirst();

private:
    static QByteArray failureReport(const QString &text)
    {
        return "{\"errormsg\":\"" + text.toUtf8() + "\",\"success\":false,\"update\":false}";
    }
    // Waits until an updater of `tree` holds its single-instance guard.
    static bool guardHeld(const UpdaterTree &tree)
    {
        QSharedMemory probe(tree.appDir().path() + QStringLiteral("update_singleton"));
        if (!probe.attach(QSharedMemory::ReadOnly))
            return false;
        probe.detach();
        return true;
    }
    // Kills an updater; a run after it releases the segment the killed one leaves behind.
    static void stop(QProcess *process)
    {
        process->kill();
        process->waitForFinished();
    }
    static void releaseLeftover(const UpdaterTree &tree)
    {
        QSharedMemory leftover(tree.appDir().path() + QStringLiteral("update_singleton"));
        if (leftover.attach(QSharedMemory::ReadOnly))
            leftover.detach();
    }
};

void tst_StartupBlackBox::invalidAddressInConsole_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("text");
    QTest::newRow("no system.cfg")
        << "console" << QByteArray() << QString::fromUtf8("升级地址不合法:");
    QTest::newRow("empty URL") << "console" << QByteArray("[Update]\nURL=\n")
                               << QString::fromUtf8("升级地址不合法:");
    QTest::newRow("malformed URL") << "console" << QByteArray("[Update]\nURL=http://[::1\n")
                                   << QString::fromUtf8("升级地址不合法:http://[::1");
    // Scripts compare the report's texts: English windows leave them as they are.
    QTest::newRow("English windows") << "console" << QByteArray("[Update]\nURL=\nLanguage=en\n")
                                     << QString::fromUtf8("升级地址不合法:");
    QTest::newRow("mode in capitals")
        << "CONSOLE" << QByteArray("[Update]\nDownLoadUrl=http://127.0.0.1:9/\n")
        << QString::fromUtf8("升级地址不合法:");
}

void tst_StartupBlackBox::invalidAddressInConsole()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, ini);
    QFETCH(QString, text);
    UpdaterTree tree;
    QVERIFY(tree.isValid());
    if (!ini.isEmpty())
        tree.writeConfig(ini);

    const UpdaterTree::Result result = tree.run({mode});
    QVERIFY2(!result.crashed, result.err.constData());
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, failureReport(text));
    QTest::qWait(200);
    QVERIFY2(!tree.hostStarted(), "console mode must not start the host application");
}

void tst_StartupBlackBox::secondInstance()
{
    UpdaterTree tree;
    QVERIFY(tree.isValid());
    // An interactive run with an empty URL takes the guard, then waits in its error dialog.
    QScopedPointer<QProcess> holder(tree.start({}));
    QTRY_VERIFY_WITH_TIMEOUT(guardHeld(tree), 20000);

    const UpdaterTree::Result console = tree.run({QStringLiteral("console")});
    QCOMPARE(console.exitCode, 1);
    QCOMPARE(console.out, failureReport(QString::fromUtf8("升级程序已运行")));
    QTest::qWait(200);
    QVERIFY(!tree.hostStarted());

    // Restart mode takes no guard, so it still starts the host application.
    const UpdaterTree::Result restart = tree.run({QStringLiteral("restart")});
    QCOMPARE(restart.exitCode, 1);
    QCOMPARE(restart.out, QByteArray());
    QTRY_VERIFY(tree.hostStarted());

    QCOMPARE(holder->state(), QProcess::Running);
    stop(holder.data());
    releaseLeftover(tree);
}

void tst_StartupBlackBox::killedHolderDoesNotBlock()
{
    UpdaterTree tree;
    QVERIFY(tree.isValid());
    QScopedPointer<QProcess> holder(tree.start({}));
    QTRY_VERIFY_WITH_TIMEOUT(guardHeld(tree), 20000);
    stop(holder.data()); // SIGKILL: the guard's segment is left behind

    const UpdaterTree::Result next = tree.run({QStringLiteral("console")});
    QCOMPARE(next.exitCode, 1);
    QCOMPARE(next.out, failureReport(QString::fromUtf8("升级地址不合法:")));

    // And the run after it is not blocked by anything that run left.
    const UpdaterTree::Result again = tree.run({QStringLiteral("console")});
    QCOMPARE(again.out, failureReport(QString::fromUtf8("升级地址不合法:")));
}

void tst_StartupBlackBox::restartStartsHostOnly()
{
    UpdaterTree tree(QStringLiteral("bin"));
    QVERIFY(tree.isValid());
    // The server address is unreachable on purpose: restart mode must not fetch anything.
    tree.writeConfig("[Update]\nURL=http://127.0.0.1:1/\nCache=never-created\n");
    QTemporaryDir workDir;
    const QString cwd = QFileInfo(workDir.path()).canonicalFilePath();

    const UpdaterTree::Result result =
        tree.run({QStringLiteral("ReStArT"), QStringLiteral("x")}, cwd);
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, QByteArray());
    QTRY_VERIFY(tree.hostStarted());
    // Working directory inherited from the updater, then the updater's path and "no_check".
    QCOMPARE(tree.hostRecord(), QStringList({cwd, tree.updaterPath(), QStringLiteral("no_check")}));
    QVERIFY(!QFileInfo::exists(QDir(cwd).filePath(QStringLiteral("never-created"))));
    QVERIFY(!QFileInfo::exists(tree.appDir().filePath(QStringLiteral("never-created"))));
}

void tst_StartupBlackBox::interruptedInstallationIsRecoveredFirst_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("folderStep");
    QTest::addColumn<QByteArray>("report");
    const QByteArray invalidAddress = failureReport(QString::fromUtf8("升级地址不合法:"));
    QTest::newRow("restart") << "restart" << QByteArray() << QByteArray();
    QTest::newRow("console, then the run goes on") << "console" << QByteArray() << invalidAddress;
    // A folder the step created that is not empty any more cannot be taken back.
    QTest::newRow("console, recovery fails")
        << "console" << QByteArray("folder 00 made\n")
        << failureReport(QString::fromUtf8("删除文件made失败"));
}

// Killed between moving app.txt aside and renaming its new version in.
void tst_StartupBlackBox::interruptedInstallationIsRecoveredFirst()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, folderStep);
    QFETCH(QByteArray, report);
    UpdaterTree tree(QStringLiteral("bin"));
    QVERIFY(tree.isValid());
    const QDir root = tree.root();
    const QString cache = root.filePath(QStringLiteral("cache"));
    QVERIFY(root.mkpath(QStringLiteral("made/inside")));
    QVERIFY(writeFile(root.filePath(QStringLiteral("app.txt.old")), "version 1"));
    QVERIFY(writeFile(root.filePath(QStringLiteral("app.txt.update-new")), "version 2"));
    QVERIFY(writeFile(root.filePath(QStringLiteral("update_journal.info")),
                      "update-journal 1\ncache " + cache.toUtf8() + "\nphase swap\n" + folderStep +
                          "stage 00 app.txt\nswap 10 app.txt\n"));

    const UpdaterTree::Result result = tree.run({mode});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, report);
    QCOMPARE(readFile(root.filePath(QStringLiteral("app.txt"))), QByteArray("version 1"));
    QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("app.txt.old"))));
    QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("app.txt.update-new"))));
    QCOMPARE(readFile(QDir(cache).filePath(QStringLiteral("app.txt"))), QByteArray("version 2"));
    QCOMPARE(QFileInfo::exists(root.filePath(QStringLiteral("update_journal.info"))),
             !folderStep.isEmpty());
    if (mode == QLatin1String("restart"))
        QTRY_VERIFY(tree.hostStarted());
}

QTEST_GUILESS_MAIN(tst_StartupBlackBox)
#include "tst_startup_blackbox.moc"
