#pragma once

#include "Description.h"

#include <QString>
#include <QStringList>

class QTextCodec;

struct VerifyReport
{
    Description description;
    int filesChecked = 0;
    QStringList mismatches; // one message per problem, naming the file
};

// Reads OUTPUT_DIR's update.ini and its folder's md5.txt (paths decoded with pathCodec,
// nullptr: local 8-bit) and checks every listed file's presence, size and MD5 text. Returns
// false only when the publication cannot be checked at all (no update.ini, no list, a folder
// name the updater could not use); problems with listed files go into the report.
// A signed publication is checked the way a client that holds its key checks it: update.ini.sig
// (against publicKey, when one is given), both lists against update.ini, and every file's
// SHA-256 text.
bool verifyPublication(const QString &outputDir, QTextCodec *pathCodec, VerifyReport &report,
                       QString &errorText, const QByteArray &publicKey = QByteArray());
