#include "FileListWriter.h"
#include "Md5Text.h"
#include "TableToString.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTextCodec>

Q_DECLARE_METATYPE(FileEntry)

namespace {

// Fixed so that a failure can be replayed; printed with every failure.
constexpr quint32 Seed = 20240611;

// Letters that UTF-8 and GB18030 both hold, including ones outside ASCII and Latin-1.
const QString PathAlphabet = QStringLiteral("abcXYZ019 ._-~#()éüÄß中文数据表");

QString randomPath(QRandomGenerator &random)
{
    QStringList segments;
    const int segmentCount = random.bounded(1, 4);
    for (int s = 0; s < segmentCount; ++s) {
        QString segment;
        const int length = random.bounded(1, 9);
        for (int i = 0; i < length; ++i) {
            segment += PathAlphabet.at(random.bounded(PathAlphabet.size()));
        }
        segments << segment;
    }
    return segments.join(QLatin1Char('/'));
}

quint64 randomSize(QRandomGenerator &random)
{
    switch (random.bounded(6)) {
    case 0:
        return 0;
    case 1:
        return Q_UINT64_C(1) << 40;
    case 2:
        return Q_UINT64_C(0xffffffff);
    case 3:
        return random.bounded(1, 1 << 20);
    default: {
        // Both 32-bit halves non-zero, below 2^40.
        const quint64 high = random.bounded(1, 256);
        return (high << 32) | random.bounded(1u, 0xffffffffu);
    }
    }
}

QByteArray randomMd5(QRandomGenerator &random)
{
    QByteArray data(random.bounded(64), '\0');
    random.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
    // Mostly genuine MD5 texts; the reader takes the piece raw, so any other bytes must survive.
    return random.bounded(4) ? md5Text(data)
                             : data.replace('\t', 't').replace('\n', 'n').replace('\r', 'r');
}

FileTable randomTable(QRandomGenerator &random)
{
    FileTable table;
    const int count = random.bounded(25);
    for (int i = 0; i < count; ++i) {
        FileEntry entry{randomPath(random), randomSize(random), randomMd5(random)};
        table.insert(entry.path, entry);
    }
    return table;
}

} // namespace

class tst_FileListWriter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8")); }

    void exactFormat()
    {
        FileTable table;
        table.insert("b/中.dll", {"b/中.dll", 1234, "m1"});
        table.insert("a.exe", {"a.exe", (Q_UINT64_C(0xab) << 32) | 0xcd, "m2"});
        QByteArray out;
        QString error;
        QVERIFY2(writeFileList(table, out, error), qPrintable(error));
        QCOMPARE(out, QByteArray("m2\t000000cd000000ab\ta.exe\n"
                                 "m1\t000004d200000000\tb/\xe4\xb8\xad.dll\n"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("codecName");
        QTest::newRow("local 8-bit") << QByteArray();
        QTest::newRow("GB18030") << QByteArray("GB18030");
    }

    void roundTrip()
    {
        QFETCH(QByteArray, codecName);
        QTextCodec *codec = codecName.isEmpty() ? nullptr : QTextCodec::codecForName(codecName);
        QVERIFY(codecName.isEmpty() || codec);
        QRandomGenerator random(Seed);
        for (int round = 0; round < 300; ++round) {
            const FileTable table = randomTable(random);
            QByteArray out;
            QString error;
            QVERIFY2(writeFileList(table, out, error, codec),
                     qPrintable(
                         QStringLiteral("seed %1, round %2: %3").arg(Seed).arg(round).arg(error)));
            const FileTable back = parseFileList(out, codec);
            QVERIFY2(back == table, qPrintable(QStringLiteral("seed %1, round %2:\n%3")
                                                   .arg(Seed)
                                                   .arg(round)
                                                   .arg(QString::fromUtf8(out))));
        }
    }

    void refusal_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<FileEntry>("entry");
        QTest::addColumn<QByteArray>("codecName");
        QTest::addColumn<QString>("named");

        const QByteArray md5 = md5Text("x");
        auto row = [&](const char *tag, const QString &path, const QByteArray &entryMd5,
                       const QByteArray &codec, const QString &named) {
            QTest::newRow(tag) << path << FileEntry{path, 1, entryMd5} << codec << named;
        };
        row("tab in path", "a\tb", md5, "", "a\\tb");
        row("LF in path", "a\nb", md5, "", "a\\nb");
        row("CR in path", "ab\r", md5, "", "ab\\r");
        row("tab in MD5 text", "a", md5 + '\t', "", "\"a\"");
        row("LF in MD5 text", "a", md5 + '\n', "", "\"a\"");
        row("CR in MD5 text", "a", md5 + '\r', "", "\"a\"");
        row("backslash", "dir\\a", md5, "", "dir\\\\a");
        row("leading slash", "/a", md5, "", "\"/a\"");
        row("empty path", "", md5, "", QString::fromLatin1(md5));
        row("not in Latin-1", QStringLiteral("中.txt"), md5, "ISO-8859-1",
            QStringLiteral("中.txt"));
        row("lone surrogate", QString(QChar(0xd800)) + "x", md5, "", "x\"");
        // canEncode accepts a trailing lone surrogate, which the encoder then silently drops.
        row("lost in encoding", "x" + QString(QChar(0xd800)), md5, "", "\"x");
        row("separator bytes", QString(QChar(0x0a09)), md5, "UTF-16LE", QString(QChar(0x0a09)));
        QTest::newRow("key differs from path") << QStringLiteral("a") << FileEntry{"b", 1, md5}
                                               << QByteArray() << QStringLiteral("\"b\"");
    }

    void refusal()
    {
        QFETCH(QString, key);
        QFETCH(FileEntry, entry);
        QFETCH(QByteArray, codecName);
        QFETCH(QString, named);
        QTextCodec *codec = codecName.isEmpty() ? nullptr : QTextCodec::codecForName(codecName);
        FileTable table;
        // A valid entry ahead of the bad one must not leak into `out` either.
        table.insert(QStringLiteral(" first"), {QStringLiteral(" first"), 0, md5Text("")});
        table.insert(key, entry);
        QByteArray out = "unchanged";
        QString error;
        QVERIFY(!writeFileList(table, out, error, codec));
        QCOMPARE(out, QByteArray("unchanged"));
        QVERIFY2(error.contains(named), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(tst_FileListWriter)
#include "tst_filelistwriter.moc"
