#include "CUpdateNotice.h"

#include "DialogChrome.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QPushButton>

CUpdateNotice::CUpdateNotice(QWidget *parent) : QDialog(parent)
{
    buildForm();
    makeFrameless(this);
    connect(update, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(skip, &QAbstractButton::clicked, this, &QDialog::reject);
}

CUpdateNotice::~CUpdateNotice() = default;

void CUpdateNotice::buildForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("CUpdateNoticeClass"));
    resize(640, 455);

    update = new QPushButton(this);
    update->setObjectName(QStringLiteral("update"));
    update->setGeometry(QRect(380, 400, 100, 30));
    update->setDefault(true);

    skip = new QPushButton(this);
    skip->setObjectName(QStringLiteral("skip"));
    skip->setGeometry(QRect(510, 400, 100, 30));

    version = new QLabel(this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(QRect(30, 280, 580, 40));
    QFont headline;
    headline.setPointSize(15);
    version->setFont(headline);

    setWindowTitle(QCoreApplication::translate("CUpdateNoticeClass", "CUpdateNotice"));
    update->setText(QCoreApplication::translate("CUpdateNoticeClass", "立即更新"));
    skip->setText(QCoreApplication::translate("CUpdateNoticeClass", "以后再说"));
    version->setText(QCoreApplication::translate("CUpdateNoticeClass", "发现新版本：3.0.2.0"));
}

void CUpdateNotice::setVersion(const QString &text)
{
    version->setText(tr("发现新版本：%1").arg(text));
}

void CUpdateNotice::paintEvent(QPaintEvent *)
{
    paintBackground(this);
}
