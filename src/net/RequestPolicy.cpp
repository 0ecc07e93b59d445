#include "RequestPolicy.h"

#include <QNetworkRequest>

namespace {

constexpr int MostRedirects = 5;

} // namespace

void applyRequestPolicy(QNetworkRequest &request)
{
    // Only where TLS negotiates it: over plain http Qt would try an upgrade on the first
    // connection and hold the other requests back until it is answered.
    if (request.url().scheme() == QLatin1String("https")) {
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, true);
    }
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MostRedirects);
}
