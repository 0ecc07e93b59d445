#include "UpdateCheck.h"

#include "BlockingRequest.h"
#include "FileNames.h"
#include "Report.h"
#include "UpdateContext.h"
#include "UpdatePlan.h"

#include <QFile>
#include <QObject>
#include <QSettings>
#include <QUrl>

namespace {

constexpr int FetchTimeoutSeconds = 5;

CheckResult failed(CheckFailure failure, const QString &text)
{
    CheckResult result;
    result.failure = failure;
    result.failureText = text;
    return result;
}

bool fetch(UpdateContext &context, const QUrl &url, QByteArray &buffer, QString &errorText)
{
    return blockingRequest(&context.network, url, buffer, errorText, FetchTimeoutSeconds,
                           HeaderMap(), QByteArrayLiteral("GET"), QByteArray(), nullptr);
}

} // namespace

CheckResult checkForUpdate(UpdateContext &context)
{
    context.network.clearAccessCache();
    QByteArray buffer;
    QString errorText;

    const QUrl descriptionUrl(context.serverUrl + QLatin1Char('/') + DescriptionFileName,
                              QUrl::TolerantMode);
    if (!descriptionUrl.isValid())
        return failed(CheckFailure::AddressInvalid,
                      QObject::tr("升级描述文件地址不合法:%1").arg(descriptionUrl.toString()));

    if (!fetch(context, descriptionUrl, buffer, errorText))
        return failed(CheckFailure::StepFailed,
                      QObject::tr("下载升级描述文件失败:%1").arg(errorText));

    QFile copy(context.cacheDir.absoluteFilePath(DescriptionFileName));
    if (!copy.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return failed(CheckFailure::StepFailed,
                      QObject::tr("创建文件[%1]失败:%2").arg(copy.fileName(), copy.errorString()));
    copy.write(buffer);
    copy.close();

    CheckResult result;
    QString folder;
    {
        QSettings description(copy.fileName(), QSettings::IniFormat);
        result.updateType = description.value(QStringLiteral("Summary/UpdateType"), 1).toInt();
        folder =
            description.value(QStringLiteral("Version/Folder"), QStringLiteral("Base")).toString();
        result.version = description.value(QStringLiteral("Version/Version")).toString();
    }

    result.versionBaseUrl = context.serverUrl + folder + QLatin1Char('/');
    const QUrl listUrl(result.versionBaseUrl + QStringLiteral("/md5.txt"), QUrl::TolerantMode);
    if (!fetch(context, listUrl, buffer, errorText))
        return failed(CheckFailure::StepFailed,
                      QObject::tr("下载更新列表文件失败:%1").arg(errorText));

    result.listBytes = buffer;
    result.plan = planUpdate(parseFileList(result.listBytes), context.installDir);

    if (context.mode == RunMode::Console)
        writeReport(true, !result.plan.isEmpty() && result.updateType != 0, QString());
    return result;
}
