#include "ProgressDisplay.h"

#include <QTextStream>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Often enough to look alive, rarely enough that a run of tiny files is not slowed down.
constexpr qint64 RedrawMilliseconds = 200;

QString mebibytes(quint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

} // namespace

ProgressDisplay::ProgressDisplay(QTextStream &err, int totalFiles, quint64 totalBytes, bool enabled)
    : m_err(err), m_totalFiles(totalFiles), m_totalBytes(totalBytes), m_enabled(enabled)
{}

bool ProgressDisplay::standardErrorIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void ProgressDisplay::update(int filesDone, quint64 bytesDone)
{
    if (!m_enabled) {
        return;
    }
    if (m_drawn && m_sinceDraw.elapsed() < RedrawMilliseconds && filesDone < m_totalFiles) {
        return;
    }
    draw(filesDone, bytesDone);
}

void ProgressDisplay::finish()
{
    if (m_drawn) {
        m_err << '\n';
        m_err.flush();
    }
}

void ProgressDisplay::draw(int filesDone, quint64 bytesDone)
{
    m_err << QStringLiteral("\r%1/%2 files, %3/%4 MiB")
                 .arg(filesDone)
                 .arg(m_totalFiles)
                 .arg(mebibytes(bytesDone), mebibytes(m_totalBytes));
    m_err.flush();
    m_drawn = true;
    m_sinceDraw.start();
}
