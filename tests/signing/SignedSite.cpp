#include "SignedSite.h"

#include "Ed25519.h"
#include "FileListWriter.h"
#include "HashList.h"
#include "Md5Text.h"
#include "Sha256Text.h"

#include <QtGlobal>

TestKeyPair newTestKeyPair()
{
    TestKeyPair pair;
    QString errorText;
    if (!generateKeyPair(pair.privateKey, pair.publicKey, errorText)) {
        qFatal("key generation failed: %s", qPrintable(errorText));
    }
    return pair;
}

QByteArray signatureFileFor(const QByteArray &data, const QByteArray &privateKeyPem)
{
    QByteArray signature;
    QString errorText;
    if (!signData(privateKeyPem, data, signature, errorText)) {
        qFatal("signing failed: %s", qPrintable(errorText));
    }
    return signature + '\n';
}

SignedPublication signRelease(const SignedRelease &release, const QByteArray &privateKeyPem)
{
    SignedPublication publication;
    publication.folder = release.folder;
    publication.files = release.files;

    FileTable table;
    HashTable hashes;
    for (auto it = release.files.cbegin(); it != release.files.cend(); ++it) {
        const quint64 size = quint64(it.value().size());
        table.insert(it.key(), FileEntry{it.key(), size, md5Text(it.value())});
        if (!release.unhashedFiles.contains(it.key())) {
            hashes.insert(it.key(), HashEntry{it.key(), size, sha256Text(it.value())});
        }
    }
    QString errorText;
    if (!writeFileList(table, publication.list, errorText) ||
        !writeHashList(hashes, publication.hashList, errorText)) {
        qFatal("cannot write the lists: %s", qPrintable(errorText));
    }

    QMap<QString, QByteArray> version{
        {QStringLiteral("Folder"), release.folder.toUtf8()},
        {QStringLiteral("Version"), QByteArrayLiteral("2.0")},
        {QStringLiteral("Serial"), QByteArray::number(release.serial)},
        {QStringLiteral("ListSha256"), sha256Text(publication.list)},
        {QStringLiteral("HashListSha256"), sha256Text(publication.hashList)},
    };
    if (!release.expires.isEmpty()) {
        version.insert(QStringLiteral("Expires"), release.expires.toUtf8());
    }
    for (const QString &key : release.droppedKeys) {
        version.remove(key);
    }
    publication.description =
        "[Summary]\nUpdateType=" + QByteArray::number(release.updateType) + "\n\n[Version]\n";
    for (auto it = version.cbegin(); it != version.cend(); ++it) {
        publication.description += it.key().toUtf8() + '=' + it.value() + '\n';
    }
    publication.signature = signatureFileFor(publication.description, privateKeyPem);
    return publication;
}

void servePublication(CTestServer &server, const QString &prefix,
                      const SignedPublication &publication)
{
    const auto serve = [&server](const QString &path, const QByteArray &content) {
        if (!content.isNull()) {
            server.setRoute(path, TestResponse::ok(content));
        }
    };
    const QString folder = prefix + publication.folder + QLatin1Char('/');
    serve(prefix + QStringLiteral("/update.ini"), publication.description);
    serve(prefix + QStringLiteral("/update.ini.sig"), publication.signature);
    serve(folder + QStringLiteral("/md5.txt"), publication.list);
    serve(folder + QStringLiteral("/sha256.txt"), publication.hashList);
    for (auto it = publication.files.cbegin(); it != publication.files.cend(); ++it) {
        serve(folder + it.key(), it.value());
    }
}
