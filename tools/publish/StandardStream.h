#pragma once

#include <QIODevice>
#include <QTextStream>

#include <cstdio>
#include <memory>

// The tool's standard output or standard error as a text stream. On Windows the C runtime would
// encode the text in the ANSI code page and print "??" for every name outside it, so a console
// gets the text as UTF-16 through WriteConsoleW and a file or pipe gets UTF-8. Elsewhere the
// text is written in the locale's encoding, as QTextStream(FILE *) does.
class StandardStream
{
public:
    explicit StandardStream(FILE *file);

    QTextStream &text() { return m_text; }

private:
    // Declared before the stream, which flushes into it when destroyed.
    std::unique_ptr<QIODevice> m_device;
    QTextStream m_text;
};
