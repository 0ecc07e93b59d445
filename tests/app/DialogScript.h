#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

// Plays the user's part in an update run: answers the modal dialogs that come up, in order,
// and records what each showed. The progress dialog is watched but left alone unless a step
// names it, because it closes by itself.
class DialogScript : public QObject
{
public:
    struct Seen
    {
        QString dialog;       // class name
        QString headline;     // error dialog: its title; notice: its version line
        QString text;         // error dialog: its detail line
        bool buttons = false; // error dialog: "再试一次" visible
    };
    using Action = std::function<void(QWidget *)>;

    DialogScript()
    {
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, &DialogScript::check);
        poll.start();
    }

    // Expects a dialog of `className` next and runs `action` on it.
    void expect(const char *className, Action action)
    {
        steps.append({QLatin1String(className), std::move(action)});
    }

    static Action click(const char *button)
    {
        return [button](QWidget *dialog) {
            dialog->findChild<QPushButton *>(QLatin1String(button))->click();
        };
    }
    static Action escape()
    {
        return [](QWidget *dialog) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(dialog, &press);
        };
    }

    QList<Seen> seen;
    QStringList unexpected;
    int remainingSteps() const { return steps.size(); }

private:
    void check()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        const QString name = QLatin1String(modal->metaObject()->className());
        if (name == QLatin1String("CUpdateProgress") &&
            (steps.isEmpty() || steps.first().className != name))
            return;
        Seen record{name, text(modal, "label"), text(modal, "error"), false};
        if (name == QLatin1String("CUpdateNotice"))
            record.headline = text(modal, "version");
        if (auto *retry = modal->findChild<QPushButton *>(QStringLiteral("retry")))
            record.buttons = !retry->isHidden();
        seen.append(record);

        if (steps.isEmpty() || steps.first().className != name) {
            // Not part of the script: note it and get it out of the way.
            unexpected.append(name);
            escape()(modal);
            return;
        }
        const Step step = steps.takeFirst();
        step.action(modal);
    }

    static QString text(QWidget *dialog, const char *label)
    {
        auto *widget = dialog->findChild<QLabel *>(QLatin1String(label));
        return widget ? widget->text() : QString();
    }

    struct Step
    {
        QString className;
        Action action;
    };
    QList<Step> steps;
    QTimer poll;
};
