#pragma once

#include "mining/miner.h"
#include "storage/batchrecord.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

// A batch of seeds: what each seed's end means for the batch, and what 批量采集… does with the
// record it finds, as plain data that the batch follows and a table test checks; and the batch
// itself, which drives the miner's single runs one seed after another.

// One seed's end, as far as the batch is concerned.
enum class SeedEnd {
    Harvested,    // saved, with keywords
    NothingFound, // saved nothing: not one keyword
    Failed,       // no query brought a page
    NotStarted,   // its kept run held the target, was locked or could not go on
    SaveFailed,   // harvested, not saved: its journal keeps it for the next start
    Stopped,      // by the user
    GaveUp,       // the engine refused past the limit
};
SeedEnd seedEndOf(const RunOutcome &outcome);

struct BatchPlan {
    enum class Step { Next, Finish, Stop };
    Step step = Step::Next;
    bool done = false; // the seed counts as done: a continued batch goes on after it
    bool keep = false; // the record stays, for the next 批量采集… to offer
    friend bool operator==(const BatchPlan &a, const BatchPlan &b)
    {
        return a.step == b.step && a.done == b.done && a.keep == b.keep;
    }
};
// written: the record on disk holds every seed done so far. A record that does not would
// repeat seeds when continued, so it is not kept.
BatchPlan planAfterSeed(SeedEnd end, bool lastSeed, bool written);

// The batch record as 批量采集… finds it.
enum class KeptBatch { None, Unreadable, InUse, Finished, Unfinished };
KeptBatch keptBatchOf(const KeptBatchRecord &kept);
struct BatchOffer {
    enum class Then { Nothing, NewBatch, Continue };
    enum class Say { Nothing, Unreadable, InUse };
    Then then = Then::Nothing;
    bool forget = false; // the record goes before anything else
    Say say = Say::Nothing;
};
// Whether 批量采集… asks to continue the kept batch first.
bool offersBatch(KeptBatch kept);
// The answer counts only when asked.
BatchOffer planOffer(KeptBatch kept, ContinueChoice answer);

// The seeds of a batch as typed or read: blanks around each dropped, then blank lines and
// repeats (the first stays) counted. Repeats are judged as a run judges seeds. A line of
// several spreadsheet columns is its first column; a line that cannot be a seed is dropped.
struct BatchSeeds {
    QStringList seeds;
    qsizetype blank = 0;
    qsizetype repeated = 0;
    qsizetype columns = 0; // lines cut at a tab
    qsizetype invalid = 0;
};
inline constexpr qsizetype kMaxBatchSeeds = 10000;
BatchSeeds cleanSeeds(const QStringList &lines);
// Whether an earlier seed of the batch has the result file name of seed i: its file is then
// the seed's marked name, so that no seed's harvest replaces another's.
bool namedLikeAnEarlierSeed(const QStringList &seeds, qsizetype i);

class Batch final : public QObject {
    Q_OBJECT
public:
    Batch(Miner &miner, MinerView &view);
    ~Batch() override;

    // After each seed's end has been counted and recorded, before the batch goes on.
    std::function<void(const QString &seed, const RunOutcome &outcome)> onSeedEnd;

    KeptBatchRecord kept() const;
    void forgetKept();
    // Of the seeds, those with a kept run that can be continued.
    qsizetype seedsWithKeptRuns(const QStringList &seeds) const;
    // Harvests the seeds (as cleanSeeds gives them) with the window's options; false, said,
    // when another copy runs a batch.
    bool start(const QStringList &seeds, ContinueChoice keptRuns);
    bool resume(const BatchRecord &record);
    bool running() const { return m_record.has_value(); }
    // The program ends without saving: the record stays for the next start.
    void abandon();

private:
    bool begin(const BatchRecord &record);
    void next();
    void seedEnded(const RunOutcome &outcome);
    void end(const QString &stopMessage, bool stopped, bool kept);
    QString writeWorkbook(const BatchRecord &record) const;
    bool write();

    Miner &m_miner;
    MinerView &m_view;
    std::optional<BatchRecord> m_record;
    std::unique_ptr<BatchLock> m_lock;
    bool m_written = false;
    QStringList m_exclusionLines;
    std::optional<qsizetype> m_excluded;  // by the seeds run since this start or continuation
    QMap<qsizetype, HarvestPart> m_parts; // of the seeds done that the journal folder did not take
};
