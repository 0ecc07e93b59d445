#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <iterator>

// The updater's own words for what happened. They are always made in the language they were
// written in: the console report carries them unchanged, because scripts compare them, and a
// window translates a text only when it shows it (shownText()).
enum class UserText
{
    StartTitle,
    FailedTitle,
    ConfigurationTitle,
    AlreadyRunning,
    ServerUrlInvalid,
    DescriptionUrlInvalid,
    DescriptionDownloadFailed,
    DescriptionSignatureInvalid,
    DescriptionOutdated,
    DescriptionExpired,
    CreateFileFailed,
    ListDownloadFailed,
    ListChecksumWrong,
    NetworkTimeout,
    RequestFailed,
    Updated,
    FilePathInvalid,
    PathInUse,
    FileDownloadFailed,
    FileNetworkError,
    FileSizeWrong,
    FileChecksumWrong,
    FileWriteFailed,
    RenameFailed,
    DeleteFailed,
    OverwriteFailed,
    CreateFolderFailed,
    Count
};

// In the order of UserText; the translation tools read the texts from here.
inline const char *const UserTextSources[] = {
    QT_TRANSLATE_NOOP("UserText", "启动"),
    QT_TRANSLATE_NOOP("UserText", "更新失败"),
    QT_TRANSLATE_NOOP("UserText", "配置错误"),
    QT_TRANSLATE_NOOP("UserText", "升级程序已运行"),
    QT_TRANSLATE_NOOP("UserText", "升级地址不合法:%1"),
    QT_TRANSLATE_NOOP("UserText", "升级描述文件地址不合法:%1"),
    QT_TRANSLATE_NOOP("UserText", "下载升级描述文件失败:%1"),
    QT_TRANSLATE_NOOP("UserText", "升级描述文件签名无效"),
    QT_TRANSLATE_NOOP("UserText", "升级描述文件版本过旧"),
    QT_TRANSLATE_NOOP("UserText", "升级描述文件已过期"),
    QT_TRANSLATE_NOOP("UserText", "创建文件[%1]失败:%2"),
    QT_TRANSLATE_NOOP("UserText", "下载更新列表文件失败:%1"),
    QT_TRANSLATE_NOOP("UserText", "更新列表文件校验不对"),
    QT_TRANSLATE_NOOP("UserText", "网络超时"),
    QT_TRANSLATE_NOOP("UserText", "发送请求失败"),
    QT_TRANSLATE_NOOP("UserText", "更新成功"),
    QT_TRANSLATE_NOOP("UserText", "更新文件%1路径不合法"),
    QT_TRANSLATE_NOOP("UserText", "路径%1被占用，无法删除!"),
    QT_TRANSLATE_NOOP("UserText", "下载更新文件%1失败"),
    QT_TRANSLATE_NOOP("UserText", "下载更新文件%1网络错误：%2-%3"),
    QT_TRANSLATE_NOOP("UserText", "下载更新文件%1大小不对"),
    QT_TRANSLATE_NOOP("UserText", "更新文件%1校验不对"),
    QT_TRANSLATE_NOOP("UserText", "更新文件%1写入失败"),
    QT_TRANSLATE_NOOP("UserText", "重命名%1为%2失败"),
    QT_TRANSLATE_NOOP("UserText", "删除文件%1失败"),
    QT_TRANSLATE_NOOP("UserText", "覆盖文件%1失败"),
    QT_TRANSLATE_NOOP("UserText", "创建目录%1失败"),
};
static_assert(std::size(UserTextSources) == std::size_t(UserText::Count),
              "every UserText has its text");

inline QString userText(UserText text)
{
    return QString::fromUtf8(UserTextSources[std::size_t(text)]);
}
