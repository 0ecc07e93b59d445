#pragma once

#include <QCoreApplication>
#include <QString>

// Why the installation step, or putting the installation back, stopped: the user's text and
// the installed path it concerns.
struct StepFailure
{
    QString path;
    QString text;
};

// The step's texts belong to the download worker that runs it.
inline QString installText(const char *text)
{
    return QCoreApplication::translate("CDownloadThread", text);
}
