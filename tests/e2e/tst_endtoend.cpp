#include "StaticServer.h"
#include "TestFiles.h"
#include "TestServer.h"
#include "UpdaterTree.h"

#include <QDirIterator>
#include <QFile>
#include <QScopedPointer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray okReport(bool update)
{
    return update ? "{\"errormsg\":\"\",\"success\":true,\"update\":true}"
                  : "{\"errormsg\":\"\",\"success\":true,\"update\":false}";
}

// Release 2.0: app.exe and lib/core.dll change, data/new.txt is new, readme.txt stays.
const Files Release{{"app.exe", "application 2.0"},
                    {"lib/core.dll", QByteArray(300 * 1024, 'c')},
                    {"data/new.txt", "new in 2.0"},
                    {"readme.txt", "read me"}};
const Files Installed{
    {"app.exe", "application 1.0"}, {"lib/core.dll", "core 1.0"}, {"readme.txt", "read me"}};

} // namespace

// The built updater and publishing tool, run as separate processes against a real static
// HTTP server, the way a vendor ships them.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void upToDate();
    void silentOptionalUpdate();
    void mandatoryUpdateWithProgressWindow();
    void brokenFileOnServer();
    void updaterInBinFolder();
    void killedMidDownloadResumes();
    void throughTheSystemProxy();

private:
    // Publishes `files` into the server directory with update-publish.
    void publish(const Files &files, const QString &type)
    {
        QTemporaryDir release;
        QVERIFY(writeFiles(QDir(release.path()), files));
        QProcess tool;
        tool.start(QStringLiteral(PUBLISH_EXE),
                   {QStringLiteral("--quiet"), QStringLiteral("--type"), type, release.path(),
                    serverDir->path()});
        QVERIFY(tool.waitForFinished(60000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    }
    void configure(const UpdaterTree &tree, const QString &url)
    {
        tree.writeConfig("[Update]\nURL=" + url.toUtf8() + "\n");
    }
    // The installation root must hold every release file; changed files keep their
    // previous content as ".old".
    void verifyInstalled(const QDir &root, const Files &before)
    {
        for (auto it = Release.cbegin(); it != Release.cend(); ++it) {
            QCOMPARE(readFile(root.filePath(it.key())), it.value());
            const QString old = root.filePath(it.key() + QStringLiteral(".old"));
            if (before.contains(it.key()) && before.value(it.key()) != it.value())
                QCOMPARE(readFile(old), before.value(it.key()));
            else
                QVERIFY2(!QFileInfo::exists(old), qPrintable(old));
        }
    }

    QScopedPointer<QTemporaryDir> serverDir;
};

void tst_EndToEnd::init()
{
    serverDir.reset(new QTemporaryDir);
}

void tst_EndToEnd::upToDate()
{
    publish(Release, QStringLiteral("1"));
    StaticServer server(serverDir->path());
    QVERIFY(server.isRunning());
    UpdaterTree tree;
    QVERIFY(tree.isValid());
    QVERIFY(writeFiles(tree.root(), Release));
    configure(tree, server.url());

    const UpdaterTree::Result result = tree.run({QStringLiteral("console")});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, okReport(false));
    QCOMPARE(readFile(tree.root().filePath("update_md5.info")),
             readFile(QDir(serverDir->path()).filePath("Base/md5.txt")));
    QCOMPARE(server.requestedPaths(), QStringList({"/update.ini", "/Base//md5.txt"}));
    QTest::qWait(200);
    QVERIFY(!tree.hostStarted());
}

void tst_EndToEnd::silentOptionalUpdate()
{
    publish(Release, QStringLiteral("0"));
    StaticServer server(serverDir->path());
    UpdaterTree tree;
    QVERIFY(writeFiles(tree.root(), Installed));
    configure(tree, server.url());

    const UpdaterTree::Result result = tree.run({QStringLiteral("console")});
    QVERIFY2(!result.crashed, result.err.constData());
    QCOMPARE(result.out, okReport(false));
    QCOMPARE(result.exitCode, 0);
    verifyInstalled(tree.root(), Installed);
    QCOMPARE(readFile(tree.root().filePath("update_md5.info")),
             readFile(QDir(serverDir->path()).filePath("Base/md5.txt")));
    // Only what differed was fetched; several at a time, so in any order of arrival.
    QStringList fetched = server.requestedPaths().mid(2);
    fetched.sort();
    QCOMPARE(fetched, QStringList({"/Base/app.exe", "/Base/data/new.txt", "/Base/lib/core.dll"}));
    QTest::qWait(200);
    QVERIFY2(!tree.hostStarted(), "a silent console update starts nothing");
}

void tst_EndToEnd::mandatoryUpdateWithProgressWindow()
{
    publish(Release, QStringLiteral("1"));
    StaticServer server(serverDir->path());
    UpdaterTree tree;
    QVERIFY(writeFiles(tree.root(), Installed));
    configure(tree, server.url());

    const UpdaterTree::Result result = tree.run({QStringLiteral("console")});
    QCOMPARE(result.out, okReport(true));
    QCOMPARE(result.exitCode, 0);
    verifyInstalled(tree.root(), Installed);
    QTRY_VERIFY(tree.hostStarted());
    QCOMPARE(tree.hostRecord().mid(1), QStringList({tree.updaterPath(), "no_check"}));
}

void tst_EndToEnd::brokenFileOnServer()
{
    publish(Release, QStringLiteral("1"));
    // Same size, one byte changed after publishing: the list no longer matches the file.
    const QString served = QDir(serverDir->path()).filePath("Base/app.exe");
    QByteArray content = readFile(served);
    content[0] = 'A';
    QVERIFY(writeFiles(QDir(serverDir->path()), {{"Base/app.exe", content}}));
    StaticServer server(serverDir->path());
    UpdaterTree tree;
    QVERIFY(writeFiles(tree.root(), Installed));
    configure(tree, server.url());

    const UpdaterTree::Result result = tree.run({QStringLiteral("console")});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, okReport(true) + "{\"errormsg\":\"" +
                             QString::fromUtf8("更新文件app.exe校验不对").toUtf8() +
                             "\",\"success\":false,\"update\":false}");
    for (auto it = Installed.cbegin(); it != Installed.cend(); ++it) {
        QCOMPARE(readFile(tree.root().filePath(it.key())), it.value());
        QVERIFY(!QFileInfo::exists(tree.root().filePath(it.key() + ".old")));
    }
    QVERIFY(!QFileInfo::exists(tree.root().filePath("update_md5.info")));
    QTest::qWait(200);
    QVERIFY(!tree.hostStarted());
}

void tst_EndToEnd::updaterInBinFolder()
{
    publish(Release, QStringLiteral("0"));
    StaticServer server(serverDir->path());
    UpdaterTree tree(QStringLiteral("bin"));
    QVERIFY(writeFiles(tree.root(), Installed));
    configure(tree, server.url());

    const UpdaterTree::Result result = tree.run({QStringLiteral("console")});
    QCOMPARE(result.exitCode, 0);
    verifyInstalled(tree.root(), Installed);
    QVERIFY(QFileInfo::exists(tree.root().filePath("update_md5.info")));
    QVERIFY(!QFileInfo::exists(tree.appDir().filePath("app.exe")));
    // The default cache stays beside the updater.
    QVERIFY(QFileInfo(tree.appDir().filePath("update.cache")).isDir());
}

void tst_EndToEnd::killedMidDownloadResumes()
{
    Files release;
    for (int i = 0; i < 6; ++i)
        release.insert(QStringLiteral("part%1.bin").arg(i), QByteArray(96 * 1024, char('a' + i)));
    publish(release, QStringLiteral("0"));

    // A slow server, so that the run can be killed while files are still on their way.
    QScopedPointer<CTestServer> slow(new CTestServer);
    slow->serveDirectory(QStringLiteral("/"), serverDir->path(),
                         TestResponse().trickled(8 * 1024, 25));
    UpdaterTree tree;
    configure(tree, slow->baseUrl() + QStringLiteral("/"));
    QScopedPointer<QProcess> first(tree.start({QStringLiteral("console")}));
    const QDir cache(tree.appDir().filePath(QStringLiteral("update.cache")));
    QStringList cached;
    const auto lookAtCache = [&] {
        cached.clear();
        for (auto it = release.cbegin(); it != release.cend(); ++it)
            if (readFile(cache.filePath(it.key())) == it.value())
                cached.append(it.key());
        return cached.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(lookAtCache() >= 3, 30000);
    first->kill();
    first->waitForFinished();
    lookAtCache();
    QVERIFY2(cached.size() >= 3, qPrintable(cached.join(',')));
    QVERIFY2(cached.size() < release.size(), "the kill came too late to test anything");

    CTestServer fast;
    fast.serveDirectory(QStringLiteral("/"), serverDir->path());
    configure(tree, fast.baseUrl() + QStringLiteral("/"));
    QScopedPointer<QProcess> second(tree.start({QStringLiteral("console")}));
    QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, 60000);
    QCOMPARE(second->exitCode(), 0);
    QStringList fetched = fast.requestedPaths().mid(2);
    fetched.sort(); // several at a time: they may arrive in any order
    QStringList expected;
    for (auto it = release.cbegin(); it != release.cend(); ++it)
        if (!cached.contains(it.key()))
            expected.append(QStringLiteral("/Base/") + it.key());
    QCOMPARE(fetched, expected);
    for (auto it = release.cbegin(); it != release.cend(); ++it)
        QCOMPARE(readFile(tree.root().filePath(it.key())), it.value());
    // Nothing of the killed run's partial download is left; only the description copy stays.
    QCOMPARE(cache.entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"update.ini"});
}

void tst_EndToEnd::throughTheSystemProxy()
{
#ifdef Q_OS_WIN
    QSKIP("Windows takes the proxy from the system settings, not from the environment");
#endif
    publish(Release, QStringLiteral("0"));
    // Answers requests in absolute form, as a forward proxy does. Qt never sends a request for
    // a loopback address through a proxy, so the server's name is one only the proxy knows.
    CTestServer proxy;
    proxy.serveDirectory(QStringLiteral("http://updates.invalid/"), serverDir->path());
    UpdaterTree tree;
    QVERIFY(writeFiles(tree.root(), Installed));
    tree.setEnvironmentVariable(QStringLiteral("http_proxy"), proxy.baseUrl());
    configure(tree, QStringLiteral("http://updates.invalid/"));

    // The server answers from this thread's event loop, so the run must not block it.
    QScopedPointer<QProcess> run(tree.start({QStringLiteral("console")}));
    QTRY_VERIFY_WITH_TIMEOUT(run->state() == QProcess::NotRunning, 60000);
    QCOMPARE(run->readAllStandardOutput(), okReport(false));
    QCOMPARE(run->exitCode(), 0);
    verifyInstalled(tree.root(), Installed);
    QCOMPARE(
        proxy.requestedPaths().mid(0, 2),
        QStringList({"http://updates.invalid/update.ini", "http://updates.invalid/Base//md5.txt"}));
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
