#include "TransferWatch.h"

#include "UserTexts.h"

#include <QNetworkReply>
#include <QVariant>

#ifndef QT_NO_SSL
#include <QSslError>
#endif

#include <algorithm>
#include <initializer_list>

namespace {

// Often enough that a limit is noticed within a quarter of itself, seldom enough to cost nothing.
int tickMs(const TransferLimits &limits)
{
    int shortest = 0;
    for (int ms : {limits.answerMs, limits.silenceMs, limits.floorWindowMs}) {
        if (ms > 0 && (shortest == 0 || ms < shortest))
            shortest = ms;
    }
    return shortest == 0 ? 0 : std::clamp(shortest / 4, 20, 1000);
}

QString sizeText(qint64 bytes)
{
    constexpr qint64 KiB = 1024;
    constexpr qint64 MiB = KiB * KiB;
    return bytes % MiB == 0   ? QStringLiteral("%1 MiB").arg(bytes / MiB)
           : bytes % KiB == 0 ? QStringLiteral("%1 KiB").arg(bytes / KiB)
                              : QStringLiteral("%1 bytes").arg(bytes);
}

QString durationText(int ms)
{
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000) : QStringLiteral("%1 ms").arg(ms);
}

} // namespace

QString floorText(qint64 bytesPerSecond, int windowMs)
{
    return QStringLiteral("slower than %1/s for %2")
        .arg(sizeText(bytesPerSecond), durationText(windowMs));
}

TransferLimits TransferLimits::waiting(int ms)
{
    TransferLimits limits;
    limits.answerMs = ms;
    limits.silenceMs = ms;
    return limits;
}

TransferLimits TransferLimits::withFloor() const
{
    TransferLimits limits = *this;
    limits.floorBytesPerSecond = FloorBytesPerSecond;
    limits.floorWindowMs = FloorWindowMs;
    return limits;
}

TransferWatch::TransferWatch(QNetworkReply *watched, const TransferLimits &transferLimits)
    : reply(watched), limits(transferLimits)
{
    clock.start();
    connect(reply, &QNetworkReply::metaDataChanged, this, &TransferWatch::noteAnswer);
    connect(reply, &QNetworkReply::redirected, this, [this] { lastActivityMs = clock.elapsed(); });
    // Qt holds back progress reports that follow each other closely, the last one too; every
    // arrival is a readyRead, and what waits unread counts as received.
    connect(reply, &QNetworkReply::readyRead, this,
            [this] { noteBytes(std::max(received, reply->bytesAvailable())); });
    connect(reply, &QNetworkReply::downloadProgress, this, &TransferWatch::noteBytes);
#ifndef QT_NO_SSL
    connect(reply, &QNetworkReply::sslErrors, this, [this](const QList<QSslError> &errors) {
        if (firstSslError.isEmpty() && !errors.isEmpty())
            firstSslError = errors.first().errorString();
    });
#endif
    connect(reply, &QNetworkReply::finished, &ticker, &QTimer::stop);
    connect(&ticker, &QTimer::timeout, this, &TransferWatch::look);
    const int interval = tickMs(limits);
    if (interval > 0)
        ticker.start(interval);
}

QString TransferWatch::failureText() const
{
    if (!reason.isEmpty())
        return reason;
    if (!firstSslError.isEmpty())
        return firstSslError;
    if (!reply)
        return QString();
    if (reply->error() == QNetworkReply::InsecureRedirectError)
        return QStringLiteral("redirected from https to plain http, which is refused");
    return reply->errorString();
}

void TransferWatch::noteAnswer()
{
    lastActivityMs = clock.elapsed();
    if (!answered) {
        answered = true;
        windowStartMs = lastActivityMs;
        windowStartBytes = received;
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (limits.maxBodyBytes > 0 && length.isValid() && length.toLongLong() > limits.maxBodyBytes)
        end(QStringLiteral("the answer is larger than %1").arg(sizeText(limits.maxBodyBytes)));
}

void TransferWatch::noteBytes(qint64 bytesReceived)
{
    lastActivityMs = clock.elapsed();
    received = std::max(received, bytesReceived);
    if (limits.maxBodyBytes > 0 && received > limits.maxBodyBytes)
        end(QStringLiteral("the answer is larger than %1").arg(sizeText(limits.maxBodyBytes)));
}

void TransferWatch::look()
{
    if (!reply || reply->isFinished()) {
        ticker.stop();
        return;
    }
    const qint64 now = clock.elapsed();
    if (!answered && limits.answerMs > 0 && now >= limits.answerMs) {
        end(userText(UserText::NetworkTimeout));
        return;
    }
    if (limits.silenceMs > 0 && now - lastActivityMs >= limits.silenceMs) {
        end(userText(UserText::NetworkTimeout));
        return;
    }
    if (!answered || limits.floorBytesPerSecond <= 0 || now - windowStartMs < limits.floorWindowMs)
        return;
    const qint64 windowMs = now - windowStartMs;
    if ((received - windowStartBytes) * 1000 < limits.floorBytesPerSecond * windowMs) {
        end(floorText(limits.floorBytesPerSecond, limits.floorWindowMs));
        return;
    }
    windowStartMs = now;
    windowStartBytes = received;
}

void TransferWatch::end(const QString &why)
{
    if (!reason.isEmpty() || !reply || reply->isFinished())
        return;
    reason = why;
    ticker.stop();
    reply->abort();
}
