#include "CUpdateNotice.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRect>

CUpdateNotice::CUpdateNotice(QWidget *parent) : CUpdateDialog(parent)
{
    beginForm(QStringLiteral("CUpdateNoticeClass"));
    update = addButton("update", QRect(380, 400, 100, 30));
    update->setDefault(true);
    skip = addButton("skip", QRect(510, 400, 100, 30));
    version = addLabel("version", QRect(30, 280, 580, 40), 15);

    setWindowTitle(QCoreApplication::translate("CUpdateNoticeClass", "CUpdateNotice"));
    update->setText(QCoreApplication::translate("CUpdateNoticeClass", "立即更新"));
    skip->setText(QCoreApplication::translate("CUpdateNoticeClass", "以后再说"));
    version->setText(QCoreApplication::translate("CUpdateNoticeClass", "发现新版本：3.0.2.0"));
    endForm();

    connect(update, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(skip, &QAbstractButton::clicked, this, &QDialog::reject);
}

CUpdateNotice::~CUpdateNotice() = default;

void CUpdateNotice::setVersion(const QString &text)
{
    version->setText(tr("发现新版本：%1").arg(text));
}
