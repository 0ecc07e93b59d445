#include "CUpdateDialog.h"

#include "ElidedLabel.h"
#include "UiResources.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>
#include <QString>

CUpdateDialog::CUpdateDialog(QWidget *parent) : QDialog(parent)
{
    // Every program that shows a dialog thereby links the pictures, even one that never set
    // the window icon.
    registerUiResources();
}

CUpdateDialog::~CUpdateDialog() = default;

void CUpdateDialog::beginForm(const QString &formName)
{
    if (objectName().isEmpty())
        setObjectName(formName);
    resize(640, 455);
}

void CUpdateDialog::endForm()
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
}

QPushButton *CUpdateDialog::addButton(const char *name, const QRect &geometry)
{
    auto *button = new QPushButton(this);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}

QLabel *CUpdateDialog::addLabel(const char *name, const QRect &geometry, int pointSize)
{
    auto *label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    if (pointSize > 0) {
        QFont font;
        font.setPointSize(pointSize);
        label->setFont(font);
    }
    return label;
}

ElidedLabel *CUpdateDialog::addElidedLabel(const char *name, const QRect &geometry)
{
    auto *label = new ElidedLabel(this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

QProgressBar *CUpdateDialog::addProgressBar(const char *name, const QRect &geometry)
{
    auto *bar = new QProgressBar(this);
    bar->setObjectName(QLatin1String(name));
    bar->setGeometry(geometry);
    bar->setAlignment(Qt::AlignJustify | Qt::AlignVCenter);
    bar->setTextVisible(false);
    return bar;
}

void CUpdateDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPixmap(QPointF(0.0, 0.0), QPixmap(QStringLiteral(":/update_bg")));
}
