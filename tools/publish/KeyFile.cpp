#include "KeyFile.h"

#include "ShownPath.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QDir>

#include <fcntl.h>
#include <io.h>
#include <iterator>
#include <string>
#include <vector>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// A PEM Ed25519 key is about 120 bytes; anything this large is not one.
constexpr qint64 MaxKeyFileSize = qint64(64) * 1024;

#ifdef Q_OS_WIN
QString systemErrorText(DWORD code)
{
    wchar_t text[512];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, DWORD(std::size(text)), nullptr);
    return length == 0 ? QStringLiteral("system error %1").arg(code)
                       : QString::fromWCharArray(text, int(length)).trimmed();
}

// The TOKEN_USER of this process, which holds its user's SID.
bool readTokenUser(std::vector<unsigned char> &tokenUser)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    tokenUser.resize(size);
    const bool read =
        size != 0 && GetTokenInformation(token, TokenUser, tokenUser.data(), size, &size);
    CloseHandle(token);
    return read;
}

bool openNewPrivate(QFile &file, QString &errorText)
{
    const QString shown = shownPath(file.fileName());
    // Without a security descriptor of its own the file would take whatever access its folder
    // hands down. This one makes the current user the owner and the only one let in, and is
    // protected, so that nothing is inherited.
    std::vector<unsigned char> tokenUser;
    if (!readTokenUser(tokenUser)) {
        errorText = QStringLiteral("cannot create %1: the current user is unknown: %2")
                        .arg(shown, systemErrorText(GetLastError()));
        return false;
    }
    const PSID user = reinterpret_cast<TOKEN_USER *>(tokenUser.data())->User.Sid;
    std::vector<unsigned char> aclBuffer(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) +
                                         GetLengthSid(user));
    const auto acl = reinterpret_cast<PACL>(aclBuffer.data());
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeAcl(acl, DWORD(aclBuffer.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, user, FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        errorText =
            QStringLiteral("cannot create %1: %2").arg(shown, systemErrorText(GetLastError()));
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    // CREATE_NEW never replaces a file. FILE_FLAG_OPEN_REPARSE_POINT makes a link in the way
    // count as existing, where it would otherwise be followed and its target created.
    const std::wstring name = QDir::toNativeSeparators(file.fileName()).toStdWString();
    const HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errorText =
            QStringLiteral("cannot create %1: %2").arg(shown, systemErrorText(GetLastError()));
        return false;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errorText = QStringLiteral("cannot write %1: no file descriptor is left").arg(shown);
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        _close(fd);
        errorText = QStringLiteral("cannot write %1: %2").arg(shown, file.errorString());
        return false;
    }
    return true;
}
#else
bool openNewPrivate(QFile &file, QString &errorText)
{
    // Created with its final permissions: QFile would create it readable for others first and
    // restrict it only afterwards. O_EXCL also refuses a link, dangling or not.
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        errorText = QStringLiteral("cannot create %1: %2")
                        .arg(shownPath(file.fileName()), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        errorText = QStringLiteral("cannot write %1: %2")
                        .arg(shownPath(file.fileName()), file.errorString());
        return false;
    }
    return true;
}
#endif

} // namespace

bool createPrivateFile(const QString &path, const QByteArray &content, QString &errorText)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        errorText =
            QStringLiteral("%1 already exists; it is never overwritten").arg(shownPath(path));
        return false;
    }
    QFile file(path);
    if (!openNewPrivate(file, errorText)) {
        return false;
    }
    if (file.write(content) != content.size() || !file.flush()) {
        errorText = QStringLiteral("cannot write %1: %2").arg(shownPath(path), file.errorString());
        file.close();
        file.remove();
        return false;
    }
    file.close();
    return true;
}

bool readKeyFile(const QString &path, QByteArray &content, QString &errorText)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        errorText =
            QStringLiteral("the key file %1 is missing or not a regular file").arg(shownPath(path));
        return false;
    }
    if (info.size() > MaxKeyFileSize) {
        errorText = QStringLiteral("%1 is too large to be a key file").arg(shownPath(path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = QStringLiteral("cannot read %1: %2").arg(shownPath(path), file.errorString());
        return false;
    }
    content = file.read(MaxKeyFileSize);
    return true;
}
