#pragma once

#include "fetch/pagefetch.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// A query the engine refused: it could not be reached at all, it answered that it is
// overloaded or throttling (429, 502, 503, 504), or it sent the query away from its result
// page (to a verification page). A refused query costs time, never keywords: it is asked again.
// Every other failure belongs to one page, and that page is skipped.
struct Refusal {
    enum class Kind { Unreachable, Throttled, Verification };
    Kind kind = Kind::Unreachable;
    QString reason;        // in words: "连接被拒绝", "HTTP 503", "要求安全验证"
    QByteArray retryAfter; // the engine's Retry-After, as sent
};

// The refusal in what the fetch of a query met, if it was one; resultPath is the query's path.
std::optional<Refusal> refusalOf(const FetchResult &fetched, const QString &resultPath);

// The wait a Retry-After value asks for from now: delta-seconds or an HTTP date (one in the
// past asks for none). Nothing for a value that is neither.
std::optional<qint64> retryAfterMs(const QByteArray &value, const QDateTime &now);

// Why a fetch failed, in words for the user.
QString failureText(FetchFailure failure);
