#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

struct UpdateContext;

// One download of the check: GET through the context's manager, 5 seconds at most, status 200
// only. On failure errorText holds the reason and `response` is left as it was.
bool fetchForCheck(UpdateContext &context, const QUrl &url, QByteArray &response,
                   QString &errorText);
