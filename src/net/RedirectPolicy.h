#pragma once

class QNetworkRequest;

// The one redirect policy of every fetch: at most five hops, each to the same scheme or from
// http to https, never from https down to http (that fails with Qt's "insecure redirect").
void applyRedirectPolicy(QNetworkRequest &request);
