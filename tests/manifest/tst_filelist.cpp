#include "FileList.h"
#include "TableToString.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTextCodec>

#include <initializer_list>

Q_DECLARE_METATYPE(FileTable)

namespace {

const QByteArray AbcText = "98500190b04fd23c7d3f96d6727fe128";
const QByteArray EmptyText = "d98c1dd404b2008f980980e97e42f8ec";
const QByteArray Bom = "\xef\xbb\xbf";

FileTable tableOf(std::initializer_list<FileEntry> entries)
{
    FileTable table;
    for (const FileEntry &entry : entries) {
        table.insert(entry.path, entry);
    }
    return table;
}

QByteArray fixture(const QString &name)
{
    QFile file(QDir(QStringLiteral(MANIFEST_FIXTURE_DIR)).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing fixture %s", qPrintable(file.fileName()));
    }
    return file.readAll();
}

} // namespace

class tst_FileList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8")); }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<FileTable>("expected");

        const FileTable sample =
            tableOf({{"plugins/abc.dat", 3, AbcText}, {"empty.txt", 0, EmptyText}});
        QTest::newRow("LF") << fixture("lf.txt") << sample;
        QTest::newRow("CR LF") << fixture("crlf.txt") << sample;
        QTest::newRow("CR only is one line") << fixture("cr-only.txt") << FileTable();
        QTest::newRow("BOM stays in the first MD5 text")
            << fixture("bom.txt")
            << tableOf({{"plugins/abc.dat", 3, Bom + AbcText}, {"empty.txt", 0, EmptyText}});
        QTest::newRow("same path in both spellings, last wins")
            << fixture("duplicates.txt") << tableOf({{"dir/sub/file.txt", 2, QByteArray(32, 'b')}});
        QTest::newRow("case makes two entries") << fixture("case-order.txt")
                                                << tableOf({{"B.dll", 3, AbcText},
                                                            {"Readme.txt", 3, AbcText},
                                                            {"a.dll", 3, AbcText},
                                                            {"readme.txt", 3, AbcText}});
        QTest::newRow("traversal kept verbatim") << fixture("dotdot-path.txt")
                                                 << tableOf({{"../../evil.dll", 3, AbcText},
                                                             {"/etc/passwd", 3, AbcText},
                                                             {"C:/Windows/evil.dll", 3, AbcText},
                                                             {"a/../../evil.dll", 3, AbcText},
                                                             {".", 3, AbcText},
                                                             {"./", 3, AbcText},
                                                             {"app.exe:stream", 3, AbcText}});

        QTest::newRow("empty text") << QByteArray() << FileTable();
        QTest::newRow("blank lines") << QByteArray("\n\r\n\n") << FileTable();
        QTest::newRow("no final LF")
            << QByteArray("m\t0000000300000000\tx") << tableOf({{"x", 3, "m"}});
        QTest::newRow("trailing tab") << QByteArray("m\t0000000300000000\tx\t\n") << FileTable();
        QTest::newRow("two pieces") << QByteArray("m\tx\n") << FileTable();
        QTest::newRow("four pieces") << QByteArray("m\t1\tx\ty\n") << FileTable();
        QTest::newRow("only CR dropped, blanks kept")
            << QByteArray(" m \t0000000300000000\t x \r\r\n") << tableOf({{" x \r", 3, " m "}});
        QTest::newRow("MD5 text taken raw")
            << QByteArray("NOT-HEX\xff\t0\tx\n") << tableOf({{"x", 0, "NOT-HEX\xff"}});
        QTest::newRow("three empty pieces") << QByteArray("\t\t\n") << tableOf({{"", 0, ""}});

        QTest::newRow("canonical size")
            << QByteArray("m\t000004d200000000\tx\n") << tableOf({{"x", 1234, "m"}});
        QTest::newRow("short size is the high half")
            << QByteArray("m\t4d2\tx\n") << tableOf({{"x", Q_UINT64_C(1234) << 32, "m"}});
        QTest::newRow("both halves") << QByteArray("m\t0000000100000002\tx\n")
                                     << tableOf({{"x", (Q_UINT64_C(2) << 32) | 1, "m"}});
        QTest::newRow("upper-case size")
            << QByteArray("m\t000004D200000000\tx\n") << tableOf({{"x", 1234, "m"}});
        QTest::newRow("all ones") << QByteArray("m\tffffffffffffffff\tx\n")
                                  << tableOf({{"x", ~Q_UINT64_C(0), "m"}});
        QTest::newRow("non-hex size") << QByteArray("m\txyz\tx\n") << tableOf({{"x", 0, "m"}});
        QTest::newRow("empty size") << QByteArray("m\t\tx\n") << tableOf({{"x", 0, "m"}});
        QTest::newRow("negative size") << QByteArray("m\t-1\tx\n") << tableOf({{"x", 0, "m"}});
        QTest::newRow("size beyond 64 bits")
            << QByteArray("m\t10000000000000000\tx\n") << tableOf({{"x", 0, "m"}});
        QTest::newRow("extra leading zeros")
            << QByteArray("m\t0000000000000004d200000000\tx\n") << tableOf({{"x", 1234, "m"}});

        QTest::newRow("one leading slash removed")
            << QByteArray("m\t0\t/a\nn\t0\t\\\\b\n") << tableOf({{"a", 0, "m"}, {"/b", 0, "n"}});
        QTest::newRow("dots and doubled slashes kept")
            << QByteArray("m\t0\t./a//b/../c/\n") << tableOf({{"./a//b/../c/", 0, "m"}});
        QTest::newRow("UTF-8 path") << QByteArray("m\t0\t\xe4\xb8\xad\xe6\x96\x87\\\xc3\xa9.txt\n")
                                    << tableOf({{QStringLiteral("中文/é.txt"), 0, "m"}});
        QTest::newRow("invalid UTF-8 path")
            << QByteArray("m\t0\t\xff\xfe\n") << tableOf({{QString::fromUtf8("\xff\xfe"), 0, "m"}});
    }

    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(FileTable, expected);
        QCOMPARE(parseFileList(text), expected);
    }

    void codecDecodesPaths()
    {
        QTextCodec *gb18030 = QTextCodec::codecForName("GB18030");
        QVERIFY(gb18030);
        const QString path = QStringLiteral("数据\\表.dat");
        const QByteArray text = "m\t0\t" + gb18030->fromUnicode(path) + '\n';
        QCOMPARE(parseFileList(text, gb18030), tableOf({{QStringLiteral("数据/表.dat"), 0, "m"}}));
        QCOMPARE(parseFileList(text, nullptr), parseFileList(text));
    }
};

QTEST_GUILESS_MAIN(tst_FileList)
#include "tst_filelist.moc"
