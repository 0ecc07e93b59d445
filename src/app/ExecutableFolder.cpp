#include "ExecutableFolder.h"

#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>

#include <vector>
#endif

QString executableFolder()
{
#ifdef Q_OS_WIN
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0) {
            return QString();
        }
        if (length < name.size()) {
            return QFileInfo(QString::fromWCharArray(name.data(), int(length))).absolutePath();
        }
        name.resize(name.size() * 2);
    }
#else
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? QFileInfo(self.canonicalFilePath()).absolutePath() : QString();
#endif
}
