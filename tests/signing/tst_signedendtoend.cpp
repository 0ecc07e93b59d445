#include "StaticServer.h"
#include "TestFiles.h"
#include "UpdaterTree.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QScopedPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every file below dir, the updater itself, its configuration and its cache excepted.
Files installation(const QDir &dir)
{
    Files files;
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = dir.relativeFilePath(it.next());
        if (relative != QLatin1String("update") && relative != QLatin1String("system.cfg") &&
            !relative.startsWith("update.cache/"))
            files.insert(relative, readFile(it.filePath()));
    }
    return files;
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(source));
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

QByteArray okReport(bool update)
{
    return update ? "{\"errormsg\":\"\",\"success\":true,\"update\":true}"
                  : "{\"errormsg\":\"\",\"success\":true,\"update\":false}";
}

const Files Version1{{"app.exe", "application 1.0"}, {"lib/core.dll", QByteArray(200 * 1024, '1')}};
const Files Version2{{"app.exe", "application 2.0"},
                     {"lib/core.dll", QByteArray(200 * 1024, '2')},
                     {"data/new.txt", "new in 2.0"}};
const Files Version3{{"app.exe", "application 3.0"},
                     {"lib/core.dll", QByteArray(200 * 1024, '2')},
                     {"data/new.txt", "new in 2.0"}};

} // namespace

// The built updater and publishing tool as separate processes against a real static HTTP
// server: a vendor who signs, clients who verify, and an attacker who replays.
class tst_SignedEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void signedRoundTrip();
    void replayedOlderPublicationIsRefused();
    void clientWithoutKeyAsksForNothingSigned();

private:
    void publish(const Files &files, const QString &folder, const QString &outputDir)
    {
        QTemporaryDir release;
        QVERIFY(writeFiles(QDir(release.path()), files));
        QProcess tool;
        tool.start(QStringLiteral(PUBLISH_EXE), {"--quiet", "--type", "0", "--folder", folder,
                                                 "--sign", keyFile, release.path(), outputDir});
        QVERIFY(tool.waitForFinished(60000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    }
    void configure(const UpdaterTree &tree, const QString &url, bool withKey)
    {
        tree.writeConfig("[Update]\nURL=" + url.toUtf8() + "\n" +
                         (withKey ? "PublicKey=" + publicKey + "\n" : QByteArray()));
    }

    QScopedPointer<QTemporaryDir> work;
    QString keyFile;
    QByteArray publicKey;
    QString serverDir;
};

void tst_SignedEndToEnd::init()
{
    work.reset(new QTemporaryDir);
    QVERIFY(work->isValid());
    keyFile = work->filePath("vendor.pem");
    serverDir = work->filePath("site");
    QProcess keygen;
    keygen.start(QStringLiteral(PUBLISH_EXE), {"--quiet", "--keygen", keyFile});
    QVERIFY(keygen.waitForFinished(30000));
    QCOMPARE(keygen.exitCode(), 0);
    publicKey = keygen.readAllStandardOutput().trimmed();
    QVERIFY(!publicKey.isEmpty());
}

void tst_SignedEndToEnd::signedRoundTrip()
{
    publish(Version2, "v2", serverDir);
    StaticServer server(serverDir);
    QVERIFY(server.isRunning());
    UpdaterTree tree;
    QVERIFY(tree.isValid());
    QVERIFY(writeFiles(tree.root(), Version1));
    configure(tree, server.url(), true);

    UpdaterTree::Result result = tree.run({"console"});
    QVERIFY2(!result.crashed, result.err.constData());
    QCOMPARE(result.out, okReport(false));
    QCOMPARE(result.exitCode, 0);
    for (auto it = Version2.cbegin(); it != Version2.cend(); ++it)
        QCOMPARE(readFile(tree.root().filePath(it.key())), it.value());
    QCOMPARE(readFile(tree.root().filePath("update_md5.info")),
             readFile(QDir(serverDir).filePath("v2/md5.txt")));
    const QByteArray firstSerial = readFile(tree.root().filePath("update_serial.info"));
    QSettings served(QDir(serverDir).filePath("update.ini"), QSettings::IniFormat);
    QCOMPARE(firstSerial, served.value("Version/Serial").toByteArray() + "\n");
    QCOMPARE(server.requestedPaths().mid(0, 4),
             QStringList({"/update.ini", "/update.ini.sig", "/v2//md5.txt", "/v2//sha256.txt"}));

    // The next release, published over the same site, updates it again.
    publish(Version3, "v3", serverDir);
    result = tree.run({"console"});
    QCOMPARE(result.out, okReport(false));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(readFile(tree.root().filePath("app.exe")), Version3.value("app.exe"));
    const QByteArray secondSerial = readFile(tree.root().filePath("update_serial.info"));
    QVERIFY2(secondSerial.trimmed().toULongLong() > firstSerial.trimmed().toULongLong(),
             secondSerial.constData());
    QVERIFY(server.requestedPaths().contains("/v3/app.exe"));
    QVERIFY2(!server.requestedPaths().contains("/v3/lib/core.dll"), "unchanged files stay");
}

void tst_SignedEndToEnd::replayedOlderPublicationIsRefused()
{
    publish(Version2, "v2", serverDir);
    // What an attacker recorded of the older release: every byte, signature included.
    const QString recorded = work->filePath("recorded");
    QVERIFY(copyTree(serverDir, recorded));
    publish(Version3, "v3", serverDir);

    UpdaterTree tree;
    QVERIFY(writeFiles(tree.root(), Version1));
    {
        StaticServer current(serverDir);
        configure(tree, current.url(), true);
        const UpdaterTree::Result result = tree.run({"console"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(readFile(tree.root().filePath("app.exe")), Version3.value("app.exe"));
    }
    const Files before = installation(tree.root());

    StaticServer replay(recorded);
    configure(tree, replay.url(), true);
    const UpdaterTree::Result result = tree.run({"console"});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(QString::fromUtf8(result.out),
             QString::fromUtf8("{\"errormsg\":\"升级描述文件版本过旧\",\"success\":false,"
                               "\"update\":false}"));
    QCOMPARE(installation(tree.root()).keys(), before.keys());
    QVERIFY2(installation(tree.root()) == before,
             "the installation, its saved list and its serial must stay as they were");
    QCOMPARE(replay.requestedPaths(), QStringList({"/update.ini", "/update.ini.sig"}));
}

void tst_SignedEndToEnd::clientWithoutKeyAsksForNothingSigned()
{
    publish(Version2, "v2", serverDir);
    StaticServer server(serverDir);
    UpdaterTree tree;
    QVERIFY(writeFiles(tree.root(), Version1));
    configure(tree, server.url(), false);

    const UpdaterTree::Result result = tree.run({"console"});
    QCOMPARE(result.out, okReport(false));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(readFile(tree.root().filePath("app.exe")), Version2.value("app.exe"));
    const QStringList requested = server.requestedPaths();
    QCOMPARE(requested.mid(0, 2), QStringList({"/update.ini", "/v2//md5.txt"}));
    for (const QString &path : requested)
        QVERIFY2(!path.endsWith(".sig") && !path.endsWith("sha256.txt"), qPrintable(path));
    QVERIFY(!QFileInfo::exists(tree.root().filePath("update_serial.info")));
}

QTEST_GUILESS_MAIN(tst_SignedEndToEnd)
#include "tst_signedendtoend.moc"
