#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QNetworkReply;

// How slow or large a transfer may be before it is given up. A limit of 0 is no limit.
struct TransferLimits
{
    int answerMs = 0;  // from the request until the answer's header block
    int silenceMs = 0; // without any byte, at any time
    // The least rate, measured over each window from the header block on. A transfer far below
    // it would take days; above it, a slow link still gets there.
    qint64 floorBytesPerSecond = 0;
    int floorWindowMs = 0;
    qint64 maxBodyBytes = 0; // announced or received

    // Waiting for the answer and for each next byte limited alike, no floor.
    static TransferLimits waiting(int ms);
    // The same limits with the floor every fetch of a run keeps.
    TransferLimits withFloor() const;
};

// The floor every fetch of a run keeps: a file trickled at a byte every ten seconds ends within
// two minutes, while 16 KiB/s, a poor mobile link, is far above it.
constexpr qint64 FloorBytesPerSecond = 1024;
constexpr int FloorWindowMs = 60000;

// Why a transfer below the floor ended, e.g. "slower than 1 KiB/s for 60 s".
QString floorText(qint64 bytesPerSecond, int windowMs);

// Watches one reply: ends it (abort) when a limit is passed, notes the first certificate
// problem, and words why the transfer failed. Lives no longer than the reply's owner needs it.
class TransferWatch : public QObject
{
    Q_OBJECT

public:
    TransferWatch(QNetworkReply *watched, const TransferLimits &transferLimits);

    // Ends the transfer for a reason found outside the watch.
    void giveUp(const QString &why) { end(why); }
    // True when the watch ended the transfer.
    bool endedTransfer() const { return !reason.isEmpty(); }
    // Why the reply failed: the passed limit, the first certificate problem, a refused
    // redirect, or Qt's own description, in that order.
    QString failureText() const;

private:
    void look();
    void noteAnswer();
    void noteBytes(qint64 bytesReceived);
    void end(const QString &why);

    QPointer<QNetworkReply> reply;
    const TransferLimits limits;
    QElapsedTimer clock;
    QTimer ticker;
    bool answered = false;
    qint64 lastActivityMs = 0;
    qint64 received = 0;
    qint64 windowStartMs = 0;
    qint64 windowStartBytes = 0;
    QString reason;
    QString firstSslError;
};
