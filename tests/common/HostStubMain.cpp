// The tests' host application: records how it was started, so that a test can see what the
// updater handed over. It writes its working directory, then each argument, one per line in
// UTF-8, to "<its own path>.record" and exits. It uses nothing but the C++ runtime (linked
// statically on Windows), so a copy starts from any folder without DLLs beside it or on PATH.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32
using NativeString = std::wstring;
const wchar_t PartSuffix[] = L".part";
const wchar_t RecordSuffix[] = L".record";

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

NativeString ownPath(char *[])
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

bool workingDirectory(std::string &utf8)
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, directory.data());
    if (length == 0 || length >= size)
        return false;
    directory.resize(length);
    utf8 = toUtf8(directory);
    return true;
}

// The C runtime's argv is in the ANSI code page, which loses whatever that cannot hold; the
// wide command line keeps every character the updater passed.
bool arguments(int, char *[], std::vector<std::string> &utf8)
{
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return false;
    for (int i = 1; i < count; ++i)
        utf8.push_back(toUtf8(wide[i]));
    LocalFree(wide);
    return true;
}

bool writeFile(const NativeString &path, const std::string &bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool complete =
        WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) != 0 &&
        written == bytes.size();
    return CloseHandle(file) != 0 && complete;
}

// The C runtime's rename refuses to replace an existing file on Windows.
bool moveOver(const NativeString &from, const NativeString &to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}
#else
using NativeString = std::string;
const char PartSuffix[] = ".part";
const char RecordSuffix[] = ".record";

// The path it was started by, which is how the test names the file; /proc/self/exe would
// resolve a link to it.
NativeString ownPath(char *argv[])
{
    return argv[0] ? argv[0] : "";
}

bool workingDirectory(std::string &bytes)
{
    std::vector<char> buffer(256);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return false;
        buffer.resize(buffer.size() * 2);
    }
    bytes = buffer.data();
    return true;
}

// Passed on as they came: the updater encodes them in the locale's encoding, UTF-8 here.
bool arguments(int argc, char *argv[], std::vector<std::string> &bytes)
{
    bytes.assign(argv + 1, argv + argc);
    return true;
}

bool writeFile(const NativeString &path, const std::string &bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool complete = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && complete;
}

bool moveOver(const NativeString &from, const NativeString &to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}
#endif

int fail(const char *what)
{
    std::fprintf(stderr, "update_hoststub: %s\n", what);
    return 1;
}

} // namespace

// Reads nothing from standard input: the updater starts it detached, with nobody to answer.
int main(int argc, char *argv[])
{
    const NativeString self = ownPath(argv);
    if (self.empty())
        return fail("cannot tell its own path");
    std::string record;
    if (!workingDirectory(record))
        return fail("cannot read the working directory");
    record += '\n';
    std::vector<std::string> given;
    if (!arguments(argc, argv, given))
        return fail("cannot read the command line");
    for (const std::string &argument : given)
        record += argument + '\n';

    // Written to a side file and renamed, so a reader never sees half a record.
    const NativeString part = self + PartSuffix;
    if (!writeFile(part, record) || !moveOver(part, self + RecordSuffix))
        return fail("cannot write the record");
    return 0;
}
