#include "CDownloadThread.h"
#include "EngineSandbox.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class tst_InstallFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void existingPathsAreMovedAside_data();
    void existingPathsAreMovedAside();
    void directoryAtOldCopyPlaceFails();
    void danglingLinkAtListedPathIsMovedAside();
    void failureAtThirdOfFiveKeepsTheRestCached();

private:
    // Serves every entry's content and runs a worker over them to its end.
    std::unique_ptr<CDownloadThread> runServed(const FileTree &downloads);

    std::unique_ptr<EngineSandbox> box;
};

void tst_InstallFiles::init()
{
    box = std::make_unique<EngineSandbox>();
    QVERIFY2(box->isReady(), "scratch directories or the test server are not available");
}

void tst_InstallFiles::cleanup()
{
    box.reset();
}

std::unique_ptr<CDownloadThread> tst_InstallFiles::runServed(const FileTree &downloads)
{
    QList<FileEntry> entries;
    for (auto it = downloads.cbegin(); it != downloads.cend(); ++it) {
        box->serve(it.key(), it.value());
        entries.append(entryFor(it.key(), it.value()));
    }
    auto worker = box->worker(entries);
    return runToEnd(*worker) ? std::move(worker) : nullptr;
}

void tst_InstallFiles::existingPathsAreMovedAside_data()
{
    QTest::addColumn<FileTree>("before");
    QTest::addColumn<FileTree>("downloads");
    QTest::addColumn<FileTree>("after");

    QTest::newRow("new directories, no old copy")
        << FileTree{{"other.txt", "untouched"}} << FileTree{{"bin/plugins/new.dll", "new"}}
        << FileTree{{"other.txt", "untouched"}, {"bin/plugins/new.dll", "new"}};
    QTest::newRow("existing file")
        << FileTree{{"bin/app.exe", "v1"}} << FileTree{{"bin/app.exe", "v2"}}
        << FileTree{{"bin/app.exe", "v2"}, {"bin/app.exe.old", "v1"}};
    QTest::newRow("old copy of an earlier update replaced")
        << FileTree{{"bin/app.exe", "v2"}, {"bin/app.exe.old", "v1"}}
        << FileTree{{"bin/app.exe", "v3"}}
        << FileTree{{"bin/app.exe", "v3"}, {"bin/app.exe.old", "v2"}};
    QTest::newRow("directory at the listed path")
        << FileTree{{"x/inner.txt", "inside"}} << FileTree{{"x", "now a file"}}
        << FileTree{{"x", "now a file"}, {"x.old/inner.txt", "inside"}};
    QTest::newRow("several files in path order")
        << FileTree{{"a", "old a"}} << FileTree{{"a", "new a"}, {"b/c", "c"}, {"d", "d"}}
        << FileTree{{"a", "new a"}, {"a.old", "old a"}, {"b/c", "c"}, {"d", "d"}};
}

void tst_InstallFiles::existingPathsAreMovedAside()
{
    QFETCH(FileTree, before);
    QFETCH(FileTree, downloads);
    QFETCH(FileTree, after);
    QVERIFY(writeTree(box->install, before));

    const auto worker = runServed(downloads);

    QVERIFY2(worker, "the thread did not finish");
    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QCOMPARE(worker->errorMessage(), QString("更新成功"));
    QCOMPARE(readTree(box->install), after);
    QVERIFY2(readTree(box->cache).isEmpty(), "installed files were left in the cache");
}

void tst_InstallFiles::directoryAtOldCopyPlaceFails()
{
    const FileTree before{{"x", "v1"}, {"x.old/inner.txt", "inside"}};
    QVERIFY(writeTree(box->install, before));
    box->serve("x", "v2");
    auto worker = box->worker({entryFor("x", "v2")});
    QSignalSpy failed(worker.get(), &CDownloadThread::downloadFail);

    QVERIFY(runToEnd(*worker));

    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).value<QFileInfo>().absoluteFilePath(),
             box->install.absoluteFilePath("x"));
    QCOMPARE(worker->errorMessage(), QString("删除文件x.old失败"));
    QVERIFY(!worker->isSuccess());
    QCOMPARE(readTree(box->install), before);
    QCOMPARE(readTree(box->cache), (FileTree{{"x", "v2"}}));
}

void tst_InstallFiles::danglingLinkAtListedPathIsMovedAside()
{
    const QString target = box->rootDir.filePath("elsewhere/target.txt");
    QVERIFY(QFile::link(target, box->install.filePath("a.txt")));

    const auto worker = runServed({{"a.txt", "new"}});
    QVERIFY(worker);
    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QVERIFY2(!QFileInfo::exists(target), "the new file was written through the link");
    QVERIFY(!QFileInfo(box->install.filePath("a.txt")).isSymLink());
    QCOMPARE(readTree(box->install).value("a.txt"), QByteArray("new"));
    QCOMPARE(QFileInfo(box->install.filePath("a.txt.old")).symLinkTarget(), target);
}

void tst_InstallFiles::failureAtThirdOfFiveKeepsTheRestCached()
{
    const FileTree downloads{{"a.txt", "new a"},
                             {"b.txt", "new b"},
                             {"c/file.txt", "new c"},
                             {"d.txt", "new d"},
                             {"e.txt", "new e"}};
    // A regular file where the third entry needs its directory.
    QVERIFY(writeTree(box->install, {{"a.txt", "old a"}, {"c", "blocker"}}));

    const auto worker = runServed(downloads);

    QVERIFY(worker);
    QCOMPARE(worker->errorMessage(),
             QString("创建目录%1失败").arg(box->install.absoluteFilePath("c")));
    QVERIFY(!worker->isSuccess());
    QCOMPARE(
        readTree(box->install),
        (FileTree{
            {"a.txt", "new a"}, {"a.txt.old", "old a"}, {"b.txt", "new b"}, {"c", "blocker"}}));
    QCOMPARE(readTree(box->cache),
             (FileTree{{"c/file.txt", "new c"}, {"d.txt", "new d"}, {"e.txt", "new e"}}));
}

QTEST_GUILESS_MAIN(tst_InstallFiles)
#include "tst_installfiles.moc"
