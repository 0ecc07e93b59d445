#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers a modal dialog from inside its exec(): polls until a modal window accepted by
// `matches` is active, then runs `action` on it once. The poller dies with `owner`.
inline void answerModal(QObject *owner, std::function<bool(QWidget *)> matches,
                        std::function<void(QWidget *)> action)
{
    auto *poll = new QTimer(owner);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, owner, [poll, matches, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !matches(modal))
            return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

// The same for a known dialog.
inline void whenShown(QWidget *dialog, std::function<void()> action)
{
    answerModal(
        dialog, [dialog](QWidget *modal) { return modal == dialog; },
        [action](QWidget *) { action(); });
}
