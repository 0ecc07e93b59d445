#include "RedirectPolicy.h"

#include <QNetworkRequest>

namespace {

constexpr int MostRedirects = 5;

} // namespace

void applyRedirectPolicy(QNetworkRequest &request)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MostRedirects);
}
