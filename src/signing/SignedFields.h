#pragma once

#include <QByteArray>
#include <QDateTime>

// The keys a signed publication adds to update.ini's [Version] section.
struct SignedFields
{
    quint64 serial = 0;
    QByteArray listSha256;     // of md5.txt, exactly as served
    QByteArray hashListSha256; // of sha256.txt, exactly as served
    QDateTime expires;         // invalid: the description does not expire
};

// Reads the signed keys from the very bytes whose signature was checked. Only the plain form
// that update-publish writes is accepted: a "[Version]" line, then "Key=value" lines with the
// keys spelled exactly, whitespace around key and value ignored, CR LF or LF line ends. Anything
// that an INI reader could take differently fails instead of being guessed at: a signed key or
// [Version] given twice, a key in another letter case, escapes or quotes where a key or a signed
// value stands, a line continued onto the next, a control character. So does a description that
// lacks Serial, ListSha256 or HashListSha256, or holds a malformed value. `fields` is changed
// only on success.
bool readSignedFields(const QByteArray &description, SignedFields &fields);

// Expires in the only form update-publish writes: ISO 8601 in UTC, marked with "Z".
bool parseExpiry(const QByteArray &text, QDateTime &expires);
