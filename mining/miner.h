#pragma once

#include "fetch/pagefetch.h"
#include "mining/exclusion.h"
#include "mining/keywordlist.h"
#include "mining/keywordset.h"
#include "mining/minerview.h"
#include "mining/pace.h"
#include "mining/refusal.h"
#include "mining/runrecord.h"
#include "mining/runtexts.h"
#include "storage/export.h"
#include "storage/journal.h"
#include "storage/resultfile.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

// Plain HTTP, path /s, key wd; the keyword follows percent-encoded as UTF-8.
inline constexpr char kSearchPrefix[] = "http://www.baidu.com/s?wd=";

struct MinerOptions {
    QString searchPrefix = QString::fromLatin1(kSearchPrefix);
    QString programDir;               // where Keywords lives; empty: the executable's directory
    std::function<QDateTime()> clock; // empty: the local time now
    // Milliseconds on a clock that never goes back, for the pace and the waits; empty: the
    // system's steady clock.
    std::function<qint64()> steadyClock;
    int fetchTimeoutMs = kFetchTimeoutMs;
    QString journalDir; // where a run keeps its journal until it is saved; empty: no journal
    // A run the engine refuses waits and asks again; this long after the first refused query
    // without an answer since, it gives up.
    qint64 holdLimitMs = 15 * 60 * 1000;
    // The interval Timer2 is given for a wait of the given length; empty: that length. Tests
    // note the wait and shorten it.
    std::function<int(qint64 waitMs)> holdInterval;
};

// How a run ended, for the batch that started it.
struct RunOutcome {
    std::optional<HarvestEnd> end; // none: the run did not start, text says why
    QString text;                  // what a single run's box says
    qsizetype count = 0;           // keywords harvested
    bool failed = false;           // no query brought a page
    SaveResult saved;
    std::optional<qsizetype> excluded; // candidates the exclusion words kept out, if any words
};

// A run started by a batch: the batch's answer for kept runs, its place before every status
// text, and where the run's end goes instead of a box. A refusal of the first query is waited
// out as any other (no one is watching to try again).
struct SeedRun {
    ContinueChoice keptRuns = ContinueChoice::Continue;
    bool markedName = false; // an earlier seed of the batch has the seed's result file name
    QString place;
    std::function<void(const RunOutcome &)> ended;
    QStringList exclusionLines; // read once, at the batch's start
};

// One harvest at a time: the hidden state of the window (lists, flag, counters, timer) and the
// handlers that start, tick, merge, stop and save.
class Miner final : public QObject {
    Q_OBJECT
public:
    explicit Miner(MinerView &view, MinerOptions options = {});

    // Hidden controls, by the names the handlers use.
    KeywordList List1; // every accepted candidate of the run, repeats included
    KeywordList List2; // distinct harvest in order: queue (cursor = ListIndex) and what is saved
    QString Text1 = QStringLiteral("0");       // "1" once the target is reached
    QString Label1 = QStringLiteral("Label1"); // List1's count
    QString Label2 = QStringLiteral("Label2"); // List2's count after the last merge
    QString Label3 = QStringLiteral("-1");     // queue entries taken
    QTimer Timer1;
    QTimer Timer2; // single shot: ends the wait after a refused query, restarting Timer1

    void Command1_Click();                     // start or stop
    void Command2_Click();                     // merge and target check
    SaveResult Command3_Click(HarvestEnd end); // a stop's save: append, whatever the user chose
    SaveResult Command4_Click(HarvestEnd end); // save in the chosen mode
    void Timer1_Timer();                       // one step of the run
    void Timer2_Timer(); // the wait is over: the refused keyword is asked again
    void ExtractRelatedKeywords(const QString &page, const QString &first, const QString &last);
    bool IsKnownKeyword(const QString &keyword) const;

    // Starts the run of the seed in Text2 for a batch; its end goes to run.ended.
    void startSeed(SeedRun run);
    bool running() const { return m_view.Command1Caption() == QStringLiteral("停止"); }

    // The program is ending without saving: no further tick, and a page still awaited is dropped.
    void abandon();

    // The harvest the list shows, with where each keyword came from.
    HarvestPart harvest() const { return {m_seed, List2.items(), m_origins}; }

    QString queryUrl(const QString &keyword) const;
    QString programDir() const { return m_options.programDir; }
    QString journalDir() const { return m_options.journalDir; }
    QDateTime now() const { return m_options.clock(); }
    // The exclusion words for a run or a batch; none, having said why, when the file cannot be
    // read.
    std::optional<QStringList> readExclusionWords();
    // Saves the runs that ended without their save (the program was killed) from their journals.
    QList<JournalRecovery> recoverJournals() const;
    // What is wrong with kept runs that cannot be continued, one text each.
    QStringList keptRunProblems() const;

private:
    // The start path's question about the seed's kept run, and what it leads to.
    StartPlan::Run askAboutKeptRun(const QString &seed, const KeptRun &kept);
    void restore(const JournalContents &run);
    void noteEnd(RunEnding ending);
    // A message at a run's end, or at a start that starts nothing (end empty): a box, or for
    // a batch's run the outcome handed to the batch.
    void tell(const QString &text, std::optional<HarvestEnd> end, const SaveResult &saved = {});
    void showStatus(const QString &text);
    void reachTarget();
    void closeExhausted();
    void giveBack();
    // Ends the run the way the user's stop does: an append save, then the save mode overwrite.
    void endLikeAStop(RunEnding ending, HarvestEnd end, const QString &status, const QString &lead,
                      const QString &success);
    void hold(const Refusal &refusal, const QString &keyword, bool fromQueue, qint64 sentMs);
    void answered();
    void followPace();
    RunFigures figures() const;

    MinerView &m_view;
    MinerOptions m_options;
    KeywordSet m_known;       // List2 as a set
    qsizetype m_examined = 0; // List1 entries merged by earlier calls
    quint64 m_run = 0;        // changes at every start and stop
    bool m_inTick = false;
    Journal m_journal;
    QString m_seed; // as the run began: its kept run's name
    QDateTime m_began;
    bool m_continued = false; // the run went on from a kept run
    bool m_marked = false;    // the result file is the seed's marked name
    qsizetype m_asked = -1;   // Label3 as the last tick that merged its page left it
    qsizetype m_queries = 0;  // queries of the run that came back, with or without a page
    qsizetype m_failedQueries = 0;
    QString m_lastFailure; // its reason
    QString m_resultPath;  // the path of every query; a page from elsewhere was a refusal

    // The engine's refusals in this run, as one value that a start resets whole. Times in
    // milliseconds of the steady clock.
    struct Hold {
        int refusals = 0;    // over the run
        qint64 heldMs = 0;   // waited over the run
        bool retried = true; // every refusal was asked again
        int streak = 0;      // refusals since the last answer
        QDateTime refusedSince;
        qint64 refusedSinceMs = 0; // when the first of them was sent
        qint64 waitMs = 0;         // the wait going on
        qint64 waitStartedMs = 0;
    } m_hold;
    std::optional<SeedRun> m_seedRun; // the run was started by a batch
    Pace m_pace;                      // outlives the run and the seeds of a batch
    qint64 m_startedMs = 0;
    qint64 m_lastAnswerMs = 0; // the run's last query that brought its page
    bool m_paced = false;      // one such query was asked at a slower pace than full speed

    QStringList m_exclusionLines; // as read at the start of the run or of its batch
    ExclusionWords m_exclusion;
    QSet<QString> m_excluded;           // the candidates the words kept out of this run
    Origins m_origins;                  // of List2's keywords
    qint32 m_from = Origins::kFromSeed; // List2's keyword whose page the tick reads
};
