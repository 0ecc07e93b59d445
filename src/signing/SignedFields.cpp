#include "SignedFields.h"

#include "Sha256Text.h"

#include <array>

namespace {

enum SignedKey
{
    Serial,
    ListSha256,
    HashListSha256,
    Expires,
    SignedKeyCount
};

const std::array<QByteArray, SignedKeyCount> SignedKeyNames{
    QByteArrayLiteral("Serial"), QByteArrayLiteral("ListSha256"),
    QByteArrayLiteral("HashListSha256"), QByteArrayLiteral("Expires")};

const QByteArray VersionSection = QByteArrayLiteral("Version");

// Only spaces and tabs: other whitespace is no whitespace to an INI reader.
QByteArray trimmed(const QByteArray &text)
{
    int from = 0;
    int to = text.size();
    while (from < to && (text.at(from) == ' ' || text.at(from) == '\t')) {
        ++from;
    }
    while (to > from && (text.at(to - 1) == ' ' || text.at(to - 1) == '\t')) {
        --to;
    }
    return text.mid(from, to - from);
}

bool allBytes(const QByteArray &text, bool (*allowed)(char))
{
    for (const char c : text) {
        if (!allowed(c)) {
            return false;
        }
    }
    return true;
}

bool isPlainNameByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ' ';
}

// Section and key names: an INI reader unescapes "%41" and turns a backslash into a slash, which
// would let a name that reads as something else here stand for a signed key there.
bool isPlainName(const QByteArray &name)
{
    return !name.isEmpty() && allBytes(name, isPlainNameByte);
}

// Whether an INI reader ends the line where it ends here. Quotes and backslash escapes can carry
// a line on past its line break, so neither may be left open; an unquoted semicolon starts a
// comment that runs to the line break. A lone CR would end the line there, and other control
// characters are no whitespace to it either.
bool isSelfContained(const QByteArray &line)
{
    for (const char c : line) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) {
            return false;
        }
    }
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '\\') {
            if (++i == line.size()) {
                return false;
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            return true;
        }
    }
    return !quoted;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isExpiryByte(char c)
{
    return isDigit(c) || c == '-' || c == ':' || c == '.' || c == 'T' || c == 'Z';
}

bool parseSerial(const QByteArray &text, quint64 &serial)
{
    bool ok = false;
    serial = text.toULongLong(&ok);
    return ok && !text.isEmpty() && allBytes(text, isDigit);
}

} // namespace

bool parseExpiry(const QByteArray &text, QDateTime &expires)
{
    if (!text.endsWith('Z') || !allBytes(text, isExpiryByte)) {
        return false;
    }
    expires = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    return expires.isValid() && expires.timeSpec() == Qt::UTC;
}

bool readSignedFields(const QByteArray &description, SignedFields &fields)
{
    std::array<QByteArray, SignedKeyCount> values;
    std::array<bool, SignedKeyCount> given{};
    bool inVersion = false;
    bool versionSeen = false;
    for (QByteArray line : description.split('\n')) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (!isSelfContained(line)) {
            return false;
        }
        line = trimmed(line);
        if (line.isEmpty() || line.startsWith(';')) {
            continue;
        }
        if (line.startsWith('[')) {
            const QByteArray name = trimmed(line.mid(1, line.size() - 2));
            if (!line.endsWith(']') || !isPlainName(name)) {
                return false;
            }
            inVersion = name == VersionSection;
            if ((inVersion && versionSeen) ||
                (!inVersion && name.compare(VersionSection, Qt::CaseInsensitive) == 0)) {
                return false;
            }
            versionSeen = versionSeen || inVersion;
            continue;
        }
        const int equals = line.indexOf('=');
        const QByteArray key = trimmed(line.left(equals));
        if (equals < 0 || !isPlainName(key)) {
            return false;
        }
        if (!inVersion) {
            continue;
        }
        for (int k = 0; k < SignedKeyCount; ++k) {
            if (key.compare(SignedKeyNames[k], Qt::CaseInsensitive) != 0) {
                continue;
            }
            if (key != SignedKeyNames[k] || given[k]) {
                return false;
            }
            given[k] = true;
            values[k] = trimmed(line.mid(equals + 1));
        }
    }
    SignedFields parsed;
    if (!parseSerial(values[Serial], parsed.serial) || !isSha256Text(values[ListSha256]) ||
        !isSha256Text(values[HashListSha256]) ||
        (given[Expires] && !parseExpiry(values[Expires], parsed.expires))) {
        return false;
    }
    parsed.listSha256 = values[ListSha256];
    parsed.hashListSha256 = values[HashListSha256];
    fields = parsed;
    return true;
}
