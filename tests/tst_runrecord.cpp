// What a start and an end do with the seed's kept run, over every combination: the rules a
// harvest's record must never break, whatever row is added later.

#include "mining/batch.h"
#include "mining/runrecord.h"

#include <QTest>

class RunRecordTest : public QObject {
    Q_OBJECT

private slots:
    void start_neverLosesOrMisusesAKeptRun()
    {
        using Run = StartPlan::Run;
        using Say = StartPlan::Say;
        const KeptAtStart states[] = {KeptAtStart::None,       KeptAtStart::Usable,
                                      KeptAtStart::TargetMet,  KeptAtStart::InUse,
                                      KeptAtStart::Unlockable, KeptAtStart::Damaged,
                                      KeptAtStart::Newer};
        for (const KeptAtStart kept : states)
            for (const ContinueChoice answer :
                 {ContinueChoice::Continue, ContinueChoice::Restart, ContinueChoice::Cancel})
                for (const JournalStart journal :
                     {JournalStart::Started, JournalStart::NoRoom, JournalStart::Changed}) {
                    const StartPlan p = planStart(kept, answer, journal);
                    const QByteArray rowBytes = QByteArray::number(int(kept)) + '/' +
                                                QByteArray::number(int(answer)) + '/' +
                                                QByteArray::number(int(journal));
                    const char *row = rowBytes.constData();
                    const bool asked = asksToContinue(kept);
                    // Only a usable kept run, continued on purpose, with its journal begun.
                    QVERIFY2((p.run == Run::Continued) == (kept == KeptAtStart::Usable &&
                                                           answer == ContinueChoice::Continue &&
                                                           journal == JournalStart::Started),
                             row);
                    // Gone only when the user chose to start again.
                    QVERIFY2(p.forget == (asked && answer == ContinueChoice::Restart), row);
                    // Nothing starts without a word, unless the user cancelled.
                    QVERIFY2(p.run != Run::None || p.say != Say::Nothing ||
                                 (asked && answer == ContinueChoice::Cancel),
                             row);
                    // An answer to a question never asked changes nothing.
                    if (!asked)
                        QVERIFY2(p == planStart(kept, ContinueChoice::Cancel, journal), row);
                }
    }

    void end_keepsWhatIsLeftAndGivesBackWhatWasTaken()
    {
        for (const HarvestEnd end :
             {HarvestEnd::Exhausted, HarvestEnd::Stopped, HarvestEnd::GaveUp, HarvestEnd::Target,
              HarvestEnd::AllFailed, HarvestEnd::NothingHarvested})
            for (const bool continued : {false, true})
                for (const bool saved : {false, true})
                    for (const bool left : {false, true}) {
                        const AfterEnd a = planEnd(end, continued, saved, left);
                        const QByteArray rowBytes =
                            QByteArray::number(int(end)) + '/' + QByteArray::number(continued) +
                            QByteArray::number(saved) + QByteArray::number(left);
                        const char *row = rowBytes.constData();
                        const bool harvested =
                            end != HarvestEnd::AllFailed && end != HarvestEnd::NothingHarvested;
                        // A kept run comes back only to the run that took it.
                        QVERIFY2(a != AfterEnd::GiveBack || continued, row);
                        // A run that took one and found nothing gives it back.
                        QVERIFY2(a == AfterEnd::GiveBack ||
                                     !(continued && end == HarvestEnd::AllFailed),
                                 row);
                        // What was harvested and not saved stays for the next start.
                        QVERIFY2(!harvested || saved || a == AfterEnd::Stay, row);
                        // Saved with keywords left: kept; all asked: finished.
                        if (harvested && saved)
                            QVERIFY2(a == (left ? AfterEnd::Keep : AfterEnd::Finish), row);
                        // Nothing harvested removes no kept run.
                        QVERIFY2(harvested || a == AfterEnd::Leave || a == AfterEnd::GiveBack, row);
                    }
    }

    void batchSeedEnd_goesOnStopsOrFinishesAndKeepsOnlyWhatHolds()
    {
        using Step = BatchPlan::Step;
        for (const SeedEnd end :
             {SeedEnd::Harvested, SeedEnd::NothingFound, SeedEnd::Failed, SeedEnd::NotStarted,
              SeedEnd::SaveFailed, SeedEnd::Stopped, SeedEnd::GaveUp})
            for (const bool last : {false, true})
                for (const bool written : {false, true}) {
                    const BatchPlan p = planAfterSeed(end, last, written);
                    const QByteArray rowBytes = QByteArray::number(int(end)) + '/' +
                                                QByteArray::number(last) +
                                                QByteArray::number(written);
                    const char *row = rowBytes.constData();
                    const bool byUser = end == SeedEnd::Stopped || end == SeedEnd::GaveUp;
                    // A stopped seed is continued later: it is not done.
                    QVERIFY2(p.done == !byUser, row);
                    // Only the user, the engine's long refusal or a disk that refuses a save
                    // stop a batch; a failed or empty seed never does.
                    QVERIFY2((p.step == Step::Stop) ==
                                 (byUser || (end == SeedEnd::SaveFailed && !last)),
                             row);
                    // The last seed done finishes the batch, and its record goes.
                    QVERIFY2((p.step == Step::Finish) == (last && !byUser), row);
                    QVERIFY2(p.step != Step::Finish || !p.keep, row);
                    // A stop keeps the record only when it holds every seed done: a promise
                    // to continue is never made on a record that would repeat seeds.
                    if (p.step == Step::Stop)
                        QVERIFY2(p.keep == written, row);
                    QVERIFY2(p.step != Step::Next || p.keep, row);
                }
    }

    void batchOffer_goesOnOnlyWithAUnfinishedBatchNoOneElseHolds()
    {
        using Then = BatchOffer::Then;
        using Say = BatchOffer::Say;
        for (const KeptBatch kept : {KeptBatch::None, KeptBatch::Unreadable, KeptBatch::InUse,
                                     KeptBatch::Finished, KeptBatch::Unfinished})
            for (const ContinueChoice answer :
                 {ContinueChoice::Continue, ContinueChoice::Restart, ContinueChoice::Cancel}) {
                const BatchOffer o = planOffer(kept, answer);
                const QByteArray rowBytes =
                    QByteArray::number(int(kept)) + '/' + QByteArray::number(int(answer));
                const char *row = rowBytes.constData();
                const bool asked = offersBatch(kept);
                QVERIFY2(asked == (kept == KeptBatch::Unfinished), row);
                QVERIFY2((o.then == Then::Continue) ==
                             (asked && answer == ContinueChoice::Continue),
                         row);
                // Another copy's batch is neither continued, replaced nor removed.
                if (kept == KeptBatch::InUse)
                    QVERIFY2(o.then == Then::Nothing && !o.forget && o.say == Say::InUse, row);
                // A batch that can go on goes only when the user chose to start again.
                if (asked)
                    QVERIFY2(o.forget == (answer == ContinueChoice::Restart), row);
                // A new batch never starts over a record it would leave behind.
                if (o.then == Then::NewBatch)
                    QVERIFY2(o.forget || kept == KeptBatch::None, row);
                // Nothing happens without a word, unless the user cancelled.
                QVERIFY2(o.then != Then::Nothing || o.say != Say::Nothing ||
                             (asked && answer == ContinueChoice::Cancel),
                         row);
                if (!asked) {
                    const BatchOffer cancelled = planOffer(kept, ContinueChoice::Cancel);
                    QVERIFY2(o.then == cancelled.then && o.forget == cancelled.forget, row);
                }
            }
    }
};

QTEST_GUILESS_MAIN(RunRecordTest)
#include "tst_runrecord.moc"
