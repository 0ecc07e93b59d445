#pragma once

#include "CUpdateDialog.h"

#include <QString>

class ElidedLabel;
class QLabel;
class QPushButton;

// The error dialog: a headline, a detail line, "再试一次" (exec() returns 1) and, when a
// download page is configured, "官网下载", which opens that page and keeps the dialog open.
class CUpdateError : public CUpdateDialog
{
    Q_OBJECT

public:
    explicit CUpdateError(QWidget *parent = nullptr);
    ~CUpdateError() override;

    void setDownloadUrl(const QString &url);
    void setMessage(const QString &title, const QString &text, bool showButtons);
    void openDownloadPage();

private:
    QPushButton *retry = nullptr;
    QPushButton *download = nullptr;
    QLabel *label = nullptr;
    ElidedLabel *error = nullptr;
    QString downloadUrl;
};
