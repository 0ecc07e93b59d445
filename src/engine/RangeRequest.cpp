#include "RangeRequest.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QVariant>

namespace {

constexpr int PartialStatus = 206;

} // namespace

QByteArray validatorOf(const QNetworkReply &reply)
{
    QByteArray etag = reply.rawHeader(QByteArrayLiteral("ETag")).trimmed();
    if (!etag.isEmpty() && !etag.startsWith("W/")) {
        return etag;
    }
    return reply.rawHeader(QByteArrayLiteral("Last-Modified")).trimmed();
}

void askForRest(QNetworkRequest &request, qint64 from, const QByteArray &validator)
{
    request.setRawHeader(QByteArrayLiteral("Range"),
                         QByteArrayLiteral("bytes=") + QByteArray::number(from) + '-');
    request.setRawHeader(QByteArrayLiteral("If-Range"), validator);
}

bool isRestOf(const QNetworkReply &reply, qint64 from, quint64 size, const QByteArray &validator)
{
    if (from <= 0 || static_cast<quint64>(from) >= size || validator.isEmpty() ||
        reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != PartialStatus) {
        return false;
    }
    const QByteArray expected = QByteArrayLiteral("bytes ") + QByteArray::number(from) + '-' +
                                QByteArray::number(size - 1) + '/' + QByteArray::number(size);
    return reply.rawHeader(QByteArrayLiteral("Content-Range")).trimmed() == expected &&
           validatorOf(reply) == validator;
}

bool wasCutShort(const QNetworkReply &reply, qint64 bodyBytes)
{
    if (reply.error() != QNetworkReply::NoError) {
        return true;
    }
    const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
    return announced.isValid() && bodyBytes < announced.toLongLong();
}
