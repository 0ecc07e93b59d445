#include "DescriptionFields.h"
#include "StdoutCapture.h"
#include "TestServer.h"
#include "UpdateCheck.h"
#include "UpdateContext.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

Q_DECLARE_METATYPE(CheckFailure)
Q_DECLARE_METATYPE(RunMode)

namespace {

const QByteArray OneFileList = "98500190b04fd23c7d3f96d6727fe128\t0000000300000000\tabc.dat\r\n";

} // namespace

class tst_UpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void requestPaths_data();
    void requestPaths();
    void description_data();
    void description();
    void descriptionFromVerifiedBytes_data() { description_data(); }
    void descriptionFromVerifiedBytes();
    void failures_data();
    void failures();
    void descriptionPastTheLimit();
    void copyCannotBeCreated();
    void copyOnAFullVolume();
    void linkAtCopyPlaceIsNotFollowed();
    void invalidDescriptionAddress();
    void listAndPlan();
    void firstConsoleReport_data();
    void firstConsoleReport();

private:
    // A context whose directories lie in a fresh temporary tree.
    void prepare(UpdateContext &context, const QString &serverUrl)
    {
        context.serverUrl = serverUrl;
        context.installDir.setPath(tree->filePath(QStringLiteral("install")));
        context.cacheDir.setPath(tree->filePath(QStringLiteral("cache")));
        QDir().mkpath(context.installDir.path());
        QDir().mkpath(context.cacheDir.path());
    }
    QString readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QScopedPointer<QTemporaryDir> tree;
    QScopedPointer<CTestServer> server;
};

void tst_UpdateCheck::init()
{
    tree.reset(new QTemporaryDir);
    server.reset(new CTestServer);
    QVERIFY(server->isListening());
}

void tst_UpdateCheck::requestPaths_data()
{
    QTest::addColumn<QString>("urlPath");
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("baseSuffix");

    QTest::newRow("trailing slash, default folder")
        << "/srv/" << QByteArray("[Summary]\nUpdateType=1\n")
        << QStringList{"/srv//update.ini", "/srv/Base//md5.txt"} << "/srv/Base/";
    QTest::newRow("no trailing slash, folder New")
        << "/srv" << QByteArray("[Version]\nFolder=New\n")
        << QStringList{"/srv/update.ini", "/srvNew//md5.txt"} << "/srvNew/";
    QTest::newRow("nested folder")
        << "/a/b/" << QByteArray("[Version]\nFolder=v2/full\n")
        << QStringList{"/a/b//update.ini", "/a/b/v2/full//md5.txt"} << "/a/b/v2/full/";
}

void tst_UpdateCheck::requestPaths()
{
    QFETCH(QString, urlPath);
    QFETCH(QByteArray, description);
    QFETCH(QStringList, paths);
    QFETCH(QString, baseSuffix);

    server->setRoute(paths.at(0), TestResponse::ok(description));
    server->setRoute(paths.at(1), TestResponse::ok(QByteArray()));
    UpdateContext context;
    prepare(context, server->baseUrl() + urlPath);

    const CheckResult result = checkForUpdate(context);
    QCOMPARE(result.failure, CheckFailure::NoFailure);
    QCOMPARE(server->requestedPaths(), paths);
    QCOMPARE(result.versionBaseUrl, server->baseUrl() + baseSuffix);
}

void tst_UpdateCheck::description_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<int>("updateType");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("connections");

    QTest::newRow("empty file: defaults") << QByteArray() << 1 << QString() << 1;
    QTest::newRow("optional") << QByteArray("[Summary]\nUpdateType=0\n") << 0 << QString() << 1;
    QTest::newRow("other number") << QByteArray("[Summary]\nUpdateType=7\n") << 7 << QString() << 1;
    QTest::newRow("not a number reads 0")
        << QByteArray("[Summary]\nUpdateType=soon\n") << 0 << QString() << 1;
    QTest::newRow("version") << QByteArray("[Version]\nVersion=3.1.0.2\n") << 1 << "3.1.0.2" << 1;
    QTest::newRow("escaped non-ASCII version")
        << QByteArray("[Version]\nVersion=\"\\x7b2c\\x4e09\\x7248\"\n") << 1
        << QString::fromUtf8("第三版") << 1;
    QTest::newRow("connections") << QByteArray("[Download]\nConnections=4\n") << 1 << QString()
                                 << 4;
    QTest::newRow("connections not a number")
        << QByteArray("[Download]\nConnections=four\n") << 1 << QString() << 1;
    QTest::newRow("connections zero")
        << QByteArray("[Download]\nConnections=0\n") << 1 << QString() << 1;
}

void tst_UpdateCheck::description()
{
    QFETCH(QByteArray, description);
    QFETCH(int, updateType);
    QFETCH(QString, version);

    server->setRoute(QStringLiteral("/u//update.ini"), TestResponse::ok(description));
    server->setRoute(QStringLiteral("/u/Base//md5.txt"), TestResponse::ok(QByteArray()));
    UpdateContext context;
    prepare(context, server->baseUrl() + QStringLiteral("/u/"));

    QFETCH(int, connections);
    const CheckResult result = checkForUpdate(context);
    QCOMPARE(result.failure, CheckFailure::NoFailure);
    QCOMPARE(result.updateType, updateType);
    QCOMPARE(result.version, version);
    QCOMPARE(result.connections, connections);
    // The copy in the cache directory holds the bytes as served.
    QFile copy(context.cacheDir.filePath(QStringLiteral("update.ini")));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), description);
}

// Signed mode reads the fields from the bytes whose signature was checked, through a scratch
// file in the cache directory that must not stay behind.
void tst_UpdateCheck::descriptionFromVerifiedBytes()
{
    QFETCH(QByteArray, description);
    QFETCH(int, updateType);
    QFETCH(QString, version);

    const QDir scratch(tree->path());
    DescriptionFields fields;
    QString failureText;
    QVERIFY2(readDescriptionFields(description, scratch, fields, failureText),
             qPrintable(failureText));
    QFETCH(int, connections);
    QCOMPARE(fields.updateType, updateType);
    QCOMPARE(fields.version, version);
    QCOMPARE(fields.connections, connections);
    QCOMPARE(fields.folder, QStringLiteral("Base"));
    QCOMPARE(scratch.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());

    QVERIFY(
        !readDescriptionFields(description, QDir(scratch.filePath("absent")), fields, failureText));
    QVERIFY2(failureText.startsWith(QString::fromUtf8("创建文件[")), qPrintable(failureText));
}

void tst_UpdateCheck::failures_data()
{
    QTest::addColumn<TestResponse>("descriptionAnswer");
    QTest::addColumn<TestResponse>("listAnswer");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QStringList>("paths");

    const TestResponse goodDescription = TestResponse::ok("[Summary]\nUpdateType=1\n");
    QTest::newRow("description 404")
        << TestResponse::withStatus(404) << TestResponse::ok(OneFileList)
        << QString::fromUtf8("下载升级描述文件失败:") << "Not Found"
        << QStringList{"/u//update.ini"};
    QTest::newRow("list 404") << goodDescription << TestResponse::withStatus(404)
                              << QString::fromUtf8("下载更新列表文件失败:") << "Not Found"
                              << QStringList{"/u//update.ini", "/u/Base//md5.txt"};
    QTest::newRow("list cut short") << goodDescription << TestResponse::ok(OneFileList).cutAfter(20)
                                    << QString::fromUtf8("下载更新列表文件失败:") << QString()
                                    << QStringList{"/u//update.ini", "/u/Base//md5.txt"};
    QTest::newRow("compressed although not asked for")
        << goodDescription
        << TestResponse::ok(qCompress(OneFileList).mid(4)).withHeader("Content-Encoding", "deflate")
        << QString::fromUtf8("下载更新列表文件失败:") << "not a file list"
        << QStringList{"/u//update.ini", "/u/Base//md5.txt"};
    QTest::newRow("a page instead of the list")
        << goodDescription << TestResponse::ok("<html><body>Sign in first</body></html>\n")
        << QString::fromUtf8("下载更新列表文件失败:") << "not a file list"
        << QStringList{"/u//update.ini", "/u/Base//md5.txt"};
    QTest::newRow("description above 1 MiB")
        << TestResponse::ok("[Summary]\n" + QByteArray(1 << 20, ';'))
        << TestResponse::ok(OneFileList) << QString::fromUtf8("下载升级描述文件失败:")
        << "larger than 1 MiB" << QStringList{"/u//update.ini"};
    // Refused on the announcement, long before the body could be waited for.
    QTest::newRow("list announced above 64 MiB")
        << goodDescription
        << TestResponse::ok(OneFileList)
               .closeDelimited()
               .withHeader("Content-Length", QByteArray::number((64 << 20) + 1))
               .stalledAfterHeaders()
        << QString::fromUtf8("下载更新列表文件失败:") << "larger than 64 MiB"
        << QStringList{"/u//update.ini", "/u/Base//md5.txt"};
}

void tst_UpdateCheck::failures()
{
    QFETCH(TestResponse, descriptionAnswer);
    QFETCH(TestResponse, listAnswer);
    QFETCH(QString, prefix);
    QFETCH(QString, detail);
    QFETCH(QStringList, paths);

    server->setRoute(QStringLiteral("/u//update.ini"), descriptionAnswer);
    server->setRoute(QStringLiteral("/u/Base//md5.txt"), listAnswer);
    UpdateContext context;
    prepare(context, server->baseUrl() + QStringLiteral("/u/"));

    const CheckResult result = checkForUpdate(context);
    QCOMPARE(result.failure, CheckFailure::StepFailed);
    QVERIFY2(result.failureText.startsWith(prefix), qPrintable(result.failureText));
    QVERIFY2(result.failureText.size() > prefix.size(), "the reason must follow the prefix");
    QVERIFY2(result.failureText.contains(detail), qPrintable(result.failureText));
    QVERIFY(!result.failureText.contains(QString::fromUtf8("网络超时")));
    QCOMPARE(server->requestedPaths(), paths);
    QVERIFY(!QFileInfo::exists(context.installDir.filePath(QStringLiteral("update_md5.info"))));
}

void tst_UpdateCheck::descriptionPastTheLimit()
{
    server->setRoute(QStringLiteral("/u//update.ini"),
                     TestResponse::ok("[Summary]\n").delayedBy(8000));
    UpdateContext context;
    prepare(context, server->baseUrl() + QStringLiteral("/u/"));
    QElapsedTimer clock;
    clock.start();
    const CheckResult result = checkForUpdate(context);
    QCOMPARE(result.failure, CheckFailure::StepFailed);
    QCOMPARE(result.failureText, QString::fromUtf8("下载升级描述文件失败:网络超时"));
    QVERIFY2(clock.elapsed() < 7500, "the 5-second limit must end the wait before the answer");
}

void tst_UpdateCheck::copyCannotBeCreated()
{
    server->setRoute(QStringLiteral("/u//update.ini"), TestResponse::ok("[Summary]\n"));
    UpdateContext context;
    prepare(context, server->baseUrl() + QStringLiteral("/u/"));
    // A directory where the copy belongs cannot be opened as a file, even by root.
    QVERIFY(context.cacheDir.mkdir(QStringLiteral("update.ini")));

    const CheckResult result = checkForUpdate(context);
    QCOMPARE(result.failure, CheckFailure::StepFailed);
    const QString expectedStart =
        QString::fromUtf8("创建文件[%1]失败:")
            .arg(context.cacheDir.absoluteFilePath(QStringLiteral("update.ini")));
    QVERIFY2(result.failureText.startsWith(expectedStart), qPrintable(result.failureText));
    QVERIFY(result.failureText.size() > expectedStart.size());
    QCOMPARE(server->requestedPaths(), QStringList{"/u//update.ini"});
}

// A full cache volume: the copy is either written whole or the check fails, and the previous
// copy stays as it was.
void tst_UpdateCheck::copyOnAFullVolume()
{
#ifdef Q_OS_LINUX
    server->setRoute(QStringLiteral("/u//update.ini"),
                     TestResponse::ok("[Summary]\nUpdateType=1\n[Version]\nFolder=v2\n"));
    UpdateContext context;
    prepare(context, server->baseUrl() + QStringLiteral("/u/"));
    const QByteArray cacheDir = QFile::encodeName(context.cacheDir.path());
    if (::mount("tmpfs", cacheDir.constData(), "tmpfs", 0, "size=64k") != 0) {
        QSKIP("mounting a small tmpfs is not permitted here");
    }
    const auto unmount = qScopeGuard([&] { ::umount2(cacheDir.constData(), MNT_DETACH); });
    const QString copy = context.cacheDir.absoluteFilePath(QStringLiteral("update.ini"));
    const QByteArray previous = "[Summary]\nUpdateType=0\n";
    QFile earlier(copy);
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write(previous) == previous.size());
    earlier.close();
    QFile filler(context.cacheDir.filePath(QStringLiteral("filler")));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'f')) > 0) {
    }

    const CheckResult result = checkForUpdate(context);
    QCOMPARE(result.failure, CheckFailure::StepFailed);
    const QString expectedStart = QString::fromUtf8("创建文件[%1]失败:").arg(copy);
    QVERIFY2(result.failureText.startsWith(expectedStart), qPrintable(result.failureText));
    QVERIFY(result.failureText.size() > expectedStart.size());
    QCOMPARE(readFile(copy), QString::fromUtf8(previous));
    QCOMPARE(server->requestedPaths(), QStringList{"/u//update.ini"});
#else
    QSKIP("mounts a tmpfs: Linux only");
#endif
}

void tst_UpdateCheck::linkAtCopyPlaceIsNotFollowed()
{
    server->setRoute(QStringLiteral("/u//update.ini"), TestResponse::ok("[Summary]\n"));
    server->setRoute(QStringLiteral("/u/Base//md5.txt"), TestResponse::ok(QByteArray()));
    UpdateContext context;
    prepare(context, server->baseUrl() + QStringLiteral("/u/"));
    const QString outside = tree->filePath(QStringLiteral("outside.txt"));
    QFile target(outside);
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write("keep me");
    target.close();
    const QString copy = context.cacheDir.filePath(QStringLiteral("update.ini"));
    QVERIFY(QFile::link(outside, copy));

    QCOMPARE(checkForUpdate(context).failure, CheckFailure::NoFailure);
    QCOMPARE(readFile(outside), QStringLiteral("keep me"));
    QVERIFY(!QFileInfo(copy).isSymLink());
    QCOMPARE(readFile(copy), QStringLiteral("[Summary]\n"));
}

void tst_UpdateCheck::invalidDescriptionAddress()
{
    UpdateContext context;
    // A port out of range: no request can be built, so none is sent.
    prepare(context, QStringLiteral("http://127.0.0.1:99999"));
    const CheckResult result = checkForUpdate(context);
    QCOMPARE(result.failure, CheckFailure::AddressInvalid);
    // An invalid QUrl has no text form, so nothing follows the colon.
    QCOMPARE(result.failureText, QString::fromUtf8("升级描述文件地址不合法:"));
    QVERIFY(server->requestedPaths().isEmpty());
}

void tst_UpdateCheck::listAndPlan()
{
    // Two entries; the installation already holds one of them. The list takes longer than the
    // 5-second wait limit to arrive, at a rate above the floor.
    const QByteArray list = QByteArray(OneFileList) +
                            "d98c1dd404b2008f980980e97e42f8ec\t0000000000000000\tempty.txt\n" +
                            QByteArray("not an entry\n").repeated(1000);
    server->setRoute(QStringLiteral("/u//update.ini"),
                     TestResponse::ok("[Summary]\nUpdateType=0\n"));
    server->setRoute(QStringLiteral("/u/Base//md5.txt"),
                     TestResponse::ok(list).trickled(2048, 1000));
    UpdateContext context;
    prepare(context, server->baseUrl() + QStringLiteral("/u/"));
    QFile empty(context.installDir.filePath(QStringLiteral("empty.txt")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();

    const CheckResult result = checkForUpdate(context);
    QCOMPARE(result.failure, CheckFailure::NoFailure);
    QCOMPARE(result.listBytes, list);
    QCOMPARE(result.plan.keys(), QStringList{"abc.dat"});
    QCOMPARE(result.plan.value(QStringLiteral("abc.dat")).size, quint64(3));
}

void tst_UpdateCheck::firstConsoleReport_data()
{
    QTest::addColumn<RunMode>("mode");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QByteArray>("report");

    const QByteArray noUpdate = "{\"errormsg\":\"\",\"success\":true,\"update\":false}";
    const QByteArray update = "{\"errormsg\":\"\",\"success\":true,\"update\":true}";
    QTest::newRow("mandatory, files to fetch")
        << RunMode::Console << QByteArray("1") << false << update;
    QTest::newRow("optional, files to fetch")
        << RunMode::Console << QByteArray("0") << false << noUpdate;
    QTest::newRow("mandatory, up to date")
        << RunMode::Console << QByteArray("1") << true << noUpdate;
    QTest::newRow("interactive prints nothing")
        << RunMode::Interactive << QByteArray("1") << false << QByteArray();
}

void tst_UpdateCheck::firstConsoleReport()
{
    QFETCH(RunMode, mode);
    QFETCH(QByteArray, type);
    QFETCH(bool, installed);
    QFETCH(QByteArray, report);

    server->setRoute(QStringLiteral("/u//update.ini"),
                     TestResponse::ok("[Summary]\nUpdateType=" + type + "\n"));
    server->setRoute(QStringLiteral("/u/Base//md5.txt"), TestResponse::ok(OneFileList));
    UpdateContext context;
    prepare(context, server->baseUrl() + QStringLiteral("/u/"));
    context.mode = mode;
    if (installed) {
        QFile file(context.installDir.filePath(QStringLiteral("abc.dat")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("abc");
    }

    StdoutCapture capture;
    const CheckResult result = checkForUpdate(context);
    QCOMPARE(capture.text(), report);
    QCOMPARE(result.failure, CheckFailure::NoFailure);
}

QTEST_GUILESS_MAIN(tst_UpdateCheck)
#include "tst_updatecheck.moc"
