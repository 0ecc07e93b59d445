#include "BlockingRequest.h"

#include "RequestPolicy.h"
#include "UserTexts.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>

bool blockingRequest(QNetworkAccessManager *manager, QUrl url, QByteArray &response,
                     QString &errorText, const TransferLimits &limits, HeaderMap requestHeaders,
                     QByteArray verb, QByteArray body, HeaderMap *responseHeaders)
{
    QNetworkRequest request(url);
    applyRequestPolicy(request);
    for (auto it = requestHeaders.cbegin(); it != requestHeaders.cend(); ++it)
        request.setRawHeader(it.key(), it.value());

    QNetworkReply *reply = manager->sendCustomRequest(request, verb, body);
    if (!reply) {
        errorText = userText(UserText::RequestFailed);
        return false;
    }
    const TransferWatch watch(reply, limits);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A reply that failed on the spot may already be finished; its finished signal would then
    // never reach the loop.
    if (!reply->isFinished())
        loop.exec();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A 200 whose body was cut short (the connection closed before the announced length)
    // finishes with an error, and its partial body must not pass as the resource.
    const bool complete = status == 200 && reply->error() == QNetworkReply::NoError;
    if (complete) {
        if (responseHeaders) {
            for (const QNetworkReply::RawHeaderPair &pair : reply->rawHeaderPairs())
                responseHeaders->insert(pair.first, pair.second);
        }
        response = reply->readAll();
    } else {
        errorText = watch.failureText();
    }
    reply->deleteLater();
    return complete;
}
