#pragma once

#include "mining/minerview.h"
#include "storage/keptruns.h"

#include <QStringList>
#include <optional>

// What a start and an end of a harvest do with the seed's kept run, as plain data: the whole
// set of decisions in one place, which the miner follows and a table test checks.

// The seed's kept run as 开始采集 finds it.
enum class KeptAtStart {
    None,
    Usable,
    TargetMet, // usable, but it holds the target count already
    InUse,     // another copy is taking or writing it
    Unlockable,
    Damaged,
    Newer,
};
// How beginning the run's journal went.
enum class JournalStart { Started, NoRoom, Changed };

struct StartPlan {
    enum class Run { None, Fresh, Continued };
    enum class Say { Nothing, Damaged, Newer, Unlockable, TargetMet, NoRoom, Changed };
    Run run = Run::None;
    Say say = Say::Nothing;
    bool forget = false; // the kept run goes before the first query
    friend bool operator==(const StartPlan &a, const StartPlan &b)
    {
        return a.run == b.run && a.say == b.say && a.forget == b.forget;
    }
};

// The target count as typed: the whole text a number, blanks around allowed. Anything else
// sets no limit.
std::optional<double> targetCount(const QString &text);
// The seed's kept run as read, against the target as typed (which counts the whole harvest).
KeptAtStart keptAtStart(const KeptRun &kept, const QString &target);
// Whether 开始采集 asks to continue the kept run first.
bool asksToContinue(KeptAtStart kept);
// The answer counts only when asked; journal only for a run that goes on from the kept run.
StartPlan planStart(KeptAtStart kept, ContinueChoice answer, JournalStart journal);

// How a run ended, as far as its record is concerned.
enum class HarvestEnd {
    Exhausted,        // every keyword asked
    Stopped,          // by the user
    GaveUp,           // the engine refused too long
    Target,           // the target count reached
    AllFailed,        // no query brought a page (the engine away, or refusing from the first)
    NothingHarvested, // saved, but not one keyword
};
// What becomes of the journal and the seed's kept run.
enum class AfterEnd {
    Keep,     // the journal becomes the kept run, unless that is newer
    Finish,   // the journal goes, and the kept run of an earlier run of the seed
    Leave,    // the journal goes, the kept run stays as it is
    GiveBack, // the kept run the run went on from comes back as it was
    Stay,     // the save failed: the journal stays for the next start to save
};
AfterEnd planEnd(HarvestEnd end, bool continued, bool saved, bool leftToAsk);

// The seed as a run uses it: a first capital letter lowers the whole seed. Two seeds that
// give the same are one seed (one result file, one kept run).
QString seedAsRun(const QString &typed);
