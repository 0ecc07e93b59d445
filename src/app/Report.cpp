#include "Report.h"

#include "CUpdateError.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <cstdio>

QByteArray reportBytes(bool success, bool update, const QString &errormsg)
{
    QJsonObject report;
    report.insert(QStringLiteral("errormsg"), errormsg);
    report.insert(QStringLiteral("success"), success);
    report.insert(QStringLiteral("update"), update);
    return QJsonDocument(report).toJson(QJsonDocument::Compact);
}

void writeReport(bool success, bool update, QString errormsg)
{
    const QByteArray bytes = reportBytes(success, update, errormsg);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

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
