#include "Description.h"
#include "Sha256Text.h"
#include "SignedLists.h"

#include <QSettings>
#include <QTemporaryFile>
#include <QTest>

namespace {

const QByteArray ListHash = QByteArray(64, 'a');
const QByteArray HashListHash = QByteArray(64, 'b');
const QByteArray Plain =
    "[Summary]\nUpdateType=1\n\n[Version]\nFolder=Base\nSerial=42\nListSha256=" + ListHash +
    "\nHashListSha256=" + HashListHash + "\n";

// The fields in one line, to compare with what QSettings, the other reader, takes from the bytes.
QByteArray shown(quint64 serial, const QString &list, const QString &hashList,
                 const QDateTime &expires)
{
    return QByteArray::number(serial) + ' ' + list.toLatin1() + ' ' + hashList.toLatin1() + ' ' +
           expires.toString(Qt::ISODateWithMs).toLatin1();
}

QByteArray settingsRead(const QByteArray &description)
{
    QTemporaryFile file;
    if (!file.open() || file.write(description) != description.size() || !file.flush()) {
        qFatal("cannot write %s", qPrintable(file.fileName()));
    }
    const QSettings settings(file.fileName(), QSettings::IniFormat);
    const auto value = [&settings](const char *key) {
        return settings.value(QLatin1String("Version/") + QLatin1String(key)).toString();
    };
    return shown(value("Serial").toULongLong(), value("ListSha256"), value("HashListSha256"),
                 QDateTime::fromString(value("Expires"), Qt::ISODate));
}

QByteArray shown(const SignedFields &fields)
{
    return shown(fields.serial, QString::fromLatin1(fields.listSha256),
                 QString::fromLatin1(fields.hashListSha256), fields.expires);
}

// update.ini as update-publish writes it for a signed publication.
QByteArray toolText(const QString &version, const QString &expires)
{
    Description description;
    description.version = version;
    description.isSigned = true;
    description.serial = Q_UINT64_C(18446744073709551615);
    description.listSha256 = ListHash;
    description.hashListSha256 = HashListHash;
    description.expires = expires;
    QByteArray text;
    QString errorText;
    if (!descriptionText(description, text, errorText)) {
        qFatal("%s", qPrintable(errorText));
    }
    return text;
}

} // namespace

class tst_SignedFields : public QObject
{
    Q_OBJECT

private slots:
    void strictness_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("accepted");
        const auto changed = [](const char *from, const QByteArray &to) {
            return QByteArray(Plain).replace(from, to);
        };
        QTest::newRow("plain") << Plain << true;
        QTest::newRow("update-publish, Expires, non-ASCII Version")
            << toolText(QStringLiteral("版本 2.0"), QStringLiteral("2031-05-04T03:02:01Z")) << true;
        QTest::newRow("update-publish, Version quoted and escaped")
            << toolText(QStringLiteral(" 2.0; \"beta\", \\x\\"), QString()) << true;
        QTest::newRow("CR LF") << changed("\n", "\r\n") << true;
        QTest::newRow("blanks around key and value")
            << changed("Serial=42", " \tSerial \t= 42 \t") << true;
        QTest::newRow("comments, quoted and escaped other values")
            << changed("Serial", "Note=\"a;\\\"b\" ; c \"\n; Serial=7\nOther=\\\\\nSerial") +
                   "[Summary]\nSerial=7\n"
            << true;
        QTest::newRow("Expires") << Plain + "Expires=2031-05-04T03:02:01.5Z\n" << true;

        QTest::newRow("Serial twice") << Plain + "Serial=42\n" << false;
        QTest::newRow("ListSha256 twice") << Plain + "ListSha256=" + ListHash + '\n' << false;
        QTest::newRow("[Version] twice") << Plain + "[Other]\n[Version]\n" << false;
        QTest::newRow("[version] beside [Version]") << Plain + "[version]\nSerial=7\n" << false;
        QTest::newRow("key in lower case") << changed("Serial", "serial") << false;
        QTest::newRow("percent-escaped key") << Plain + "Seri%61l=7\n" << false;
        QTest::newRow("slash in a key") << "Version/Serial=7\n" + Plain << false;
        QTest::newRow("backslash in a key") << "Version\\Serial=7\n" + Plain << false;
        QTest::newRow("quoted value") << changed("=42", "=\"42\"") << false;
        QTest::newRow("escaped value") << changed("=42", "=\\x34\\x32") << false;
        QTest::newRow("comment after a value") << changed("=42", "=42;7") << false;
        QTest::newRow("line continued") << changed("=Base", "=Base\\") << false;
        QTest::newRow("quote left open") << changed("=Base", "=\"Base") << false;
        QTest::newRow("lone CR") << changed("=Base\n", "=Base\r[Other]\n") << false;
        QTest::newRow("vertical tab") << changed("\nSerial", "\n\vSerial") << false;
        QTest::newRow("byte order mark") << "\xef\xbb\xbf" + Plain << false;
        QTest::newRow("text after a section") << changed("[Version]", "[Version] x") << false;
        QTest::newRow("line without =") << Plain + "Serial\n" << false;
        QTest::newRow("no Serial") << changed("Serial=42\n", "") << false;
        QTest::newRow("upper-case hash") << changed("=aaaa", "=Aaaa") << false;
        QTest::newRow("Serial past 64 bits") << changed("=42", "=18446744073709551616") << false;
        QTest::newRow("Expires without Z") << Plain + "Expires=2031-05-04T03:02:01\n" << false;
        QTest::newRow("Expires empty") << Plain + "Expires=\n" << false;
    }

    void strictness()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, accepted);
        SignedFields fields;
        fields.serial = 99;
        QCOMPARE(readSignedFields(text, fields), accepted);
        QCOMPARE(fields.serial == 99, !accepted);
        if (accepted) {
            QCOMPARE(shown(fields), settingsRead(text));
        }
    }

    void hashList_data()
    {
        QTest::addColumn<QByteArray>("hashList");
        QTest::addColumn<bool>("applied");
        const QByteArray app = QByteArray(64, '1') + "\t0000000f00000000\tapp.exe\n";
        const QByteArray core = QByteArray(64, '2') + "\t0000000800000000\tlib\\core.dll\n";
        QTest::newRow("every file") << app + core << true;
        QTest::newRow("CR LF and an extra file")
            << QByteArray(app + core).replace("\n", "\r\n") + "1\t0\tmore.dat\n"
            << true;
        QTest::newRow("a file missing") << app << false;
        QTest::newRow("other size") << app + QByteArray(core).replace("08", "09") << false;
        QTest::newRow("upper-case text") << app + QByteArray(core).replace('2', 'B') << false;
    }

    void hashList()
    {
        QFETCH(QByteArray, hashList);
        QFETCH(bool, applied);
        FileTable remote;
        remote.insert(QStringLiteral("app.exe"), {QStringLiteral("app.exe"), 15, "m1"});
        remote.insert(QStringLiteral("lib/core.dll"), {QStringLiteral("lib/core.dll"), 8, "m2"});
        FileTable expected = remote;
        if (applied) {
            expected[QStringLiteral("app.exe")].sha256 = QByteArray(64, '1');
            expected[QStringLiteral("lib/core.dll")].sha256 = QByteArray(64, '2');
        }
        SignedFields fields;
        fields.hashListSha256 = sha256Text(hashList + ' ');
        QVERIFY2(!applyHashList(hashList, fields, remote), "bytes that are not the signed ones");
        fields.hashListSha256 = sha256Text(hashList);
        QCOMPARE(applyHashList(hashList, fields, remote), applied);
        QCOMPARE(remote, expected);
    }
};

QTEST_GUILESS_MAIN(tst_SignedFields)
#include "tst_signedfields.moc"
