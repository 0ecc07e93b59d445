#include "CUpdateProgress.h"

#include "CDownloadThread.h"
#include "ElidedLabel.h"
#include "ShownText.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>

CUpdateProgress::CUpdateProgress(CDownloadThread *thread, QWidget *parent) : CUpdateDialog(parent)
{
    beginForm(QStringLiteral("CUpdateProgress"));
    label = addLabel("label", QRect(30, 280, 580, 40), 15);
    total = addProgressBar("total", QRect(30, 330, 580, 5));
    progress = addProgressBar("progress", QRect(30, 370, 580, 5));
    desc = addElidedLabel("desc", QRect(30, 340, 580, 24));
    cancel = addButton("cancel", QRect(510, 400, 100, 30));

    label->setText(QCoreApplication::translate("CUpdateProgress", "正在更新"));
    desc->setText(QCoreApplication::translate("CUpdateProgress", "正在下载更新文件"));
    cancel->setText(QCoreApplication::translate("CUpdateProgress", "取消"));
    endForm();

    connect(cancel, &QAbstractButton::clicked, thread, &QThread::quit);
    connect(thread, &CDownloadThread::downloadStarted, this, &CUpdateProgress::onDownloadStarted);
    // The lower bar shows the bytes of the whole update: with several files on their way at
    // once, the bytes of one of them say little.
    connect(thread, &CDownloadThread::updateProgress, this, &CUpdateProgress::onDownloadProgress);
    connect(thread, &CDownloadThread::downloadFail, this, &CUpdateProgress::onDownloadFail);
    connect(thread, &QThread::finished, this, &QDialog::accept);
    thread->start(QThread::InheritPriority);
}

CUpdateProgress::~CUpdateProgress() = default;

void CUpdateProgress::onDownloadStarted(QFileInfo filename, int current, int count)
{
    if (count <= 0) {
        desc->setText(tr("total为0"));
        return;
    }
    total->setValue(current * 100 / count);
    desc->setText(tr("正在下载更新文件%1").arg(filename.fileName()));
}

void CUpdateProgress::onDownloadProgress(int64_t bytesReceived, int64_t bytesTotal)
{
    if (bytesTotal <= 0) {
        desc->setText(tr("bytesTotal为0"));
        return;
    }
    progress->setValue(int(bytesReceived * 100 / bytesTotal));
}

void CUpdateProgress::onDownloadFail(QFileInfo, QString errormsg)
{
    desc->setText(shownText(errormsg));
}

void CUpdateProgress::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        cancel->click();
        event->accept();
        return;
    }
    CUpdateDialog::keyPressEvent(event);
}

void CUpdateProgress::closeEvent(QCloseEvent *event)
{
    event->ignore();
    cancel->click();
}
