#pragma once

#include <QElapsedTimer>
#include <QString>

class QTextStream;

// Files and bytes done, redrawn in place on one line of standard error. Shown only on a
// terminal, so logs and pipes stay clean.
class ProgressDisplay
{
public:
    ProgressDisplay(QTextStream &err, int totalFiles, quint64 totalBytes, bool enabled);

    static bool standardErrorIsTerminal();

    void update(int filesDone, quint64 bytesDone);
    // Ends the progress line, if one was drawn.
    void finish();

private:
    void draw(int filesDone, quint64 bytesDone);

    QTextStream &m_err;
    const int m_totalFiles;
    const quint64 m_totalBytes;
    const bool m_enabled;
    bool m_drawn = false;
    QElapsedTimer m_sinceDraw;
};
