// An example host application: how a program starts its updater and is started again by it
// (docs/integration.md, "The host starts the updater and exits; the updater starts the host
// again"). Copy it, keep the start-up part and put your program where run() is.
//
//  - Started without "no_check" as its second argument (by the user), it starts the updater
//    that lies beside its own executable ("update.exe" on Windows, "update" elsewhere) and
//    exits at once, so that the updater can replace its files.
//  - Started with "no_check" (by the updater, as "<updater path> no_check"), it runs: here it
//    only appends its arguments to a log.
//
// Everything it does is appended, in UTF-8, to "<its own file name>.log" beside it, e.g.
// "Host.exe.log": a line per updater started, a line per argument of each run, and what went
// wrong (exit code 1).
//
// Windows: the updater's manifest asks for administrator rights, so CreateProcess would fail
// with error 740; ShellExecuteExW with the "runas" verb shows the elevation prompt instead.
// Paths may hold characters that the ANSI code page cannot, so only wide-character APIs are
// used. Elsewhere the updater is started with posix_spawn in a session of its own.
//
// It needs nothing but the C++ runtime (linked statically on Windows), so a copy starts from
// any folder.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// shellapi.h and objbase.h need the types of windows.h.
#include <objbase.h>
#include <shellapi.h>
#else
#include <climits>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32
using NativeString = std::wstring;
const wchar_t UpdaterName[] = L"update.exe";
const wchar_t LogSuffix[] = L".log";

std::string toUtf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int length = int(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// The path of the running executable, whatever the command line or the working directory say.
NativeString ownPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

NativeString folderOf(const NativeString &path)
{
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// From the wide command line: the C runtime's argv is in the ANSI code page and loses what
// that cannot hold.
std::vector<std::string> arguments(int, char *[])
{
    std::vector<std::string> utf8;
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return utf8;
    for (int i = 1; i < count; ++i)
        utf8.push_back(toUtf8(wide[i]));
    LocalFree(wide);
    return utf8;
}

// A folder of that name would be opened in the file manager by ShellExecuteExW.
bool isFile(const NativeString &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string errorText(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return toUtf8(message) + " (error " + std::to_string(code) + ")";
}

// Without arguments and not waiting: the updater starts the host again when it is done. A
// user who declines the elevation prompt makes this fail with ERROR_CANCELLED.
bool startUpdater(const NativeString &updater, std::string &error)
{
    // Some shell extensions that ShellExecuteExW may call need COM.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    // NOASYNC: the process exits right after the call. FLAG_NO_UI: errors go to the log.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = updater.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool started = ShellExecuteExW(&info) != 0;
    if (!started)
        error = errorText(GetLastError());
    if (SUCCEEDED(com))
        CoUninitialize();
    return started;
}

bool appendToFile(const NativeString &path, const std::string &bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool complete =
        WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) != 0 &&
        written == bytes.size();
    return CloseHandle(file) != 0 && complete;
}
#else
using NativeString = std::string;
const char UpdaterName[] = "update";
const char LogSuffix[] = ".log";

std::string toUtf8(const std::string &bytes)
{
    return bytes; // file names are UTF-8 on any current Linux
}

// The path of the running executable, whatever the command line or the working directory say.
NativeString ownPath()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (size_t(length) < buffer.size())
            return {buffer.data(), size_t(length)};
        buffer.resize(buffer.size() * 2);
    }
}

NativeString folderOf(const NativeString &path)
{
    return path.substr(0, path.rfind('/') + 1);
}

std::vector<std::string> arguments(int argc, char *argv[])
{
    return {argv + 1, argv + argc};
}

bool isFile(const NativeString &path)
{
    struct stat status = {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Without arguments and not waiting: the updater starts the host again when it is done. In a
// session of its own, so that closing the terminal the host was started from leaves it be.
bool startUpdater(const NativeString &updater, std::string &error)
{
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::string program = updater;
    char *argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    const int result = posix_spawn(&pid, updater.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (result != 0)
        error = std::strerror(result);
    return result == 0;
}

bool appendToFile(const NativeString &path, const std::string &bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "ab");
    if (!file)
        return false;
    const bool complete = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && complete;
}
#endif

// The program itself; a real host opens its windows here.
int run(const std::vector<std::string> &given, std::string &log)
{
    for (size_t i = 0; i < given.size(); ++i)
        log += "argument " + std::to_string(i + 1) + ": " + given[i] + '\n';
    return 0;
}

// Starts the updater beside this program. A real host might go on and run un-updated when
// that fails; the example stops, so that the failure shows in its exit code.
int startUpdaterBeside(const NativeString &self, std::string &log)
{
    const NativeString updater = folderOf(self) + UpdaterName;
    if (!isFile(updater)) {
        log += "error: there is no updater at " + toUtf8(updater) + '\n';
        return 1;
    }
    std::string error;
    if (!startUpdater(updater, error)) {
        log += "error: cannot start the updater " + toUtf8(updater) + ": " + error + '\n';
        return 1;
    }
    log += "started the updater: " + toUtf8(updater) + '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const NativeString self = ownPath();
    if (self.empty())
        return 1; // without its own path it has neither an updater nor a log
    const std::vector<std::string> given = arguments(argc, argv);
    std::string log;
    // "no_check" in the second argument: started by the updater, which has checked already.
    // Starting the updater again here would loop.
    const bool startedByUpdater = given.size() >= 2 && given[1] == "no_check";
    const int exitCode = startedByUpdater ? run(given, log) : startUpdaterBeside(self, log);
    if (!appendToFile(self + LogSuffix, log))
        return 1;
    return exitCode;
}
