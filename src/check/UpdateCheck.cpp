#include "UpdateCheck.h"

#include "CheckFetch.h"
#include "ConsoleReport.h"
#include "DescriptionFields.h"
#include "FileNames.h"
#include "OwnFileWrite.h"
#include "SignedCheck.h"
#include "UpdateContext.h"
#include "UpdatePlan.h"
#include "UserTexts.h"

#include <QUrl>

namespace {

CheckResult failed(CheckFailure failure, const QString &text)
{
    CheckResult result;
    result.failure = failure;
    result.failureText = text;
    return result;
}

} // namespace

CheckResult checkForUpdate(UpdateContext &context)
{
    QByteArray buffer;
    QString errorText;

    const QUrl descriptionUrl(context.serverUrl + QLatin1Char('/') + DescriptionFileName,
                              QUrl::TolerantMode);
    if (!descriptionUrl.isValid())
        return failed(CheckFailure::AddressInvalid,
                      userText(UserText::DescriptionUrlInvalid).arg(descriptionUrl.toString()));

    // Looks at the installed files while the lists are on their way, unless start-up has
    // already begun to.
    const std::unique_ptr<SavedList> saved = context.savedList
                                                 ? std::move(context.savedList)
                                                 : std::make_unique<SavedList>(context.installDir);

    if (!fetchForCheck(context, descriptionUrl, DescriptionCapBytes, buffer, errorText))
        return failed(CheckFailure::StepFailed,
                      userText(UserText::DescriptionDownloadFailed).arg(errorText));

    // Before anything is read from the bytes or saved, so that the copy in the cache directory
    // is always one that passed.
    if (context.signatureRequired && !descriptionSignatureValid(context, buffer))
        return failed(CheckFailure::StepFailed, userText(UserText::DescriptionSignatureInvalid));

    // The copy is the updater's own file: a link in its place would make an elevated process
    // write wherever the link points.
    const QString copyPath = context.cacheDir.absoluteFilePath(DescriptionFileName);
    if (!writeOwnFile(copyPath, buffer, errorText))
        return failed(CheckFailure::StepFailed,
                      userText(UserText::CreateFileFailed).arg(copyPath, errorText));

    DescriptionFields fields;
    SignedFields signedFields;
    if (context.signatureRequired) {
        // Only the bytes whose signature was checked count, not what the disk holds by now.
        QString failureText;
        if (!readDescriptionFields(buffer, context.cacheDir, fields, failureText) ||
            !acceptSignedFields(buffer, context.installDir, signedFields, failureText))
            return failed(CheckFailure::StepFailed, failureText);
    } else {
        fields = readDescriptionFields(copyPath);
    }
    CheckResult result;
    result.updateType = fields.updateType;
    result.version = fields.version;
    result.connections = fields.connections;
    result.versionBaseUrl = context.serverUrl + fields.folder + QLatin1Char('/');
    const QUrl listUrl(result.versionBaseUrl + QLatin1Char('/') + ListFileName, QUrl::TolerantMode);
    if (!fetchForCheck(context, listUrl, ListCapBytes, buffer, errorText))
        return failed(CheckFailure::StepFailed,
                      userText(UserText::ListDownloadFailed).arg(errorText));

    result.listBytes = buffer;
    // Usually the list is the one applied last time, already parsed beside the saved list.
    FileTable remote =
        saved->holds(result.listBytes) ? saved->entries() : parseFileList(result.listBytes);
    // A page in the list's place (a captive portal's, a server's error page sent with 200) is
    // no list that names nothing: it would be taken for "up to date" and saved as the list.
    if (remote.isEmpty() && !result.listBytes.isEmpty())
        return failed(CheckFailure::StepFailed,
                      userText(UserText::ListDownloadFailed)
                          .arg(QStringLiteral("the answer is not a file list (no line is an "
                                              "entry)")));
    if (context.signatureRequired) {
        QString failureText;
        if (!attachFileHashes(context, result.versionBaseUrl, signedFields, result.listBytes,
                              remote, failureText))
            return failed(CheckFailure::StepFailed, failureText);
        result.signedSerial = signedFields.serial;
    }
    result.plan = planUpdate(remote, context.installDir, *saved);

    if (context.mode == RunMode::Console)
        writeReport(true, !result.plan.isEmpty() && result.updateType != 0, QString());
    return result;
}
