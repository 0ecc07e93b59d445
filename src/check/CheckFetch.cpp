#include "CheckFetch.h"

#include "BlockingRequest.h"
#include "UpdateContext.h"

namespace {

constexpr int FetchTimeoutSeconds = 5;

} // namespace

bool fetchForCheck(UpdateContext &context, const QUrl &url, QByteArray &response,
                   QString &errorText)
{
    // Asked for as they are: Qt inflates whatever it asked to be compressed, before any check
    // can look at the size.
    const HeaderMap headers{{QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity")}};
    return blockingRequest(&context.network, url, response, errorText, FetchTimeoutSeconds, headers,
                           QByteArrayLiteral("GET"), QByteArray(), nullptr);
}
