#include "FileList.h"
#include "PublishTestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>
#include <QUrl>

namespace {

// Past the tool's 4 MiB copy chunk, with a partial chunk at the end.
constexpr int LargeFileSize = 5 * 1024 * 1024 + 3;

// Fixed so that a failure can be replayed.
constexpr quint32 Seed = 20240917;

QByteArray randomBytes(int size)
{
    QRandomGenerator random(Seed + quint32(size));
    QByteArray data(size, '\0');
    for (char &byte : data) {
        byte = char(random.bounded(256));
    }
    return data;
}

// The release as the test knows it: path -> content.
QMap<QString, QByteArray> releaseContents()
{
    return {
        {QStringLiteral("readme.txt"), "hello\r\n"},
        {QStringLiteral("empty.dat"), QByteArray()},
        {QStringLiteral(".hidden/settings.ini"), "[a]\nb=1\n"},
        {QStringLiteral("bin/plugins/platforms/qwindows.dll"), randomBytes(4099)},
        {QStringLiteral("数据/说明 文件.txt"), QStringLiteral("中文内容").toUtf8()},
        {QStringLiteral("资源/图片/背景.png"), randomBytes(777)},
        {QStringLiteral("big/large.bin"), randomBytes(LargeFileSize)},
    };
}

bool writeRelease(const QDir &source, const QMap<QString, QByteArray> &contents)
{
    for (auto it = contents.cbegin(); it != contents.cend(); ++it) {
        if (!writeTestFile(source, it.key(), it.value())) {
            return false;
        }
    }
    return true;
}

QString printedUrlLine(const QString &output)
{
    const QStringList lines = outputLines(output);
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("URL="))) {
            return line;
        }
    }
    return QString();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_Publish : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("type");

        // Non-ASCII followed by hex digits and INI specials, which the escapes must not swallow.
        QTest::newRow("local 8-bit") << QByteArray() << QStringLiteral("V4.2")
                                     << QStringLiteral("4.2 测试版a1, \"beta\"; x=y") << 0;
        QTest::newRow("GBK") << QByteArrayLiteral("GBK") << QStringLiteral("版本4.2")
                             << QStringLiteral("版本 4.2 正式版") << 1;
    }

    void roundTrip()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QString, folder);
        QFETCH(QString, version);
        QFETCH(int, type);

        QTemporaryDir temp;
        QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
        const QDir source(temp.filePath(QStringLiteral("release")));
        const QString outputDir = temp.filePath(QStringLiteral("site"));
        QMap<QString, QByteArray> expected = releaseContents();
        QVERIFY(writeRelease(source, expected));
        // Links inside the release are published with their target's content.
        QVERIFY(
            QFile::link(QStringLiteral("../readme.txt"), source.filePath("bin/readme-link.txt")));
        QVERIFY(QFile::link(QStringLiteral("资源"), source.filePath("资源-link")));
        expected.insert(QStringLiteral("bin/readme-link.txt"), expected.value("readme.txt"));
        expected.insert(QStringLiteral("资源-link/图片/背景.png"),
                        expected.value("资源/图片/背景.png"));

        QStringList arguments = {source.path(), outputDir, "--folder", folder,
                                 "--version",   version,   "--type",   QString::number(type)};
        if (!encoding.isEmpty()) {
            arguments << "--path-encoding" << QString::fromLatin1(encoding);
        }
        const ToolRun run = runPublishTool(arguments);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));

        QTextCodec *codec =
            encoding.isEmpty() ? QTextCodec::codecForLocale() : QTextCodec::codecForName(encoding);
        QVERIFY(codec);
        QByteArray expectedList;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            expectedList += expectedMd5Text(it.value()) + '\t' +
                            expectedSizeField(quint64(it.value().size())) + '\t' +
                            codec->fromUnicode(it.key()) + '\n';
        }
        const QDir folderDir(QDir(outputDir).filePath(folder));
        const QByteArray list = readAll(folderDir.filePath(QStringLiteral("md5.txt")));
        QCOMPARE(list, expectedList);

        // The updater's own reader sees every path, size and MD5 text.
        const FileTable table =
            encoding.isEmpty() ? parseFileList(list) : parseFileList(list, codec);
        QCOMPARE(table.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const FileEntry entry = table.value(it.key());
            QCOMPARE(entry.size, quint64(it.value().size()));
            QCOMPARE(entry.md5, expectedMd5Text(it.value()));
        }

        QMap<QString, QByteArray> published = treeContents(folderDir.path());
        QVERIFY(published.remove(QStringLiteral("md5.txt")) == 1);
        QVERIFY2(published == expected, "the published files differ from the release");
        QStringList outputEntries =
            QDir(outputDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QStringList expectedEntries = {QStringLiteral("update.ini"), folder};
        outputEntries.sort();
        expectedEntries.sort();
        QCOMPARE(outputEntries, expectedEntries);

        QSettings description(QDir(outputDir).filePath(QStringLiteral("update.ini")),
                              QSettings::IniFormat);
        QCOMPARE(description.value(QStringLiteral("Summary/UpdateType")).toInt(), type);
        QCOMPARE(description.value(QStringLiteral("Version/Folder")).toString(), folder);
        QCOMPARE(description.value(QStringLiteral("Version/Version")).toString(), version);
    }

    void defaultsMatchTheUpdater()
    {
        QTemporaryDir temp;
        QVERIFY(writeTestFile(QDir(temp.filePath("release")), "a.txt", "a"));
        const ToolRun run = runPublishTool({temp.filePath("release"), temp.filePath("site")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QSettings description(temp.filePath("site/update.ini"), QSettings::IniFormat);
        QCOMPARE(description.value(QStringLiteral("Summary/UpdateType")).toInt(), 1);
        QCOMPARE(description.value(QStringLiteral("Version/Folder")).toString(),
                 QStringLiteral("Base"));
        QCOMPARE(description.value(QStringLiteral("Download/Connections")).toString(), "4");
        QVERIFY(QFile::exists(temp.filePath("site/Base/md5.txt")));

        // Another count is written as given; --verify reads back what a client reads.
        QVERIFY(
            runPublishTool({temp.filePath("release"), temp.filePath("site"), "--connections", "1"})
                .exitCode == 0);
        QCOMPARE(QSettings(temp.filePath("site/update.ini"), QSettings::IniFormat)
                     .value(QStringLiteral("Download/Connections"))
                     .toString(),
                 "1");
        QVERIFY(runPublishTool({"--verify", temp.filePath("site")}).exitCode == 0);
        QSettings(temp.filePath("site/update.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("Download/Connections"), "many");
        const ToolRun verify = runPublishTool({"--verify", temp.filePath("site")});
        QVERIFY2(verify.exitCode > 0 && verify.output.contains("Connections=many"),
                 qPrintable(verify.output));
    }

    void urlLine_data()
    {
        QTest::addColumn<QStringList>("urlArguments");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no --url") << QStringList()
                                  << QStringLiteral("URL=<address of OUTPUT_DIR on your server>/");
        QTest::newRow("without slash") << QStringList({"--url", "http://127.0.0.1:8080/app"})
                                       << QStringLiteral("URL=http://127.0.0.1:8080/app/");
        QTest::newRow("with slash") << QStringList({"--url", "http://127.0.0.1:8080/app/"})
                                    << QStringLiteral("URL=http://127.0.0.1:8080/app/");
    }

    void urlLine()
    {
        QFETCH(QStringList, urlArguments);
        QFETCH(QString, expected);

        QTemporaryDir temp;
        const QDir source(temp.filePath("release"));
        const QString outputDir = temp.filePath("site");
        const QMap<QString, QByteArray> files = {{"sub dir/数 据 [1];a=b,c.txt", "x"},
                                                 {"top level.txt", "y"}};
        QVERIFY(writeRelease(source, files));
        const ToolRun run = runPublishTool(
            QStringList({source.path(), outputDir, "--folder", "v 1"}) + urlArguments);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QCOMPARE(printedUrlLine(run.output), expected);
        if (urlArguments.isEmpty()) {
            return;
        }

        // Each file's address, built as the updater builds it from URL, leads to that file.
        const QString url = expected.mid(4);
        const QString basePath = QUrl(url).path();
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QUrl address(url + "v 1/" + it.key(), QUrl::TolerantMode);
            QVERIFY2(address.isValid() && !address.hasQuery() && !address.hasFragment(),
                     qPrintable(address.toString()));
            QVERIFY2(address.path().startsWith(basePath), qPrintable(address.toString()));
            const QString served = QDir(outputDir).filePath(address.path().mid(basePath.size()));
            QCOMPARE(readAll(served), it.value());
        }
    }

    void republishReplacesTheFolderExactly()
    {
        QTemporaryDir temp;
        const QDir source(temp.filePath("release"));
        const QString outputDir = temp.filePath("site");
        QVERIFY(
            writeRelease(source, {{"keep.txt", "1"}, {"gone/old.dll", "2"}, {"change.txt", "3"}}));
        ToolRun run = runPublishTool({source.path(), outputDir, "--version", "1"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));

        QVERIFY(QDir(source.filePath("gone")).removeRecursively());
        QVERIFY(writeTestFile(source, "change.txt", "changed"));
        QVERIFY(writeTestFile(source, "new/added.txt", "4"));
        run = runPublishTool({source.path(), outputDir, "--version", "2"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));

        const QMap<QString, QByteArray> expected = {
            {"keep.txt", "1"}, {"change.txt", "changed"}, {"new/added.txt", "4"}};
        QMap<QString, QByteArray> published = treeContents(QDir(outputDir).filePath("Base"));
        QVERIFY(published.remove("md5.txt") == 1);
        QCOMPARE(published.keys(), expected.keys());
        QVERIFY(published == expected);
        QVERIFY2(!QFile::exists(QDir(outputDir).filePath("Base/gone")), "a removed folder remains");
        // No staging or set-aside folder is left behind.
        QCOMPARE(QDir(outputDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({"Base", "update.ini"}));
        const FileTable table = parseFileList(readAll(QDir(outputDir).filePath("Base/md5.txt")));
        QCOMPARE(table.keys(), expected.keys());
        QCOMPARE(table.value("change.txt").md5, expectedMd5Text("changed"));
    }

    void newFolderLeavesThePreviousVersionServed()
    {
        QTemporaryDir temp;
        const QDir source(temp.filePath("release"));
        const QString outputDir = temp.filePath("site");
        QVERIFY(writeRelease(source, {{"app.exe", "v1"}}));
        ToolRun run = runPublishTool({source.path(), outputDir, "--folder", "v1"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        const auto before = treeSnapshot(QDir(outputDir).filePath("v1"));

        QVERIFY(writeRelease(source, {{"app.exe", "v2"}}));
        run = runPublishTool({source.path(), outputDir, "--folder", "v2"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QCOMPARE(treeSnapshot(QDir(outputDir).filePath("v1")), before);
        QSettings description(QDir(outputDir).filePath("update.ini"), QSettings::IniFormat);
        QCOMPARE(description.value("Version/Folder").toString(), QStringLiteral("v2"));
        QCOMPARE(readAll(QDir(outputDir).filePath("v2/app.exe")), QByteArray("v2"));
    }

    void excludeMatchesPathsAndNames()
    {
        QTemporaryDir temp;
        const QDir source(temp.filePath("release"));
        const QString outputDir = temp.filePath("site");
        // The excluded names would be refused if they were published.
        QVERIFY(writeRelease(source, {{"app.exe", "a"},
                                      {"app.PDB", "b"},
                                      {"bin/deep/x.pdb", "c"},
                                      {"logs/run#1.log", "d"},
                                      {"docs/keep.txt", "e"},
                                      {"docs/draft?.txt", "f"}}));
        const ToolRun run = runPublishTool({source.path(), outputDir, "--exclude", "*.pdb",
                                            "--exclude", "LOGS", "--exclude", "docs/draft*"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        const FileTable table = parseFileList(readAll(QDir(outputDir).filePath("Base/md5.txt")));
        QCOMPARE(table.keys(), QStringList({"app.exe", "docs/keep.txt"}));
    }
};

QTEST_GUILESS_MAIN(tst_Publish)
#include "tst_publish.moc"
