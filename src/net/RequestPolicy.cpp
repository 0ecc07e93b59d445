#include "RequestPolicy.h"

#include <QNetworkRequest>

namespace {

constexpr int MostRedirects = 5;

} // namespace

void applyRequestPolicy(QNetworkRequest &request)
{
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, true);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MostRedirects);
}
