#include "CUpdateProgress.h"

#include "CDownloadThread.h"
#include "DialogChrome.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

CUpdateProgress::CUpdateProgress(CDownloadThread *thread, QWidget *parent) : QDialog(parent)
{
    buildForm();
    makeFrameless(this);
    connect(cancel, &QAbstractButton::clicked, thread, &QThread::quit);
    connect(thread, &CDownloadThread::downloadStarted, this, &CUpdateProgress::onDownloadStarted);
    connect(thread, &CDownloadThread::downloadProgress, this, &CUpdateProgress::onDownloadProgress);
    connect(thread, &CDownloadThread::downloadFail, this, &CUpdateProgress::onDownloadFail);
    connect(thread, &QThread::finished, this, &QDialog::accept);
    thread->start(QThread::InheritPriority);
}

CUpdateProgress::~CUpdateProgress() = default;

void CUpdateProgress::buildForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("CUpdateProgress"));
    resize(640, 455);

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(QRect(30, 280, 580, 40));
    QFont headline;
    headline.setPointSize(15);
    label->setFont(headline);

    const auto makeBar = [this](const char *name, int y) {
        auto *bar = new QProgressBar(this);
        bar->setObjectName(QLatin1String(name));
        bar->setGeometry(QRect(30, y, 580, 5));
        bar->setAlignment(Qt::AlignJustify | Qt::AlignVCenter);
        bar->setTextVisible(false);
        return bar;
    };
    total = makeBar("total", 330);
    progress = makeBar("progress", 370);

    desc = new QLabel(this);
    desc->setObjectName(QStringLiteral("desc"));
    desc->setGeometry(QRect(30, 340, 580, 24));

    cancel = new QPushButton(this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setGeometry(QRect(510, 400, 100, 30));

    label->setText(QCoreApplication::translate("CUpdateProgress", "正在更新"));
    desc->setText(QCoreApplication::translate("CUpdateProgress", "正在下载更新文件"));
    cancel->setText(QCoreApplication::translate("CUpdateProgress", "取消"));
}

void CUpdateProgress::onDownloadStarted(QFileInfo filename, int current, int total)
{
    if (total <= 0) {
        desc->setText(QStringLiteral("total为0"));
        return;
    }
    this->total->setValue(current * 100 / total);
    desc->setText(tr("正在下载更新文件%1").arg(filename.fileName()));
    progress->setValue(0);
}

void CUpdateProgress::onDownloadProgress(int64_t bytesReceived, int64_t bytesTotal)
{
    if (bytesTotal <= 0) {
        desc->setText(QStringLiteral("bytesTotal为0"));
        return;
    }
    progress->setValue(int(bytesReceived * 100 / bytesTotal));
}

void CUpdateProgress::onDownloadFail(QFileInfo, QString errormsg)
{
    desc->setText(errormsg);
}

void CUpdateProgress::paintEvent(QPaintEvent *)
{
    paintBackground(this);
}

void CUpdateProgress::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        cancel->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CUpdateProgress::closeEvent(QCloseEvent *event)
{
    event->ignore();
    cancel->click();
}
