#pragma once

#include "CUpdateDialog.h"

class QLabel;
class QPushButton;

// Asks before an optional update: "立即更新" (exec() returns 1) or "以后再说" (0).
class CUpdateNotice : public CUpdateDialog
{
    Q_OBJECT

public:
    explicit CUpdateNotice(QWidget *parent = nullptr);
    ~CUpdateNotice() override;

    void setVersion(const QString &text);

private:
    QPushButton *update = nullptr;
    QPushButton *skip = nullptr;
    QLabel *version = nullptr;
};
