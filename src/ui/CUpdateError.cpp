#include "CUpdateError.h"

#include "DialogChrome.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QSizePolicy>
#include <QUrl>

CUpdateError::CUpdateError(QWidget *parent) : QDialog(parent)
{
    buildForm();
    makeFrameless(this);
    download->hide();
    connect(retry, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(download, &QAbstractButton::clicked, this, &CUpdateError::openDownloadPage);
}

CUpdateError::~CUpdateError() = default;

void CUpdateError::buildForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("CUpdateError"));
    resize(640, 455);

    retry = new QPushButton(this);
    retry->setObjectName(QStringLiteral("retry"));
    retry->setGeometry(QRect(380, 400, 100, 30));
    retry->setDefault(true);

    download = new QPushButton(this);
    download->setObjectName(QStringLiteral("download"));
    download->setGeometry(QRect(510, 400, 100, 30));

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(QRect(30, 300, 580, 40));
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    policy.setHeightForWidth(label->sizePolicy().hasHeightForWidth());
    label->setSizePolicy(policy);
    QFont headline;
    headline.setPointSize(15);
    label->setFont(headline);

    error = new QLabel(this);
    error->setObjectName(QStringLiteral("error"));
    error->setGeometry(QRect(30, 370, 580, 24));

    setWindowTitle(QCoreApplication::translate("CUpdateError", "CUpdateError"));
    retry->setText(QCoreApplication::translate("CUpdateError", "再试一次"));
    download->setText(QCoreApplication::translate("CUpdateError", "官网下载"));
    label->setText(QCoreApplication::translate("CUpdateError", "更新失败"));
    error->setText(QCoreApplication::translate("CUpdateError", "网络错误：10012"));
}

void CUpdateError::setDownloadUrl(const QString &url)
{
    downloadUrl = url;
    download->setVisible(!downloadUrl.isEmpty());
}

void CUpdateError::setMessage(const QString &title, const QString &text, bool showButtons)
{
    label->setText(title);
    error->setText(text);
    retry->setVisible(showButtons);
    download->setVisible(showButtons && !downloadUrl.isEmpty());
}

void CUpdateError::openDownloadPage()
{
    QDesktopServices::openUrl(QUrl(downloadUrl, QUrl::TolerantMode));
}

void CUpdateError::paintEvent(QPaintEvent *)
{
    paintBackground(this);
}
