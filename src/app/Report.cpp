#include "Report.h"

#include "CUpdateError.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

bool launchHost(QString exePath)
{
    if (exePath.isEmpty())
        return false;
    const QStringList arguments{QCoreApplication::applicationFilePath(),
                                QStringLiteral("no_check")};
    return QProcess::startDetached(exePath, arguments);
}

bool showError(CUpdateError &dialog, QString title, QString text, bool showButtons)
{
    dialog.setMessage(title, text, showButtons);
    return dialog.exec() == 1;
}
