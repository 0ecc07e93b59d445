#include "SignedCheck.h"

#include "CheckFetch.h"
#include "Ed25519.h"
#include "FileNames.h"
#include "SerialRecord.h"
#include "SignedLists.h"
#include "UpdateContext.h"
#include "UserTexts.h"

#include <QDateTime>
#include <QUrl>

namespace {

QString listMismatchText()
{
    return userText(UserText::ListChecksumWrong);
}

} // namespace

bool descriptionSignatureValid(UpdateContext &context, const QByteArray &description)
{
    if (!isValidPublicKey(context.publicKey))
        return false;
    const QUrl url(context.serverUrl + QLatin1Char('/') + SignatureFileName, QUrl::TolerantMode);
    QByteArray signature;
    QString errorText;
    return fetchForCheck(context, url, SignatureCapBytes, signature, errorText) &&
           verifySignature(context.publicKey, description, signature);
}

bool acceptSignedFields(const QByteArray &description, const QDir &installDir, SignedFields &fields,
                        QString &failureText)
{
    // Signed bytes without the signed keys prove nothing about the list: treated like no
    // signature at all.
    if (!readSignedFields(description, fields)) {
        failureText = userText(UserText::DescriptionSignatureInvalid);
        return false;
    }
    if (fields.serial < acceptedSerial(installDir)) {
        failureText = userText(UserText::DescriptionOutdated);
        return false;
    }
    if (fields.expires.isValid() && fields.expires < QDateTime::currentDateTimeUtc()) {
        failureText = userText(UserText::DescriptionExpired);
        return false;
    }
    return true;
}

bool attachFileHashes(UpdateContext &context, const QString &versionBaseUrl,
                      const SignedFields &fields, const QByteArray &listBytes, FileTable &remote,
                      QString &failureText)
{
    if (!listMatchesSigned(listBytes, fields)) {
        failureText = listMismatchText();
        return false;
    }
    const QUrl url(versionBaseUrl + QLatin1Char('/') + HashListFileName, QUrl::TolerantMode);
    QByteArray hashListBytes;
    QString errorText;
    if (!fetchForCheck(context, url, ListCapBytes, hashListBytes, errorText)) {
        failureText = userText(UserText::ListDownloadFailed).arg(errorText);
        return false;
    }
    if (!applyHashList(hashListBytes, fields, remote)) {
        failureText = listMismatchText();
        return false;
    }
    return true;
}
