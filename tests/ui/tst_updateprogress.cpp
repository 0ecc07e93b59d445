#include "CDownloadThread.h"
#include "CUpdateProgress.h"
#include "ElidedLabel.h"
#include "Md5Text.h"
#include "ModalAnswer.h"
#include "TestServer.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class tst_UpdateProgress : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void form();
    void fileStarted_data();
    void fileStarted();
    void bytes_data();
    void bytes();
    void failureShownInStatusLine();
    void closesWhenAnEarlyEndedRunIsStarted();
    void stopRequestsWaitForTheThread_data();
    void stopRequestsWaitForTheThread();

private:
    // A worker whose run is already over: an empty list installs nothing and succeeds.
    CDownloadThread *finishedWorker()
    {
        return new CDownloadThread(QStringLiteral("http://127.0.0.1:1/"),
                                   QDir(dirs->filePath(QStringLiteral("cache"))),
                                   QDir(dirs->filePath(QStringLiteral("install"))), {}, nullptr);
    }
    QProgressBar *bar(CUpdateProgress &dialog, const char *name)
    {
        return dialog.findChild<QProgressBar *>(QLatin1String(name));
    }
    QString statusLine(CUpdateProgress &dialog)
    {
        return dialog.findChild<QLabel *>(QStringLiteral("desc"))->text();
    }

    QScopedPointer<QTemporaryDir> dirs;
    QScopedPointer<CDownloadThread> worker;
};

void tst_UpdateProgress::init()
{
    dirs.reset(new QTemporaryDir);
    QDir(dirs->path()).mkpath(QStringLiteral("cache"));
    QDir(dirs->path()).mkpath(QStringLiteral("install"));
    worker.reset(finishedWorker());
}

void tst_UpdateProgress::cleanup()
{
    worker->wait();
    worker.reset();
}

void tst_UpdateProgress::form()
{
    CUpdateProgress dialog(worker.data());
    QCOMPARE(dialog.objectName(), QStringLiteral("CUpdateProgress"));
    QCOMPARE(dialog.size(), QSize(640, 455));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);

    auto *label = dialog.findChild<QLabel *>(QStringLiteral("label"));
    auto *desc = dialog.findChild<QLabel *>(QStringLiteral("desc"));
    auto *cancel = dialog.findChild<QPushButton *>(QStringLiteral("cancel"));
    QVERIFY(label && desc && cancel && bar(dialog, "total") && bar(dialog, "progress"));
    QCOMPARE(label->geometry(), QRect(30, 280, 580, 40));
    QCOMPARE(label->font().pointSize(), 15);
    QCOMPARE(label->text(), QString::fromUtf8("正在更新"));
    QVERIFY(qobject_cast<ElidedLabel *>(desc));
    QCOMPARE(desc->geometry(), QRect(30, 340, 580, 24));
    QCOMPARE(desc->text(), QString::fromUtf8("正在下载更新文件"));
    QCOMPARE(cancel->geometry(), QRect(510, 400, 100, 30));
    QCOMPARE(cancel->text(), QString::fromUtf8("取消"));
    QCOMPARE(bar(dialog, "total")->geometry(), QRect(30, 330, 580, 5));
    QCOMPARE(bar(dialog, "progress")->geometry(), QRect(30, 370, 580, 5));
    for (const char *name : {"total", "progress"}) {
        QProgressBar *b = bar(dialog, name);
        QCOMPARE(b->alignment(), Qt::AlignJustify | Qt::AlignVCenter);
        QVERIFY(!b->isTextVisible());
        QCOMPARE(b->minimum(), 0);
        QCOMPARE(b->maximum(), 100);
        QVERIFY2(b->value() < b->minimum(), "bars start empty");
    }
}

void tst_UpdateProgress::fileStarted_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("totalBar"); // -1: unchanged
    QTest::addColumn<QString>("status");

    QTest::newRow("first of three") << 0 << 3 << 0 << QString::fromUtf8("正在下载更新文件app.exe");
    QTest::newRow("second of three")
        << 1 << 3 << 33 << QString::fromUtf8("正在下载更新文件app.exe");
    QTest::newRow("third of three") << 2 << 3 << 66 << QString::fromUtf8("正在下载更新文件app.exe");
    QTest::newRow("no files") << 0 << 0 << -1 << QStringLiteral("total为0");
    QTest::newRow("negative count") << 1 << -4 << -1 << QStringLiteral("total为0");
}

void tst_UpdateProgress::fileStarted()
{
    QFETCH(int, current);
    QFETCH(int, total);
    QFETCH(int, totalBar);
    QFETCH(QString, status);

    CUpdateProgress dialog(worker.data());
    dialog.onDownloadProgress(50, 100);
    const int before = bar(dialog, "total")->value();
    dialog.onDownloadStarted(QFileInfo(QStringLiteral("/cache/bin/app.exe")), current, total);
    QCOMPARE(statusLine(dialog), status);
    QCOMPARE(bar(dialog, "total")->value(), totalBar < 0 ? before : totalBar);
    // The bytes of the whole update go on where they were.
    QCOMPARE(bar(dialog, "progress")->value(), 50);
}

void tst_UpdateProgress::bytes_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("progressBar"); // -1: unchanged (stays at 20)
    QTest::addColumn<bool>("noLength");

    QTest::newRow("half") << qint64(500) << qint64(1000) << 50 << false;
    QTest::newRow("truncated") << qint64(999) << qint64(1000) << 99 << false;
    QTest::newRow("beyond 2 GiB") << qint64(3000000000) << qint64(6000000000) << 50 << false;
    QTest::newRow("no length announced") << qint64(500) << qint64(-1) << -1 << true;
    QTest::newRow("zero length") << qint64(0) << qint64(0) << -1 << true;
    QTest::newRow("more than announced") << qint64(1500) << qint64(1000) << -1 << false;
}

void tst_UpdateProgress::bytes()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(int, progressBar);
    QFETCH(bool, noLength);

    CUpdateProgress dialog(worker.data());
    dialog.onDownloadProgress(20, 100);
    dialog.onDownloadProgress(received, total);
    QCOMPARE(bar(dialog, "progress")->value(), progressBar < 0 ? 20 : progressBar);
    QCOMPARE(statusLine(dialog),
             noLength ? QStringLiteral("bytesTotal为0") : QString::fromUtf8("正在下载更新文件"));
}

void tst_UpdateProgress::failureShownInStatusLine()
{
    CUpdateProgress dialog(worker.data());
    const QString text = QString::fromUtf8("下载更新文件a.dll大小不对");
    dialog.onDownloadFail(QFileInfo(QStringLiteral("/x/a.dll")), text);
    QCOMPARE(statusLine(dialog), text);
}

void tst_UpdateProgress::closesWhenAnEarlyEndedRunIsStarted()
{
    // The worker ended inside its constructor; the dialog's own start must still close it.
    CUpdateProgress dialog(worker.data());
    QCOMPARE(dialog.exec(), 1);
    QVERIFY(worker->isSuccess());
}

void tst_UpdateProgress::stopRequestsWaitForTheThread_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel button") << "cancel";
    QTest::newRow("escape acts like cancel") << "escape";
    QTest::newRow("close command acts like cancel") << "close";
}

void tst_UpdateProgress::stopRequestsWaitForTheThread()
{
    QFETCH(QString, how);
    CTestServer server;
    server.setRoute(QStringLiteral("/v/big.bin"), TestResponse::ok("data").stalledAfterHeaders());
    worker->wait();
    worker.reset(new CDownloadThread(
        server.baseUrl() + QStringLiteral("/v/"), QDir(dirs->filePath(QStringLiteral("cache"))),
        QDir(dirs->filePath(QStringLiteral("install"))),
        {FileEntry{QStringLiteral("big.bin"), 4, md5Text("data")}}, nullptr));

    CUpdateProgress dialog(worker.data());
    bool openRightAfter = false;
    whenShown(&dialog, [&] {
        if (how == QLatin1String("cancel"))
            dialog.findChild<QPushButton *>(QStringLiteral("cancel"))->click();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.close();
        openRightAfter = dialog.isVisible();
    });
    QCOMPARE(dialog.exec(), 1);
    QVERIFY2(openRightAfter, "the dialog must wait for the worker's thread to finish");
    QVERIFY(worker->wait(5000));
    QVERIFY(!worker->isSuccess());
    QCOMPARE(worker->errorMessage(), QString());
}

QTEST_MAIN(tst_UpdateProgress)
#include "tst_updateprogress.moc"
