#include "DialogChrome.h"

#include <QDialog>
#include <QPainter>
#include <QPixmap>

void registerUiResources()
{
    // The collection lives in a static library; naming its initialiser here makes the linker
    // keep it in every program that shows a dialog, and registering twice is harmless.
    Q_INIT_RESOURCE(resources);
}

void makeFrameless(QDialog *dialog)
{
    dialog->setWindowFlags(dialog->windowFlags() | Qt::FramelessWindowHint);
}

void paintBackground(QWidget *widget)
{
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPixmap(QPointF(0.0, 0.0), QPixmap(QStringLiteral(":/update_bg")));
    painter.end();
}
