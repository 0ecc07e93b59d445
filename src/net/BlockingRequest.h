#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// Raw header name to value, ordered byte-wise (case-sensitive).
using HeaderMap = QMap<QByteArray, QByteArray>;

// Performs one request in a local event loop and returns true only for a complete reply with
// status 200. timeoutSeconds limits the whole exchange; 0 or less waits without limit.
bool blockingRequest(QNetworkAccessManager *manager, QUrl url, QByteArray &response,
                     QString &errorText, int timeoutSeconds, HeaderMap requestHeaders,
                     QByteArray verb, QByteArray body, HeaderMap *responseHeaders);
