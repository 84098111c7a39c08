#pragma once

#include "mining/refusal.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QStringList>
#include <deque>
#include <optional>

// How fast a run may ask the engine, and how long it waits after a refusal. Full speed, one query
// a tick, until the engine refuses; then a little under the rate it was accepting, climbing back
// towards the rate of that refusal, slowly near it, and past it while no refusal comes, up to
// full speed again. Plain state: every call is given the time, in milliseconds of a clock that
// never goes back, so that the pace outlives a run and tests can drive it.
class Pace final {
public:
    static constexpr int kTickMs = 10; // full speed

    // What the pace has learned, to be kept for a later start of the program.
    struct Learned {
        double refusedRate = 0; // queries a second the engine accepted when it last refused
        double rate = 0;        // the pace then
        QDateTime refusedAt;    // invalid: nothing learned

        // As key=value fields, to be kept on disk; none when nothing was learned.
        QStringList fields() const;
        // Nothing learned from fields that are not such.
        static Learned fromFields(const QStringList &fields);
    };

    explicit Pace(quint32 seed = QRandomGenerator::global()->generate());

    // Slower than full speed since a refusal, which was less than half an hour ago.
    bool limited(qint64 now) const;
    double rate(qint64 now) const; // queries a second
    int intervalMs(qint64 now) const;

    void answered(qint64 now);
    // The engine refused a query: the pace drops, once for refusals without an answer between.
    // Returns the wait before the query is asked again: askedMs (the engine's Retry-After) if
    // given, else 1 s doubling up to 60 s.
    qint64 refused(Refusal::Kind kind, std::optional<qint64> askedMs, qint64 now);

    // wallNow is the local time at now.
    Learned learned(qint64 now, const QDateTime &wallNow) const;
    // Takes up a learned pace where it was; nothing changes when its refusal is half an hour
    // past or more, or older than one this pace has met since.
    void restore(const Learned &learned, qint64 now, const QDateTime &wallNow);

private:
    double climbedRate() const;
    double recentRate(qint64 now) const;
    bool asking(qint64 gapMs, qint64 now) const;
    void slowDown(Refusal::Kind kind, qint64 now);

    QRandomGenerator m_random;
    std::deque<qint64> m_answers; // times of the answers within the measuring window
    qint64 m_lastSeenMs = -1;     // the last answer or refusal
    qint64 m_resumedMs = -1;      // the first answer after the last refusal
    bool m_refusing = false;      // refused since the last answer
    // Since the last refusal: the answers, and the time spent asking (its wait included).
    qint64 m_answersSinceRefusal = 0;
    qint64 m_askedMs = 0;

    bool m_limited = false;
    double m_refusedRate = 0; // accepted when the engine last refused
    double m_startRate = 0;   // the pace right after it
    qint64 m_climbedMs = 0;   // time spent asking since then
    qint64 m_lastRefusalMs = 0;

    int m_backoffs = 0; // waits without Retry-After since a clean stretch
    qint64 m_lastWaitMs = 0;
    qint64 m_waitEndsMs = 0;
};
