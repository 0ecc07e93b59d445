#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

// A host-application stand-in: a copy of the built update_hoststub program, which records its
// working directory and its arguments, one per line, in "<program>.record".
class HostStub
{
public:
    explicit HostStub(const QString &programPath) : program(programPath) {}

    // Copies the stub to the path, under the name the test chose (e.g. "Host.exe").
    bool write() const
    {
        QFile::remove(program);
        if (!QFile::copy(QStringLiteral(HOST_STUB_EXE), program))
            return false;
        QFile file(program);
        return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }

    QString path() const { return program; }

    // Working directory (with '/' separators), then the arguments; empty until the stub has run.
    QStringList record() const
    {
        QFile file(program + QStringLiteral(".record"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString text = QString::fromUtf8(file.readAll());
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        if (text.isEmpty())
            return {};
        // Empty lines are kept: an empty argument is still an argument.
        QStringList lines = text.split(QLatin1Char('\n'));
        lines[0] = QDir::fromNativeSeparators(lines[0]);
        return lines;
    }
    bool started() const { return !record().isEmpty(); }

private:
    QString program;
};
