#pragma once

#include "CUpdateDialog.h"

#include <QFileInfo>
#include <QString>

#include <cstdint>

class CDownloadThread;
class ElidedLabel;
class QLabel;
class QProgressBar;
class QPushButton;

// Shows a download run: the share of files done, the share of the current file and a status
// line. It starts the worker's thread itself and closes once that thread has finished.
class CUpdateProgress : public CUpdateDialog
{
    Q_OBJECT

public:
    CUpdateProgress(CDownloadThread *thread, QWidget *parent = nullptr);
    ~CUpdateProgress() override;

    void onDownloadStarted(QFileInfo filename, int current, int count);
    void onDownloadProgress(int64_t bytesReceived, int64_t bytesTotal);
    void onDownloadFail(QFileInfo filename, QString errormsg);

protected:
    // Escape and the close command act like "取消": the dialog still waits for the thread.
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *label = nullptr;
    QProgressBar *total = nullptr;
    QProgressBar *progress = nullptr;
    ElidedLabel *desc = nullptr;
    QPushButton *cancel = nullptr;
};
