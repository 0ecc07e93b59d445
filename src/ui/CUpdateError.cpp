#include "CUpdateError.h"

#include "ElidedLabel.h"
#include "ShownText.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QSizePolicy>
#include <QUrl>

CUpdateError::CUpdateError(QWidget *parent) : CUpdateDialog(parent)
{
    beginForm(QStringLiteral("CUpdateError"));
    retry = addButton("retry", QRect(380, 400, 100, 30));
    retry->setDefault(true);
    download = addButton("download", QRect(510, 400, 100, 30));
    label = addLabel("label", QRect(30, 300, 580, 40), 15);
    label->setSizePolicy(QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
    error = addElidedLabel("error", QRect(30, 370, 580, 24));

    setWindowTitle(QCoreApplication::translate("CUpdateError", "CUpdateError"));
    retry->setText(QCoreApplication::translate("CUpdateError", "再试一次"));
    download->setText(QCoreApplication::translate("CUpdateError", "官网下载"));
    label->setText(QCoreApplication::translate("CUpdateError", "更新失败"));
    error->setText(QCoreApplication::translate("CUpdateError", "网络错误：10012"));
    endForm();

    download->hide();
    connect(retry, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(download, &QAbstractButton::clicked, this, &CUpdateError::openDownloadPage);
}

CUpdateError::~CUpdateError() = default;

void CUpdateError::setDownloadUrl(const QString &url)
{
    downloadUrl = url;
    download->setVisible(!downloadUrl.isEmpty());
}

void CUpdateError::setMessage(const QString &title, const QString &text, bool showButtons)
{
    label->setText(shownText(title));
    error->setText(shownText(text));
    retry->setVisible(showButtons);
    download->setVisible(showButtons && !downloadUrl.isEmpty());
}

void CUpdateError::openDownloadPage()
{
    QDesktopServices::openUrl(QUrl(downloadUrl, QUrl::TolerantMode));
}
