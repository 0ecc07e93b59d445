#include "CheckFetch.h"

#include "BlockingRequest.h"
#include "UpdateContext.h"

namespace {

constexpr int WaitLimitMs = 5000;

} // namespace

bool fetchForCheck(UpdateContext &context, const QUrl &url, qint64 capBytes, QByteArray &response,
                   QString &errorText)
{
    // A slow link may take longer than the wait limit for a large list, as long as it keeps
    // moving.
    TransferLimits limits = TransferLimits::waiting(WaitLimitMs).withFloor();
    limits.maxBodyBytes = capBytes;
    // Asked for as they are: Qt inflates whatever it asked to be compressed, before any check
    // can look at the size.
    const HeaderMap headers{{QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity")}};
    return blockingRequest(&context.network, url, response, errorText, limits, headers,
                           QByteArrayLiteral("GET"), QByteArray(), nullptr);
}
