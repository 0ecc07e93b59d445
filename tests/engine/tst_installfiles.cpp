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
    void danglingLinkAtListedPathIsMovedAside();
    void failureAtThirdOfFiveChangesNothing();

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
    QTest::newRow("folder at the old copy's place replaced")
        << FileTree{{"x", "v1"}, {"x.old/inner.txt", "inside"}} << FileTree{{"x", "v2"}}
        << FileTree{{"x", "v2"}, {"x.old", "v1"}};
    QTest::newRow("file where a folder is needed")
        << FileTree{{"c", "file"}, {"c.old", "older file"}} << FileTree{{"c/d/e.txt", "e"}}
        << FileTree{{"c/d/e.txt", "e"}, {"c.old", "file"}};
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

void tst_InstallFiles::failureAtThirdOfFiveChangesNothing()
{
    // No file system takes the staged name of a file whose name is already 251 bytes long.
    const QString longName = QString(251, QLatin1Char('c'));
    const FileTree downloads{{"a.txt", "new a"},
                             {"b.txt", "new b"},
                             {longName, "new c"},
                             {"d/e.txt", "new e"},
                             {"f.txt", "new f"}};
    const FileTree before{{"a.txt", "old a"}, {"a.txt.old", "older a"}, {longName, "old c"}};
    QVERIFY(writeTree(box->install, before));

    const auto worker = runServed(downloads);

    QVERIFY(worker);
    QVERIFY(!worker->isSuccess());
    QCOMPARE(worker->errorMessage(), QString("覆盖文件%1失败").arg(longName));
    QCOMPARE(readTree(box->install), before);
    QCOMPARE(readTree(box->cache), downloads);
}

QTEST_GUILESS_MAIN(tst_InstallFiles)
#include "tst_installfiles.moc"
