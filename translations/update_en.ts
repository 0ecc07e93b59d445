<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CUpdateError</name>
    <message>
        <source>CUpdateError</source>
        <translation>CUpdateError</translation>
    </message>
    <message>
        <source>再试一次</source>
        <translation>Try again</translation>
    </message>
    <message>
        <source>官网下载</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>更新失败</source>
        <translation>Update failed</translation>
    </message>
    <message>
        <source>网络错误：10012</source>
        <translation>Network error: 10012</translation>
    </message>
</context>
<context>
    <name>CUpdateNotice</name>
    <message>
        <source>发现新版本：%1</source>
        <translation>New version: %1</translation>
    </message>
</context>
<context>
    <name>CUpdateNoticeClass</name>
    <message>
        <source>CUpdateNotice</source>
        <translation>CUpdateNotice</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>以后再说</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>发现新版本：3.0.2.0</source>
        <translation>New version: 3.0.2.0</translation>
    </message>
</context>
<context>
    <name>CUpdateProgress</name>
    <message>
        <source>正在更新</source>
        <translation>Updating</translation>
    </message>
    <message>
        <source>正在下载更新文件</source>
        <translation>Downloading the update files</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>正在下载更新文件%1</source>
        <translation>Downloading the update file %1</translation>
    </message>
    <message>
        <source>total为0</source>
        <translation>total is 0</translation>
    </message>
    <message>
        <source>bytesTotal为0</source>
        <translation>bytesTotal is 0</translation>
    </message>
</context>
<context>
    <name>ElidedLabel</name>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
</context>
<context>
    <name>UserText</name>
    <message>
        <source>启动</source>
        <translation>Start-up</translation>
    </message>
    <message>
        <source>更新失败</source>
        <translation>Update failed</translation>
    </message>
    <message>
        <source>配置错误</source>
        <translation>Configuration error</translation>
    </message>
    <message>
        <source>升级程序已运行</source>
        <translation>The updater is already running</translation>
    </message>
    <message>
        <source>升级地址不合法:%1</source>
        <translation>The update address is not valid: %1</translation>
    </message>
    <message>
        <source>升级描述文件地址不合法:%1</source>
        <translation>The address of the update description is not valid: %1</translation>
    </message>
    <message>
        <source>下载升级描述文件失败:%1</source>
        <translation>Could not download the update description: %1</translation>
    </message>
    <message>
        <source>升级描述文件签名无效</source>
        <translation>The signature of the update description is not valid</translation>
    </message>
    <message>
        <source>升级描述文件版本过旧</source>
        <translation>The update description is older than the one already accepted</translation>
    </message>
    <message>
        <source>升级描述文件已过期</source>
        <translation>The update description has expired</translation>
    </message>
    <message>
        <source>创建文件[%1]失败:%2</source>
        <translation>Could not create the file [%1]: %2</translation>
    </message>
    <message>
        <source>下载更新列表文件失败:%1</source>
        <translation>Could not download the file list: %1</translation>
    </message>
    <message>
        <source>更新列表文件校验不对</source>
        <translation>The file list does not match its checksum</translation>
    </message>
    <message>
        <source>网络超时</source>
        <translation>Network timeout</translation>
    </message>
    <message>
        <source>发送请求失败</source>
        <translation>Could not send the request</translation>
    </message>
    <message>
        <source>更新成功</source>
        <translation>Update complete</translation>
    </message>
    <message>
        <source>更新文件%1路径不合法</source>
        <translation>The path of the update file %1 is not valid</translation>
    </message>
    <message>
        <source>路径%1被占用，无法删除!</source>
        <translation>The path %1 is in use and cannot be deleted!</translation>
    </message>
    <message>
        <source>下载更新文件%1失败</source>
        <translation>Could not download the update file %1</translation>
    </message>
    <message>
        <source>下载更新文件%1网络错误：%2-%3</source>
        <translation>Network error while downloading the update file %1: %2-%3</translation>
    </message>
    <message>
        <source>下载更新文件%1大小不对</source>
        <translation>The update file %1 has the wrong size</translation>
    </message>
    <message>
        <source>更新文件%1校验不对</source>
        <translation>The update file %1 does not match its checksum</translation>
    </message>
    <message>
        <source>更新文件%1写入失败</source>
        <translation>Could not write the update file %1</translation>
    </message>
    <message>
        <source>重命名%1为%2失败</source>
        <translation>Could not rename %1 to %2</translation>
    </message>
    <message>
        <source>删除文件%1失败</source>
        <translation>Could not delete the file %1</translation>
    </message>
    <message>
        <source>覆盖文件%1失败</source>
        <translation>Could not replace the file %1</translation>
    </message>
    <message>
        <source>创建目录%1失败</source>
        <translation>Could not create the folder %1</translation>
    </message>
</context>
</TS>
