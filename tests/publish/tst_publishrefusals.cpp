#include "PublishTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// Entries of the release besides a harmless "ok.txt": a plain path is a file,
// "link:PATH>TARGET" a symbolic link ("@outside" in TARGET is a folder beside the release),
// "fifo:PATH" a named pipe.
bool makeEntry(const QDir &source, const QString &outside, const QString &description)
{
    if (description.startsWith(QLatin1String("link:"))) {
        const QStringList parts = description.mid(5).split(QLatin1Char('>'));
        QString target = parts.at(1);
        target.replace(QLatin1String("@outside"), outside);
        return QDir().mkpath(QFileInfo(source.filePath(parts.at(0))).path()) &&
               QFile::link(target, source.filePath(parts.at(0)));
    }
    if (description.startsWith(QLatin1String("fifo:"))) {
        return ::mkfifo(QFile::encodeName(source.filePath(description.mid(5))).constData(), 0644) ==
               0;
    }
    return writeTestFile(source, description, "x");
}

} // namespace

class tst_PublishRefusals : public QObject
{
    Q_OBJECT

private slots:
    void refusedRunChangesNothing_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("arguments");
        // Where SOURCE_DIR and OUTPUT_DIR are, relative to the test folder.
        QTest::addColumn<QString>("sourceDir");
        QTest::addColumn<QString>("outputDir");
        // Must appear in the output: names the file or says what is wrong.
        QTest::addColumn<QString>("needle");

        const QString src = "release";
        const QString out = "site";
        const QStringList none;
        const auto entry = [&](const char *name, const QString &path, const QString &needle) {
            QTest::newRow(name) << QStringList{path} << none << src << out << needle;
        };
        entry("hash", "dir/a#b.txt", "\"dir/a#b.txt\"");
        entry("question mark", "what?.txt", "\"what?.txt\"");
        entry("percent", "100%.txt", "\"100%.txt\"");
        entry("tab", "tab\there.txt", "\"tab\\there.txt\"");
        entry("line feed", "line\nbreak.txt", "\"line\\nbreak.txt\"");
        entry("carriage return", "cr\r.txt", "\"cr\\r.txt\"");
        entry("backslash", "back\\slash.txt", "\"back\\\\slash.txt\"");
        entry("less than", "a<b.txt", "\"a<b.txt\"");
        entry("greater than", "a>b.txt", "\"a>b.txt\"");
        entry("colon", "c:d.txt", "\"c:d.txt\"");
        entry("double quote", "say\"hi\".txt", "\"say\\\"hi\\\".txt\"");
        entry("pipe", "a|b.txt", "\"a|b.txt\"");
        entry("star", "a*b.txt", "\"a*b.txt\"");
        entry("control character", "bell\x07.txt", "\"bell\\x07.txt\"");
        entry("component ends in dot", "dir./x.txt", "\"dir./x.txt\"");
        entry("name ends in dot", "file.", "\"file.\"");
        entry("name ends in space", "sub/file.txt ", "\"sub/file.txt \"");
        entry("CON", "CON", "\"CON\"");
        entry("con with extension", "sub/con.txt", "\"sub/con.txt\"");
        entry("Lpt9 mixed case", "Lpt9.log", "\"Lpt9.log\"");
        entry("com1 two extensions", "com1.tar.gz", "\"com1.tar.gz\"");
        entry("NUL folder", "nul/readme.txt", "\"nul/readme.txt\"");
        entry("aux", "aux.h", "\"aux.h\"");
        entry("prn", "PRN.dat", "\"PRN.dat\"");
        entry("list name at top", "md5.txt", "\"md5.txt\"");
        entry("list name as folder", "MD5.TXT/x", "\"MD5.TXT/x\"");
        entry("staged name", "bin/app.exe.update-new", "\"bin/app.exe.update-new\"");
        entry("journal name", "Update_Journal.info", "\"Update_Journal.info\"");

        QTest::newRow("files equal ignoring case")
            << QStringList{"Readme.txt", "README.TXT"} << none << src << out << "\"Readme.txt\"";
        QTest::newRow("file equal to folder ignoring case")
            << QStringList{"lib", "LIB/x.dll"} << none << src << out << "\"lib\"";
        QTest::newRow("name outside the encoding")
            << QStringList{"中文.txt"} << QStringList{"--path-encoding", "ISO-8859-1"} << src << out
            << "\"中文.txt\"";
        QTest::newRow("link leaving the release")
            << QStringList{"link:sub/secret>@outside/secret.txt"} << none << src << out
            << "\"sub/secret\"";
        QTest::newRow("link to a folder outside")
            << QStringList{"link:data>@outside"} << none << src << out << "\"data\"";
        QTest::newRow("dangling link")
            << QStringList{"link:gone.txt>nowhere.txt"} << none << src << out << "\"gone.txt\"";
        QTest::newRow("link loop")
            << QStringList{"link:sub/loop>.."} << none << src << out << "\"sub/loop\"";
        QTest::newRow("named pipe") << QStringList{"fifo:pipe"} << none << src << out << "\"pipe\"";

        const auto option = [&](const char *name, const QStringList &arguments,
                                const QString &needle) {
            QTest::newRow(name) << none << arguments << src << out << needle;
        };
        option("folder empty", {"--folder", ""}, "--folder");
        option("folder with two components", {"--folder", "a/b"}, "--folder");
        option("folder with backslash", {"--folder", "a\\b"}, "--folder");
        option("folder with hash", {"--folder", "v#1"}, "--folder");
        option("folder reserved", {"--folder", "Con"}, "--folder");
        option("folder dot dot", {"--folder", ".."}, "--folder");
        option("folder ends in space", {"--folder", "v1 "}, "--folder");
        option("folder named like the description", {"--folder", "Update.ini"}, "--folder");
        option("type 2", {"--type", "2"}, "--type");
        option("connections 0", {"--connections", "0"}, "--connections");
        option("connections 7", {"--connections", "7"}, "--connections");
        option("type word", {"--type", "yes"}, "--type");
        option("unknown encoding", {"--path-encoding", "no-such-encoding"}, "no-such-encoding");
        option("ASCII-incompatible encoding", {"--path-encoding", "UTF-16"}, "UTF-16");
        option("url not http", {"--url", "ftp://127.0.0.1/app"}, "--url");
        option("url with query", {"--url", "http://127.0.0.1/app?x=1"}, "--url");

        const auto place = [&](const char *name, const QString &source, const QString &output) {
            QTest::newRow(name) << none << none << source << output << "inside";
        };
        place("output inside source", src, "release/published");
        place("output inside source through a link", src, "alias/published");
        place("source inside output", "site/Base", out);
        place("same folder", src, src);
        QTest::newRow("missing source") << none << none << "absent" << out << "does not exist";
        QTest::newRow("bad file, new output folder")
            << QStringList{"a#b"} << none << src << "new/deeper"
            << "\"a#b\"";
    }

    void refusedRunChangesNothing()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, arguments);
        QFETCH(QString, sourceDir);
        QFETCH(QString, outputDir);
        QFETCH(QString, needle);

        QTemporaryDir temp;
        QVERIFY2(temp.isValid(), qPrintable(temp.errorString()));
        const QDir root(temp.path());
        const QDir release(root.filePath("release"));
        QVERIFY(writeTestFile(release, "ok.txt", "fine"));
        QVERIFY(writeTestFile(QDir(root.filePath("outside")), "secret.txt", "secret"));
        QVERIFY(QFile::link(release.path(), root.filePath("alias")));
        // A previous publication, which a refused run must leave alone.
        QVERIFY(
            writeTestFile(QDir(root.filePath("site")), "update.ini", "[Version]\nFolder=Base\n"));
        QVERIFY(writeTestFile(QDir(root.filePath("site/Base")), "old.txt", "old"));
        QVERIFY(writeTestFile(QDir(root.filePath("site/Base")), "md5.txt", "list"));
        for (const QString &entry : qAsConst(entries)) {
            QVERIFY2(makeEntry(release, root.filePath("outside"), entry), qPrintable(entry));
        }

        const auto before = treeSnapshot(root.path());
        const ToolRun run = runPublishTool(
            QStringList({root.filePath(sourceDir), root.filePath(outputDir)}) + arguments);
        QVERIFY2(run.exitCode > 0, qPrintable(run.output));
        QVERIFY2(run.output.contains(needle), qPrintable(run.output));
        QCOMPARE(treeSnapshot(root.path()), before);
    }

    void siblingWithCommonPrefixIsNotInside()
    {
        QTemporaryDir temp;
        QVERIFY(writeTestFile(QDir(temp.filePath("app")), "a.txt", "a"));
        const ToolRun run = runPublishTool({temp.filePath("app"), temp.filePath("app2")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(QFile::exists(temp.filePath("app2/Base/a.txt")));
    }
};

QTEST_GUILESS_MAIN(tst_PublishRefusals)
#include "tst_publishrefusals.moc"
