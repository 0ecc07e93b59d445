#include "FileList.h"

#include "ListFormat.h"

FileTable parseFileList(QByteArray text)
{
    return parseFileList(std::move(text), nullptr);
}

FileTable parseFileList(QByteArray text, QTextCodec *pathCodec)
{
    return readListText(text, pathCodec, &FileEntry::md5);
}
