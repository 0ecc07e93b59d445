#include "SignedCheck.h"

#include "CheckFetch.h"
#include "Ed25519.h"
#include "FileNames.h"
#include "HashList.h"
#include "SerialRecord.h"
#include "Sha256Text.h"
#include "UpdateContext.h"

#include <QObject>
#include <QSettings>
#include <QUrl>

namespace {

QString listMismatchText()
{
    return QObject::tr("更新列表文件校验不对");
}

// Only the form the publishing tool writes: ISO 8601 in UTC, marked with "Z".
bool parseExpiry(const QString &text, QDateTime &expires)
{
    if (!text.endsWith(QLatin1Char('Z')))
        return false;
    expires = QDateTime::fromString(text, Qt::ISODate);
    return expires.isValid() && expires.timeSpec() == Qt::UTC;
}

bool readSignedFields(const QSettings &description, SignedFields &fields)
{
    bool serialOk = false;
    fields.serial =
        description.value(QStringLiteral("Version/Serial")).toString().toULongLong(&serialOk);
    fields.listSha256 =
        description.value(QStringLiteral("Version/ListSha256")).toString().toLatin1();
    fields.hashListSha256 =
        description.value(QStringLiteral("Version/HashListSha256")).toString().toLatin1();
    if (!serialOk || !isSha256Text(fields.listSha256) || !isSha256Text(fields.hashListSha256))
        return false;
    const QString expiry = QStringLiteral("Version/Expires");
    return !description.contains(expiry) ||
           parseExpiry(description.value(expiry).toString(), fields.expires);
}

} // namespace

bool descriptionSignatureValid(UpdateContext &context, const QByteArray &description)
{
    if (!isValidPublicKey(context.publicKey))
        return false;
    const QUrl url(context.serverUrl + QLatin1Char('/') + SignatureFileName, QUrl::TolerantMode);
    QByteArray signature;
    QString errorText;
    return fetchForCheck(context, url, signature, errorText) &&
           verifySignature(context.publicKey, description, signature);
}

bool acceptSignedFields(const QSettings &description, const QDir &installDir, SignedFields &fields,
                        QString &failureText)
{
    // Signed bytes without the signed keys prove nothing about the list: treated like no
    // signature at all.
    if (!readSignedFields(description, fields)) {
        failureText = QObject::tr("升级描述文件签名无效");
        return false;
    }
    if (fields.serial < acceptedSerial(installDir)) {
        failureText = QObject::tr("升级描述文件版本过旧");
        return false;
    }
    if (fields.expires.isValid() && fields.expires < QDateTime::currentDateTimeUtc()) {
        failureText = QObject::tr("升级描述文件已过期");
        return false;
    }
    return true;
}

bool attachFileHashes(UpdateContext &context, const QString &versionBaseUrl,
                      const SignedFields &fields, const QByteArray &listBytes, FileTable &remote,
                      QString &failureText)
{
    if (sha256Text(listBytes) != fields.listSha256) {
        failureText = listMismatchText();
        return false;
    }
    const QUrl url(versionBaseUrl + QLatin1Char('/') + HashListFileName, QUrl::TolerantMode);
    QByteArray hashListBytes;
    QString errorText;
    if (!fetchForCheck(context, url, hashListBytes, errorText)) {
        failureText = QObject::tr("下载更新列表文件失败:%1").arg(errorText);
        return false;
    }
    if (sha256Text(hashListBytes) != fields.hashListSha256) {
        failureText = listMismatchText();
        return false;
    }
    const HashTable hashes = parseHashList(hashListBytes);
    for (FileEntry &entry : remote) {
        const auto hashed = hashes.constFind(entry.path);
        if (hashed == hashes.cend() || hashed->size != entry.size ||
            !isSha256Text(hashed->sha256)) {
            failureText = listMismatchText();
            return false;
        }
        entry.sha256 = hashed->sha256;
    }
    return true;
}
