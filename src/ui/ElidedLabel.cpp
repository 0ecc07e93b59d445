#include "ElidedLabel.h"

#include <QAction>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeySequence>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent)
{
    // Paths and server messages may contain "<" or "&"; they are shown as they are.
    setTextFormat(Qt::PlainText);

    auto *copyAction = new QAction(tr("复制"), this);
    copyAction->setShortcut(QKeySequence::Copy);
    // Stated on purpose: the label never takes the focus, the window's buttons hold it.
    copyAction->setShortcutContext(Qt::WindowShortcut);
    connect(copyAction, &QAction::triggered, this, &ElidedLabel::copy);
    addAction(copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

ElidedLabel::~ElidedLabel() = default;

QString ElidedLabel::drawnText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textRect().width());
}

bool ElidedLabel::isElided() const
{
    return drawnText() != text();
}

void ElidedLabel::copy() const
{
    QGuiApplication::clipboard()->setText(text());
}

bool ElidedLabel::event(QEvent *event)
{
    // Asked at the moment the tooltip is due, so that a later text, font or width can never
    // leave a stale one behind. A text that is shown whole needs no tooltip repeating it.
    if (event->type() == QEvent::ToolTip && isElided()) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    const auto flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment()));
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, textRect(), flags, palette(), isEnabled(), drawnText(),
                          foregroundRole());
}

QRect ElidedLabel::textRect() const
{
    return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}
