#include "SignedLists.h"

#include "HashList.h"
#include "Sha256Text.h"

bool listMatchesSigned(const QByteArray &listBytes, const SignedFields &fields)
{
    return sha256Text(listBytes) == fields.listSha256;
}

bool applyHashList(const QByteArray &hashListBytes, const SignedFields &fields, FileTable &remote)
{
    if (sha256Text(hashListBytes) != fields.hashListSha256) {
        return false;
    }
    const HashTable hashes = parseHashList(hashListBytes);
    FileTable hashed = remote;
    for (FileEntry &entry : hashed) {
        const auto found = hashes.constFind(entry.path);
        if (found == hashes.cend() || found->size != entry.size || !isSha256Text(found->sha256)) {
            return false;
        }
        entry.sha256 = found->sha256;
    }
    remote = hashed;
    return true;
}
