#pragma once

// Files a client fetches at once, as the description's "[Download] Connections" asks: at most
// Qt's number of HTTP/1.1 connections to one host. The publisher refuses more; the client
// takes no more.
constexpr int MostConnections = 6;
