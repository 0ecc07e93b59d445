#include "FileListWriter.h"

#include "ListFormat.h"

bool writeFileList(const FileTable &table, QByteArray &out, QString &errorText,
                   QTextCodec *pathCodec)
{
    return writeListText(table, &FileEntry::md5, QLatin1String("file list"),
                         QLatin1String("MD5 text"), out, errorText, pathCodec);
}
