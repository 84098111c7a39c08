// What a start and an end do with the seed's kept run, over every combination: the rules a
// harvest's record must never break, whatever row is added later.

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
};

QTEST_GUILESS_MAIN(RunRecordTest)
#include "tst_runrecord.moc"
