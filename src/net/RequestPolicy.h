#pragma once

class QNetworkRequest;

// What every fetch asks for: HTTP/2 where a TLS server offers it (set once the URL is) (all
// transfers of a run then share one connection), and one redirect policy: at most five hops, each
// to the same scheme or from http to https, never from https down to http (that fails with Qt's
// "insecure redirect").
void applyRequestPolicy(QNetworkRequest &request);
