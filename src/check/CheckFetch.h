#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

struct UpdateContext;

// The most each fetch of the check accepts: a larger answer is no description, signature or
// list of ours, and would only cost memory.
constexpr qint64 DescriptionCapBytes = qint64(1) << 20;
constexpr qint64 SignatureCapBytes = qint64(4) << 10;
constexpr qint64 ListCapBytes = qint64(64) << 20;

// One download of the check: GET through the context's manager, status 200 only. The answer
// must start within 5 seconds, no silence may last as long, the rate keeps above the floor and
// the body within capBytes. On failure errorText holds the reason and `response` is left as it
// was.
bool fetchForCheck(UpdateContext &context, const QUrl &url, qint64 capBytes, QByteArray &response,
                   QString &errorText);
