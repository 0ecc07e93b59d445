#include "RunUpdate.h"

#include "CDownloadThread.h"
#include "CUpdateError.h"
#include "CUpdateNotice.h"
#include "CUpdateProgress.h"
#include "FileNames.h"
#include "OwnFileWrite.h"
#include "Report.h"
#include "SerialRecord.h"
#include "UpdateCheck.h"
#include "UpdateContext.h"
#include "UserTexts.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QObject>

namespace {

enum class Next
{
    Retry,
    Finish,
};

struct DownloadOutcome
{
    bool success = false;
    QString message;
};

bool isSilent(const UpdateContext &context, const CheckResult &check)
{
    return context.mode == RunMode::Console && check.updateType == 0;
}

void saveList(const UpdateContext &context, const CheckResult &check)
{
    // A saved list that cannot be replaced must not go on vouching for files it no longer
    // describes; without it the next check compares the files themselves.
    const QString savedList = context.installDir.absoluteFilePath(SavedListFileName);
    QString errorText;
    if (!writeOwnFile(savedList, check.listBytes, errorText) && QFileInfo(savedList).isFile())
        QFile::remove(savedList);
    // A record that cannot be written is not reported: the next check then compares with the
    // serial recorded before.
    if (context.signatureRequired)
        recordAcceptedSerial(context.installDir, check.signedSerial);
}

// Runs the worker to its end, behind the progress dialog or silently in the application's
// event loop, and reads its outcome. The worker is gone when this returns, so nothing of
// this attempt runs on behind a later dialog or report.
DownloadOutcome downloadAndInstall(UpdateContext &context, const CheckResult &check)
{
    // The check's manager: its kept-alive connections (and TLS sessions) serve the files too.
    CDownloadThread worker(check.versionBaseUrl, context.cacheDir, context.installDir,
                           check.plan.values(), nullptr, CDownloadThread::defaultLimits(),
                           &context.network, check.connections);
    if (isSilent(context, check)) {
        QObject::connect(&worker, &QThread::finished, qApp, &QCoreApplication::quit);
        worker.start(QThread::InheritPriority);
        QApplication::exec();
    } else {
        CUpdateProgress progress(&worker, nullptr);
        progress.exec();
    }
    QObject::disconnect(&worker, nullptr, nullptr, nullptr);
    // finished is delivered while the thread is still winding down.
    worker.wait();
    return {worker.isSuccess(), worker.errorMessage()};
}

Next concludeFailedCheck(const UpdateContext &context, CUpdateError &errorDialog,
                         const CheckResult &check, int &exitCode)
{
    exitCode = 1;
    if (context.mode == RunMode::Console) {
        writeReport(false, false, check.failureText);
        return Next::Finish;
    }
    if (check.failure == CheckFailure::AddressInvalid) {
        showError(errorDialog, userText(UserText::ConfigurationTitle), check.failureText, false);
    } else if (showError(errorDialog, userText(UserText::FailedTitle), check.failureText, true)) {
        return Next::Retry;
    }
    launchHost(context.exePath);
    return Next::Finish;
}

// The optional update's question; false when the user put it off.
bool userAccepts(const CheckResult &check)
{
    CUpdateNotice notice(nullptr);
    notice.setVersion(check.version);
    return notice.exec() == 1;
}

Next concludeDownload(const UpdateContext &context, CUpdateError &errorDialog,
                      const CheckResult &check, const DownloadOutcome &outcome, int &exitCode)
{
    if (outcome.success) {
        saveList(context, check);
        if (!isSilent(context, check))
            launchHost(context.exePath);
        exitCode = 0;
        return Next::Finish;
    }
    exitCode = 1;
    if (context.mode == RunMode::Console) {
        writeReport(false, false, outcome.message);
        return Next::Finish;
    }
    const bool mandatory = check.updateType != 0;
    const bool retry =
        showError(errorDialog, userText(UserText::FailedTitle), outcome.message, !mandatory);
    // A mandatory update offers no way out: closing its error starts the next attempt.
    if (mandatory || retry)
        return Next::Retry;
    launchHost(context.exePath);
    return Next::Finish;
}

} // namespace

int runUpdate(UpdateContext &context, CUpdateError &errorDialog)
{
    int exitCode = 1;
    for (;;) {
        const CheckResult check = checkForUpdate(context);
        if (check.failure != CheckFailure::NoFailure) {
            if (concludeFailedCheck(context, errorDialog, check, exitCode) == Next::Retry)
                continue;
            return exitCode;
        }

        if (check.plan.isEmpty()) {
            saveList(context, check);
            if (context.mode == RunMode::Interactive)
                launchHost(context.exePath);
            return 1;
        }

        if (context.mode == RunMode::Interactive && check.updateType == 0 && !userAccepts(check)) {
            launchHost(context.exePath);
            return 1;
        }

        const DownloadOutcome outcome = downloadAndInstall(context, check);
        if (concludeDownload(context, errorDialog, check, outcome, exitCode) == Next::Retry)
            continue;
        return exitCode;
    }
}
