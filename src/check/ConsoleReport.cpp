#include "ConsoleReport.h"

#include <QJsonDocument>
#include <QJsonObject>

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
