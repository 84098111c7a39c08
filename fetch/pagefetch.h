#pragma once

#include <QByteArray>
#include <QString>

// Whole-fetch deadline: a server that never answers, or dribbles, cannot hold a tick forever.
inline constexpr int kFetchTimeoutMs = 30000;
// A page larger than this is abandoned, so a broken server cannot exhaust memory.
inline constexpr qint64 kMaxBodyBytes = 16 * 1024 * 1024;

// Decodes body from the named charset. "gb2312" is read as GBK (code page 936), as Windows does.
// Unknown charset names and empty bodies give empty text.
QString BytesToBstr(const QByteArray &body, const QString &Cset);

// One GET of url, waited for in a nested event loop so the window keeps handling its events.
// Status and headers are ignored; every failure gives empty text.
QString getHTTPPage(const QString &url, int timeoutMs = kFetchTimeoutMs);  // "gb2312"
QString getHTTPPage1(const QString &url, int timeoutMs = kFetchTimeoutMs); // "UTF-8"
