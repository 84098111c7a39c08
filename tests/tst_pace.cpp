// The pace against engines that allow each client a rate, on a clock the test moves: no timer,
// no network, the same figures every time.

#include "mining/pace.h"

#include <QTest>
#include <algorithm>

namespace {

// Lets r queries a second through, in bursts of up to a second's worth, as real engines do.
struct TokenBucket {
    double rate;
    double tokens = rate;
    qint64 lastMs = 0;

    bool allows(qint64 now)
    {
        tokens = std::min(rate, tokens + double(now - lastMs) * rate / 1000);
        lastMs = now;
        if (tokens < 1)
            return false;
        tokens -= 1;
        return true;
    }
};

constexpr qint64 kAnswerMs = 1; // a local engine's answer

} // namespace

class PaceTest : public QObject {
    Q_OBJECT

private slots:
    void tokenBucketEngine_isAskedJustUnderItsRate_data()
    {
        QTest::addColumn<double>("rate");
        QTest::newRow("5 a second") << 5.0;
        QTest::newRow("20 a second") << 20.0;
        QTest::newRow("50 a second") << 50.0;
    }
    void tokenBucketEngine_isAskedJustUnderItsRate()
    {
        QFETCH(double, rate);
        Pace pace(1);
        TokenBucket engine{rate};
        // Asked as the miner asks: the next query one interval after the last, a refused one
        // again after its wait and an interval.
        constexpr qint64 kRunMs = 10 * 60 * 1000, kLearningMs = 10 * 1000;
        qint64 now = 0, answers = 0, refusals = 0;
        while (now < kRunMs) {
            if (engine.allows(now)) {
                ++answers;
                pace.answered(now + kAnswerMs);
            } else {
                refusals += now > kLearningMs;
                now += pace.refused(Refusal::Kind::Throttled, std::nullopt, now + kAnswerMs);
            }
            now += kAnswerMs + pace.intervalMs(now + kAnswerMs);
        }
        const double share = answers / (rate * kRunMs / 1000);
        const double perMinute = refusals * 60000.0 / (kRunMs - kLearningMs);
        QVERIFY2(share >= 0.9, qPrintable(QString::number(share)));
        QVERIFY2(perMinute <= 2, qPrintable(QString::number(perMinute)));

        // The engine stops refusing: full speed again within a minute.
        const qint64 lifted = now;
        while (pace.intervalMs(now) > Pace::kTickMs && now - lifted < 60000) {
            pace.answered(now + kAnswerMs);
            now += kAnswerMs + pace.intervalMs(now + kAnswerMs);
        }
        QCOMPARE(pace.intervalMs(now), Pace::kTickMs);
    }

    void learnedPace_isKeptForHalfAnHour_data()
    {
        QTest::addColumn<int>("minutes"); // from the refusal to the next run
        QTest::addColumn<bool>("kept");
        QTest::newRow("10 minutes later") << 10 << true;
        QTest::newRow("31 minutes later") << 31 << false;
        QTest::newRow("refused in the future: the clock was put back") << -5 << true;
    }
    void learnedPace_isKeptForHalfAnHour()
    {
        QFETCH(int, minutes);
        QFETCH(bool, kept);
        Pace taught(1);
        qint64 now = 0;
        for (; now < 2000; now += Pace::kTickMs)
            taught.answered(now);
        taught.refused(Refusal::Kind::Verification, std::nullopt, now);
        const QDateTime wall(QDate(2026, 12, 7), QTime(10, 5, 9));
        const Pace::Learned learned = taught.learned(now, wall);
        QCOMPARE(learned.refusedAt, wall);
        QCOMPARE(learned.rate, 50.0); // half the rate at which the engine sent to verification

        // The next run of the same program, and one of the next start of the program.
        QCOMPARE(taught.limited(now + std::max(minutes, 0) * 60 * 1000), kept);
        Pace restored(1);
        restored.restore(Pace::Learned::fromFields(learned.fields()), 0,
                         wall.addSecs(minutes * 60));
        QCOMPARE(restored.limited(0), kept);
        QCOMPARE(restored.intervalMs(0), kept ? 20 : Pace::kTickMs);
    }

    void waitsAfterRefusals_doubleAndResetOnlyAfterACleanStretch()
    {
        Pace pace(1);
        pace.answered(0);
        const auto second = [](qint64 wait) { return wait >= 900 ? (wait + 999) / 1000 : 0; };
        qint64 now = 10;
        QList<qint64> waits;
        const auto refuse = [&](qint64 after) {
            now += after;
            waits << second(pace.refused(Refusal::Kind::Throttled, std::nullopt, now));
            now += waits.last() * 1000;
        };
        refuse(0);
        refuse(0); // its retry refused too
        pace.answered(now);
        refuse(100); // soon after an answer: as long as the last wait
        pace.answered(now);
        refuse(4100); // after a clean stretch of twice that
        QCOMPARE(waits, (QList<qint64>{1, 2, 2, 1}));
    }
};

QTEST_GUILESS_MAIN(PaceTest)
#include "tst_pace.moc"
