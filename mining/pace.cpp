#include "mining/pace.h"

#include <algorithm>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr double kFullRate = 1000.0 / Pace::kTickMs;
constexpr double kSlowestRate = 0.1;
// The accepted rate is measured over this, or over four intervals when they are longer.
constexpr qint64 kWindowMs = 2000;
// After a refusal the pace starts at this share of the accepted rate...
constexpr double kDrop = 0.7;
constexpr double kVerificationDrop = 0.5; // a verification page is the stronger signal
// ...climbs back to that rate on a cubic curve in kClimbMs, then probes above it, faster and
// faster, reaching full speed kProbeMs later.
constexpr qint64 kClimbMs = 30 * 1000;
constexpr qint64 kProbeMs = 30 * 1000;
// A longer gap between two answers is a pause (between runs, say), not time spent asking.
constexpr qint64 kPauseMs = 5000;
// What was learned is forgotten this long after the last refusal.
constexpr qint64 kForgetMs = 30 * 60 * 1000;
// The engine's Retry-After is obeyed up to this; without one the wait doubles up to kMaxBackoffMs.
constexpr qint64 kMaxRetryAfterMs = 10 * 60 * 1000;
constexpr qint64 kFirstBackoffMs = 1000;
constexpr qint64 kMaxBackoffMs = 60 * 1000;

} // namespace

Pace::Pace(quint32 seed)
    : m_random(seed)
{}

bool Pace::limited(qint64 now) const
{
    return m_limited && now - m_lastRefusalMs < kForgetMs;
}

double Pace::climbedRate() const
{
    if (m_climbedMs < kClimbMs) {
        const double left = 1.0 - double(m_climbedMs) / kClimbMs;
        return m_refusedRate - (m_refusedRate - m_startRate) * left * left * left;
    }
    const double probed = double(m_climbedMs - kClimbMs) / kProbeMs;
    const double rate = m_refusedRate * std::pow(kFullRate / m_refusedRate, std::pow(probed, 3));
    return std::min(rate, kFullRate);
}

double Pace::rate(qint64 now) const
{
    return limited(now) ? climbedRate() : kFullRate;
}

int Pace::intervalMs(qint64 now) const
{
    return std::max(kTickMs, int(std::lround(1000.0 / rate(now))));
}

double Pace::recentRate(qint64 now) const
{
    const qint64 window = std::max(kWindowMs, 4 * qint64(intervalMs(now)));
    const auto from =
        std::lower_bound(m_answers.cbegin(), m_answers.cend(), std::max(now - window, m_resumedMs));
    const auto count = m_answers.cend() - from;
    if (count == 0 || now <= *from)
        return 0;
    return count * 1000.0 / double(now - *from);
}

bool Pace::asking(qint64 gapMs, qint64 now) const
{
    return m_lastSeenMs >= 0 && gapMs <= intervalMs(now) + kPauseMs;
}

void Pace::answered(qint64 now)
{
    const qint64 gap = now - m_lastSeenMs;
    if (m_refusing) { // the first answer after the wait
        if (asking(gap - m_lastWaitMs, now))
            m_askedMs += gap;
        m_resumedMs = now;
    } else if (asking(gap, now)) {
        m_askedMs += gap;
        if (m_limited)
            m_climbedMs += gap;
    }
    ++m_answersSinceRefusal;
    m_refusing = false;
    m_lastSeenMs = now;
    if (m_limited && (!limited(now) || m_climbedMs >= kClimbMs + kProbeMs))
        m_limited = false;

    const qint64 window = std::max(kWindowMs, 4 * qint64(intervalMs(now)));
    while (!m_answers.empty() && m_answers.front() < now - window)
        m_answers.pop_front();
    m_answers.push_back(now);
}

void Pace::slowDown(Refusal::Kind kind, qint64 now)
{
    if (asking(now - m_lastSeenMs, now))
        m_askedMs += now - m_lastSeenMs;
    // The engine refused at about the recent rate, maybe only after a burst it allowed: a
    // ceiling. Its bucket was empty at the last refusal and is again now, so what it accepted
    // in between is at most its rate: a floor. The pace aims between the two.
    const double current = rate(now);
    const double recent = recentRate(now);
    double accepted = recent > 0 ? std::min(recent, current) : current;
    if (m_askedMs > 0) {
        const double floor = m_answersSinceRefusal * 1000.0 / double(m_askedMs);
        accepted = std::sqrt(std::min(floor, accepted) * accepted);
    }
    m_refusedRate = std::clamp(accepted, kSlowestRate, kFullRate);
    const double drop = kind == Refusal::Kind::Verification ? kVerificationDrop : kDrop;
    m_startRate = std::max(m_refusedRate * drop, kSlowestRate);
    m_climbedMs = 0;
    m_limited = true;
}

qint64 Pace::refused(Refusal::Kind kind, std::optional<qint64> askedMs, qint64 now)
{
    const bool again = std::exchange(m_refusing, true);
    if (!again) // refusals in one burst count once
        slowDown(kind, now);
    m_answersSinceRefusal = 0;
    m_askedMs = 0;
    m_lastSeenMs = now;
    m_lastRefusalMs = now;

    // The wait doubles while the retries are refused, and is back at its first length only
    // after a clean stretch: an engine that refuses again soon after an answer waits as long.
    if (again)
        ++m_backoffs;
    else if (now - m_waitEndsMs >= 2 * m_lastWaitMs)
        m_backoffs = 1;
    else
        m_backoffs = std::max(m_backoffs, 1);
    if (askedMs) {
        m_lastWaitMs = std::clamp(*askedMs, kFirstBackoffMs, kMaxRetryAfterMs);
    } else {
        const qint64 backoff =
            std::min(kFirstBackoffMs << std::min(m_backoffs - 1, 16), kMaxBackoffMs);
        // Up to a tenth less, so that clients refused together do not come back together.
        m_lastWaitMs = backoff - qint64(m_random.bounded(quint32(backoff / 10 + 1)));
    }
    m_waitEndsMs = now + m_lastWaitMs;
    return m_lastWaitMs;
}

Pace::Learned Pace::learned(qint64 now, const QDateTime &wallNow) const
{
    if (!limited(now))
        return {};
    return {m_refusedRate, climbedRate(), wallNow.addMSecs(m_lastRefusalMs - now)};
}

void Pace::restore(const Learned &learned, qint64 now, const QDateTime &wallNow)
{
    if (!learned.refusedAt.isValid() || !std::isfinite(learned.refusedRate) ||
        !std::isfinite(learned.rate))
        return;
    // A refusal in the future (the clock was put back) is taken as one just now.
    const qint64 age = std::max<qint64>(0, learned.refusedAt.msecsTo(wallNow));
    if (age >= kForgetMs || (m_refusedRate > 0 && m_lastRefusalMs >= now - age))
        return;
    m_refusedRate = std::clamp(learned.refusedRate, kSlowestRate, kFullRate);
    const double rate = std::clamp(learned.rate, kSlowestRate, kFullRate);
    m_startRate = std::min(rate, m_refusedRate);
    m_climbedMs = 0;
    if (rate > m_refusedRate) // it was probing: on from where it was
        m_climbedMs = kClimbMs + qint64(kProbeMs * std::cbrt(std::log(rate / m_refusedRate) /
                                                             std::log(kFullRate / m_refusedRate)));
    m_lastRefusalMs = now - age;
    m_limited = true;
}

QStringList Pace::Learned::fields() const
{
    if (!refusedAt.isValid())
        return {};
    return {u"refused="_s + QString::number(refusedRate, 'g', 6),
            u"rate="_s + QString::number(rate, 'g', 6),
            u"at="_s + refusedAt.toUTC().toString(Qt::ISODateWithMs)};
}

Pace::Learned Pace::Learned::fromFields(const QStringList &fields)
{
    Learned learned;
    bool refusedOk = false, rateOk = false;
    for (const QString &field : fields) {
        const QString value = field.section(u'=', 1);
        if (field.startsWith(u"refused="_s))
            learned.refusedRate = value.toDouble(&refusedOk);
        else if (field.startsWith(u"rate="_s))
            learned.rate = value.toDouble(&rateOk);
        else if (field.startsWith(u"at="_s))
            learned.refusedAt = QDateTime::fromString(value, Qt::ISODateWithMs);
    }
    if (!refusedOk || !rateOk)
        return {};
    return learned;
}
