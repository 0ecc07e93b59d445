#include "StandardStream.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <QString>

#include <io.h>
#include <string>
#include <windows.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Shows UTF-8 text on a console whatever the console's code page.
class ConsoleDevice : public QIODevice
{
public:
    explicit ConsoleDevice(HANDLE console) : m_console(console) {}

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char * /*data*/, qint64 /*maxSize*/) override { return -1; }

    qint64 writeData(const char *data, qint64 size) override
    {
        // QTextStream encodes whole characters, so no UTF-8 sequence is split between calls.
        const std::wstring text = QString::fromUtf8(data, int(size)).toStdWString();
        const wchar_t *next = text.c_str();
        auto left = DWORD(text.size());
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(m_console, next, left, &written, nullptr) || written == 0) {
                return -1;
            }
            next += written;
            left -= written;
        }
        return size;
    }

private:
    HANDLE m_console;
};
#endif

} // namespace

StandardStream::StandardStream(FILE *file)
{
#ifdef Q_OS_WIN
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the C runtime hands its handles out as integers
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        m_device = std::make_unique<ConsoleDevice>(handle);
        m_device->open(QIODevice::WriteOnly);
    }
#endif
    if (!m_device) {
        auto redirected = std::make_unique<QFile>();
        redirected->open(file, QIODevice::WriteOnly);
        m_device = std::move(redirected);
    }
    m_text.setDevice(m_device.get());
#ifdef Q_OS_WIN
    // After setDevice(), which resets the codec to the locale's.
    m_text.setCodec("UTF-8");
#endif
}
