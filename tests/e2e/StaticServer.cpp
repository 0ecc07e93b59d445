#include "StaticServer.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

StaticServer::StaticServer(const QString &directory)
{
    logFile.open();
    process.setStandardErrorFile(logFile.fileName());
    process.start(QStringLiteral(PYTHON3_EXECUTABLE),
                  {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                   QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                   QStringLiteral("--directory"), directory, QStringLiteral("0")});
    if (!process.waitForStarted())
        return;
    const QRegularExpression serving(QStringLiteral("port (\\d+)"));
    QByteArray banner;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process.waitForReadyRead(int(deadline.remainingTime()))) {
        banner += process.readAllStandardOutput();
        const QRegularExpressionMatch match = serving.match(QString::fromUtf8(banner));
        if (match.hasMatch()) {
            port = match.captured(1).toInt();
            break;
        }
    }
}

StaticServer::~StaticServer()
{
    process.kill();
    process.waitForFinished();
}

QString StaticServer::url() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(port);
}

QStringList StaticServer::requestedPaths()
{
    logFile.seek(0);
    const QByteArray log = logFile.readAll();
    QStringList paths;
    const QRegularExpression request(QStringLiteral("\"GET (\\S+) HTTP"));
    auto it = request.globalMatch(QString::fromUtf8(log));
    while (it.hasNext())
        paths.append(it.next().captured(1));
    return paths;
}
