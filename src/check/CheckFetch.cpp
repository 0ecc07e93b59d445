#include "CheckFetch.h"

#include "BlockingRequest.h"
#include "UpdateContext.h"

namespace {

constexpr int FetchTimeoutSeconds = 5;

} // namespace

bool fetchForCheck(UpdateContext &context, const QUrl &url, QByteArray &response,
                   QString &errorText)
{
    return blockingRequest(&context.network, url, response, errorText, FetchTimeoutSeconds,
                           HeaderMap(), QByteArrayLiteral("GET"), QByteArray(), nullptr);
}
