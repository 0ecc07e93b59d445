#include "CDownloadThread.h"
#include "EngineSandbox.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class tst_ListPaths : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void unsafePathIsRefused_data();
    void unsafePathIsRefused();
    void secondNameOfOnePlaceIsRefused_data();
    void secondNameOfOnePlaceIsRefused();
    void oddButSafePathInstalls_data();
    void oddButSafePathInstalls();

private:
    std::unique_ptr<EngineSandbox> box;
};

void tst_ListPaths::init()
{
    box = std::make_unique<EngineSandbox>();
    QVERIFY2(box->isReady(), "scratch directories or the test server are not available");
}

void tst_ListPaths::cleanup()
{
    box.reset();
}

void tst_ListPaths::unsafePathIsRefused_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("parent") << "../x";
    QTest::newRow("parent after a directory") << "a/../../x";
    // What a list line naming "//etc/x" becomes: an absolute path. <root> stands for the
    // sandbox, so that a fault cannot write to the real /etc.
    QTest::newRow("absolute") << "<root>/outside/x";
    QTest::newRow("drive") << "C:/x";
    QTest::newRow("alternate data stream") << "x:stream";
    QTest::newRow("the directory itself") << ".";
    QTest::newRow("empty") << "";
}

void tst_ListPaths::unsafePathIsRefused()
{
    QFETCH(QString, path);
    path.replace("<root>", box->rootDir.absolutePath());
    box->serve("first.txt", "first");
    box->serve(path, "unsafe");
    auto worker = box->worker({entryFor("first.txt", "first"), entryFor(path, "unsafe")});
    QSignalSpy failed(worker.get(), &CDownloadThread::downloadFail);

    QVERIFY(runToEnd(*worker));

    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).value<QFileInfo>().filePath(), box->cache.absoluteFilePath(path));
    QCOMPARE(worker->errorMessage(), QString("更新文件%1路径不合法").arg(path));
    QCOMPARE(box->server.requestedPaths(), QStringList{"/v/first.txt"});
    QCOMPARE(box->rootDir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{"cache", "install"}));
    QCOMPARE(readTree(box->cache), (FileTree{{"first.txt", "first"}}));
    QCOMPARE(readTree(box->install), FileTree());
}

void tst_ListPaths::secondNameOfOnePlaceIsRefused_data()
{
    // Names that Windows resolves to one file: installing both would delete the first one's
    // ".old" copy and leave the path empty.
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("letter case") << "A.txt"
                                 << "a.txt";
    QTest::newRow("dot segment") << "x.txt"
                                 << "./x.txt";
    QTest::newRow("doubled slash and case") << "d/e.txt"
                                            << "d//E.TXT";
}

void tst_ListPaths::secondNameOfOnePlaceIsRefused()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    box->serve(first, "one");
    box->serve(second, "two");
    auto worker = box->worker({entryFor(first, "one"), entryFor(second, "two")});

    QVERIFY(runToEnd(*worker));

    QCOMPARE(worker->errorMessage(), QString("更新文件%1路径不合法").arg(second));
    QCOMPARE(box->server.requestedPaths(), QStringList{"/v/" + first});
    QCOMPARE(readTree(box->install), FileTree());
}

void tst_ListPaths::oddButSafePathInstalls_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("installedAs");

    QTest::newRow("leading dot segment") << "./a.txt"
                                         << "a.txt";
    QTest::newRow("doubled slash") << "a//b"
                                   << "a/b";
}

void tst_ListPaths::oddButSafePathInstalls()
{
    QFETCH(QString, path);
    QFETCH(QString, installedAs);
    QVERIFY(writeFile(box->cache.filePath(path), "content"));

    auto worker = box->worker({entryFor(path, "content")});

    QVERIFY2(worker->isSuccess(), qPrintable(worker->errorMessage()));
    QCOMPARE(readTree(box->install), (FileTree{{installedAs, "content"}}));
}

QTEST_GUILESS_MAIN(tst_ListPaths)
#include "tst_listpaths.moc"
