#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Whole-fetch deadline: a server that never answers, or dribbles, cannot hold a tick forever.
inline constexpr int kFetchTimeoutMs = 30000;
// A page larger than this is abandoned, so a broken server cannot exhaust memory.
inline constexpr qint64 kMaxBodyBytes = 16 * 1024 * 1024;

// Decodes body from the named charset. "gb2312" is read as GBK (code page 936), as Windows does.
// Unknown charset names and empty bodies give empty text.
QString BytesToBstr(const QByteArray &body, const QString &Cset);

// Why a fetch brought no page.
enum class FetchFailure {
    None,         // the server answered in full (the page may still be empty)
    Refused,      // nothing listens at the address
    HostNotFound, // the name does not resolve
    Unreachable,  // no route to the network or the host (Qt names no cause beyond that)
    Timeout,      // no whole answer within the deadline
    Reset,        // the connection closed or broke before the answer was complete
    Oversized,    // the page is larger than the cap
    Tls,          // no secure connection (handshake failed, certificate not trusted)
    Other,        // an unusable URL, a redirect loop, a malformed answer, ...
};

// What a fetch met besides the page. It says what happened; the caller judges it.
struct FetchResult {
    FetchFailure failure = FetchFailure::None;
    int status = 0;        // HTTP status of the last answer; 0 when none came
    QUrl url;              // where the fetch ended, after any redirects
    QByteArray retryAfter; // that answer's Retry-After header as sent; empty without one
};

// One GET of url, waited for in a nested event loop so the window keeps handling its events.
// The page of any HTTP status is decoded alike; every failure gives empty text. *result, when
// asked for, tells what happened (failure None when the page came).
QString getHTTPPage(const QString &url, int timeoutMs = kFetchTimeoutMs,
                    FetchResult *result = nullptr); // "gb2312"
QString getHTTPPage1(const QString &url, int timeoutMs = kFetchTimeoutMs,
                     FetchResult *result = nullptr); // "UTF-8"
