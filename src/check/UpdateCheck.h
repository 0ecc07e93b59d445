#pragma once

#include "FileList.h"

#include <QByteArray>
#include <QString>

struct UpdateContext;

enum class CheckFailure
{
    NoFailure,
    AddressInvalid, // the description address cannot be built
    StepFailed,     // a download or the saved copy failed; the user may try again
};

// What one attempt's check found out.
struct CheckResult
{
    CheckFailure failure = CheckFailure::NoFailure;
    QString failureText;
    int updateType = 1; // 0: optional; anything else: mandatory
    QString version;
    QString versionBaseUrl; // URL + folder + "/"
    int connections = 1;    // transfers at once
    QByteArray listBytes;   // md5.txt exactly as downloaded
    FileTable plan;         // entries to fetch; empty: up to date
    // The Serial of a signed description, recorded once the installation is up to date with
    // it; 0 when the check did not ask for a signature.
    quint64 signedSerial = 0;
};

// Fetches update.ini (keeping a copy in the cache directory) and the version's md5.txt, and
// plans the files to fetch. In console mode it prints the first report.
CheckResult checkForUpdate(UpdateContext &context);
