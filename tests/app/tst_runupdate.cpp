#include "DialogScript.h"
#include "FileListWriter.h"
#include "Md5Text.h"
#include "RunScratch.h"
#include "RunUpdate.h"
#include "StdoutCapture.h"
#include "TestFiles.h"
#include "TestServer.h"
#include "UpdateContext.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The whole update run in process, against the test server, with the user's answers played
// by a script.
class tst_RunUpdate : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void optionalAccepted();
    void optionalDeclined();
    void upToDate();
    void optionalFailureThenRetry();
    void mandatoryFailureHasNoWayOutButRetry();
    void everythingAlreadyCached();
    void unsafeFirstEntrySilentConsole();
    void cancelDuringSlowDownload();

private:
    // Publishes `files` as the Base folder of type `type` on the server.
    void publish(const QMap<QString, QByteArray> &files, int type, const QString &version = "2.0")
    {
        FileTable table;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            table.insert(it.key(),
                         FileEntry{it.key(), quint64(it.value().size()), md5Text(it.value())});
            run->server.setRoute(QStringLiteral("/u/Base/") + it.key(),
                                 TestResponse::ok(it.value()));
        }
        QString error;
        QVERIFY2(writeFileList(table, list, error), qPrintable(error));
        run->server.setRoute(QStringLiteral("/u//update.ini"),
                             TestResponse::ok("[Summary]\nUpdateType=" + QByteArray::number(type) +
                                              "\n[Version]\nVersion=" + version.toUtf8() + "\n"));
        run->server.setRoute(QStringLiteral("/u/Base//md5.txt"), TestResponse::ok(list));
    }
    QString installed(const QString &path) const { return run->installed(path); }
    QString savedList() const { return installed(QStringLiteral("update_md5.info")); }

    QScopedPointer<RunScratch> run;
    QByteArray list;
};

void tst_RunUpdate::init()
{
    run.reset(new RunScratch(QStringLiteral("/u/")));
    QVERIFY(run->isReady());
    list.clear();
}

void tst_RunUpdate::cleanup()
{
    run.reset();
}

void tst_RunUpdate::optionalAccepted()
{
    QVERIFY(writeFile(installed("app.exe"), "old app"));
    publish({{"app.exe", "new app"}, {"data/new.dat", "fresh"}}, 0, "3.1.4");
    DialogScript script;
    script.expect("CUpdateNotice", DialogScript::click("update"));

    QCOMPARE(run->update(), 0);
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(script.seen.first().headline, QString::fromUtf8("发现新版本：3.1.4"));
    QCOMPARE(readFile(installed("app.exe")), QByteArray("new app"));
    QCOMPARE(readFile(installed("app.exe.old")), QByteArray("old app"));
    QCOMPARE(readFile(installed("data/new.dat")), QByteArray("fresh"));
    QVERIFY(!QFileInfo::exists(installed("data/new.dat.old")));
    QCOMPARE(readFile(savedList()), list);
    QTRY_VERIFY(run->host.started());
    QCOMPARE(run->host.record().mid(1),
             QStringList({QCoreApplication::applicationFilePath(), QStringLiteral("no_check")}));
}

void tst_RunUpdate::optionalDeclined()
{
    QVERIFY(writeFile(savedList(), "previous list\n"));
    publish({{"app.exe", "new app"}}, 0);
    DialogScript script;
    script.expect("CUpdateNotice", DialogScript::click("skip"));

    QCOMPARE(run->update(), 1);
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(readFile(savedList()), QByteArray("previous list\n"));
    QVERIFY(!QFileInfo::exists(installed("app.exe")));
    QTRY_VERIFY(run->host.started());
    QVERIFY(!run->server.requestedPaths().contains(QStringLiteral("/u/Base/app.exe")));
}

void tst_RunUpdate::upToDate()
{
    QVERIFY(writeFile(installed("app.exe"), "same"));
    publish({{"app.exe", "same"}}, 1);
    DialogScript script;

    QCOMPARE(run->update(), 1);
    QCOMPARE(script.seen.size(), 0);
    QCOMPARE(readFile(savedList()), list);
    QTRY_VERIFY(run->host.started());
}

void tst_RunUpdate::optionalFailureThenRetry()
{
    publish({{"app.exe", "new app"}}, 0);
    run->server.setRouteSequence(QStringLiteral("/u/Base/app.exe"),
                                 {TestResponse::withStatus(404), TestResponse::ok("new app")});
    DialogScript script;
    script.expect("CUpdateNotice", DialogScript::click("update"));
    script.expect("CUpdateError", DialogScript::click("retry"));
    script.expect("CUpdateNotice", DialogScript::click("update"));

    QCOMPARE(run->update(), 0);
    QCOMPARE(script.unexpected, QStringList());
    const DialogScript::Seen error = script.seen.at(1);
    QCOMPARE(error.headline, QString::fromUtf8("更新失败"));
    QVERIFY2(error.text.startsWith(QString::fromUtf8("下载更新文件app.exe网络错误：404-")),
             qPrintable(error.text));
    QVERIFY(error.buttons);
    // The whole check runs again before the worker is rebuilt.
    QCOMPARE(run->server.requestedPaths(),
             QStringList({"/u//update.ini", "/u/Base//md5.txt", "/u/Base/app.exe", "/u//update.ini",
                          "/u/Base//md5.txt", "/u/Base/app.exe"}));
    QCOMPARE(readFile(installed("app.exe")), QByteArray("new app"));
    QTRY_VERIFY(run->host.started());
}

void tst_RunUpdate::mandatoryFailureHasNoWayOutButRetry()
{
    publish({{"app.exe", "new app"}}, 1);
    run->server.setRouteSequence(QStringLiteral("/u/Base/app.exe"),
                                 {TestResponse::ok("new app!"), TestResponse::ok("new app")});
    DialogScript script;
    script.expect("CUpdateError", DialogScript::escape());

    QCOMPARE(run->update(), 0);
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(script.seen.first().text, QString::fromUtf8("下载更新文件app.exe大小不对"));
    QVERIFY2(!script.seen.first().buttons, "a mandatory update's error offers no buttons");
    QCOMPARE(readFile(installed("app.exe")), QByteArray("new app"));
    QTRY_VERIFY(run->host.started());
}

void tst_RunUpdate::everythingAlreadyCached()
{
    publish({{"a.txt", "alpha"}, {"b/c.txt", "gamma"}}, 1);
    QVERIFY(writeFile(run->context.cacheDir.filePath("a.txt"), "alpha"));
    QVERIFY(writeFile(run->context.cacheDir.filePath("b/c.txt"), "gamma"));

    QCOMPARE(run->update(), 0);
    QCOMPARE(run->server.requestedPaths(), QStringList({"/u//update.ini", "/u/Base//md5.txt"}));
    QCOMPARE(readFile(installed("b/c.txt")), QByteArray("gamma"));
    QTRY_VERIFY(run->host.started());
}

void tst_RunUpdate::unsafeFirstEntrySilentConsole()
{
    run->context.mode = RunMode::Console;
    const QByteArray hostile = md5Text("x") + "\t0000000100000000\t../escape.txt\n";
    run->server.setRoute(QStringLiteral("/u//update.ini"),
                         TestResponse::ok("[Summary]\nUpdateType=0\n"));
    run->server.setRoute(QStringLiteral("/u/Base//md5.txt"), TestResponse::ok(hostile));

    StdoutCapture capture;
    QCOMPARE(run->update(), 1);
    QCOMPARE(capture.text(), QByteArray("{\"errormsg\":\"\",\"success\":true,\"update\":false}") +
                                 "{\"errormsg\":\"" +
                                 QString::fromUtf8("更新文件../escape.txt路径不合法").toUtf8() +
                                 "\",\"success\":false,\"update\":false}");
    QVERIFY(!QFileInfo::exists(run->root.filePath("escape.txt")));
    QVERIFY(!QFileInfo::exists(savedList()));
    QTest::qWait(200);
    QVERIFY2(!run->host.started(), "console mode starts nothing after a failure");
}

void tst_RunUpdate::cancelDuringSlowDownload()
{
    const QByteArray big(256 * 1024, 'z');
    publish({{"slow.bin", big}}, 0);
    run->server.setRoute(QStringLiteral("/u/Base/slow.bin"),
                         TestResponse::ok(big).trickled(4096, 20));
    DialogScript script;
    script.expect("CUpdateNotice", DialogScript::click("update"));
    script.expect("CUpdateProgress", [this](QWidget *dialog) {
        // Cancel once the transfer is under way.
        QTRY_VERIFY(run->server.requestedPaths().contains(QStringLiteral("/u/Base/slow.bin")));
        dialog->findChild<QPushButton *>(QStringLiteral("cancel"))->click();
    });
    script.expect("CUpdateError", DialogScript::escape());

    QCOMPARE(run->update(), 1);
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(script.seen.last().text, QString());
    QVERIFY(script.seen.last().buttons);
    // The transfer would have ended by now; nothing may be installed behind the error.
    QTest::qWait(1500);
    QVERIFY(!QFileInfo::exists(installed("slow.bin")));
    QVERIFY(!QFileInfo::exists(savedList()));
    QTRY_VERIFY(run->host.started());
}

QTEST_MAIN(tst_RunUpdate)
#include "tst_runupdate.moc"
