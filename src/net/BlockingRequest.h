#pragma once

#include "TransferWatch.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// Raw header name to value, ordered byte-wise (case-sensitive).
using HeaderMap = QMap<QByteArray, QByteArray>;

// Performs one request in a local event loop and returns true only for a complete reply with
// status 200 within the limits. On failure errorText says why and the outputs are left as they
// were.
bool blockingRequest(QNetworkAccessManager *manager, QUrl url, QByteArray &response,
                     QString &errorText, const TransferLimits &limits, HeaderMap requestHeaders,
                     QByteArray verb, QByteArray body, HeaderMap *responseHeaders);
