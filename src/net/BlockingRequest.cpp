#include "BlockingRequest.h"

#include "RedirectPolicy.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <climits>

bool blockingRequest(QNetworkAccessManager *manager, QUrl url, QByteArray &response,
                     QString &errorText, int timeoutSeconds, HeaderMap requestHeaders,
                     QByteArray verb, QByteArray body, HeaderMap *responseHeaders)
{
    QNetworkRequest request(url);
    applyRedirectPolicy(request);
    for (auto it = requestHeaders.cbegin(); it != requestHeaders.cend(); ++it)
        request.setRawHeader(it.key(), it.value());

    QNetworkReply *reply = manager->sendCustomRequest(request, verb, body);
    if (!reply) {
        errorText = QObject::tr("发送请求失败");
        return false;
    }

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (timeoutSeconds > 0) {
        // Limits beyond QTimer's range (about 24 days) are as good as none; clamping avoids
        // the signed overflow of the multiplication.
        const qint64 limitMs = std::min<qint64>(qint64(timeoutSeconds) * 1000, INT_MAX);
        QTimer::singleShot(int(limitMs), &loop, &QEventLoop::quit);
    }
    // A reply that failed on the spot may already be finished; its finished signal would then
    // never reach the loop.
    if (!reply->isFinished())
        loop.exec();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A 200 whose body was cut short (the connection closed before the announced length)
    // finishes with an error, and its partial body must not pass as the resource.
    if (reply->isFinished() && status == 200 && reply->error() == QNetworkReply::NoError) {
        if (responseHeaders) {
            for (const QNetworkReply::RawHeaderPair &pair : reply->rawHeaderPairs())
                responseHeaders->insert(pair.first, pair.second);
        }
        response = reply->readAll();
        reply->deleteLater();
        return true;
    }

    if (reply->isFinished()) {
        errorText = reply->errorString();
    } else {
        errorText = QObject::tr("网络超时");
        // Stop the transfer now rather than when the deferred delete runs, which may be much
        // later if the caller does not return to an event loop soon.
        QObject::disconnect(reply, nullptr, &loop, nullptr);
        reply->abort();
    }
    reply->deleteLater();
    return false;
}
