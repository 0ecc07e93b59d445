#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// A host-application stand-in: a shell script that records its working directory and its
// arguments, one per line, in "<script>.record".
class HostStub
{
public:
    explicit HostStub(const QString &scriptPath) : script(scriptPath) {}

    bool write() const
    {
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        // Written to a side file and renamed, so a reader never sees half a record.
        file.write("#!/bin/sh\n"
                   "{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$0.part\"\n"
                   "mv \"$0.part\" \"$0.record\"\n");
        file.close();
        return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }

    QString path() const { return script; }

    // Working directory, then the arguments; empty until the stub has run.
    QStringList record() const
    {
        QFile file(script + QStringLiteral(".record"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool started() const { return !record().isEmpty(); }

private:
    QString script;
};
