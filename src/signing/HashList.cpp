#include "HashList.h"

#include "ListFormat.h"

HashTable parseHashList(const QByteArray &text, QTextCodec *pathCodec)
{
    return readListText(text, pathCodec, &HashEntry::sha256);
}

bool writeHashList(const HashTable &table, QByteArray &out, QString &errorText,
                   QTextCodec *pathCodec)
{
    return writeListText(table, &HashEntry::sha256, QLatin1String("hash list"),
                         QLatin1String("SHA-256 text"), out, errorText, pathCodec);
}
