#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

// A real static HTTP server (Python's http.server) serving one directory on 127.0.0.1, as a
// vendor would serve a publication. Stopped by its own process when the object goes.
class StaticServer
{
public:
    explicit StaticServer(const QString &directory);
    ~StaticServer();

    bool isRunning() const { return port != 0; }
    QString url() const; // "http://127.0.0.1:PORT/"
    // Paths of the GET requests served so far, in order.
    QStringList requestedPaths();

private:
    QTemporaryFile logFile; // the server's request log
    QProcess process;
    int port = 0;
};
