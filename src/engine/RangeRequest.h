#pragma once

#include <QByteArray>
#include <QtGlobal>

class QNetworkReply;
class QNetworkRequest;

// The HTTP side of continuing a download that an earlier attempt left unfinished.

// What names the entity an answer carries: its ETag, or its Last-Modified date when the ETag is
// missing or weak (a weak one may not be used to ask for a range). Empty when it has neither.
QByteArray validatorOf(const QNetworkReply &reply);

// Asks for the bytes from `from` on, but only while the entity still has `validator`; a server
// whose copy changed answers with the whole new file instead.
void askForRest(QNetworkRequest &request, qint64 from, const QByteArray &validator);

// Whether the answer is a 206 holding exactly the bytes from `from` to the end of a file of
// `size` bytes, of the entity named by `validator`.
bool isRestOf(const QNetworkReply &reply, qint64 from, quint64 size, const QByteArray &validator);

// Whether the body stopped before its end: an error, or fewer bytes than the answer announced.
// A body that ends where its length said is whole, whatever its size.
bool wasCutShort(const QNetworkReply &reply, qint64 bodyBytes);
