#pragma once

#include "FileList.h"

#include <QByteArray>
#include <QString>

class QTextCodec;

// Writes the table in the list format, one LF-terminated line per entry in table order.
// Paths are encoded with pathCodec (nullptr: the local 8-bit encoding). A table that would
// not parse back to itself is refused: false, errorText says which entry and why, and
// `out` is left unchanged.
bool writeFileList(const FileTable &table, QByteArray &out, QString &errorText,
                   QTextCodec *pathCodec = nullptr);
