#pragma once

#include "fetch/pagefetch.h"
#include "mining/keywordlist.h"
#include "mining/keywordset.h"
#include "mining/minerview.h"
#include "storage/journal.h"
#include "storage/resultfile.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>

// Plain HTTP, path /s, key wd; the keyword follows percent-encoded as UTF-8.
inline constexpr char kSearchPrefix[] = "http://www.baidu.com/s?wd=";

struct MinerOptions {
    QString searchPrefix = QString::fromLatin1(kSearchPrefix);
    QString programDir;               // where Keywords lives; empty: the executable's directory
    std::function<QDateTime()> clock; // empty: the local time now
    int fetchTimeoutMs = kFetchTimeoutMs;
    QString journalDir; // where a run keeps its journal until it is saved; empty: no journal
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

    void Command1_Click();       // start or stop
    void Command2_Click();       // merge and target check
    void Command3_Click();       // append save after a stop
    SaveResult Command4_Click(); // save in the chosen mode
    void Timer1_Timer();         // one step of the run
    void ExtractRelatedKeywords(const QString &page, const QString &first, const QString &last);
    bool IsKnownKeyword(const QString &keyword) const;

    // The program is ending without saving: no further tick, and a page still awaited is dropped.
    void abandon();

    QString queryUrl(const QString &keyword) const;
    QString programDir() const { return m_options.programDir; }
    // Saves the runs that ended without their save (the program was killed) from their journals.
    QList<JournalRecovery> recoverJournals() const;

private:
    void reachTarget();
    void closeExhausted();
    QString saveFailedText(const SaveResult &result) const;
    // An end's status line and message as the run's failed queries make them.
    QString endStatus(const QString &usual) const;
    QString endMessage(const SaveResult &saved, const QString &success) const;

    MinerView &m_view;
    MinerOptions m_options;
    KeywordSet m_known;       // List2 as a set
    qsizetype m_examined = 0; // List1 entries merged by earlier calls
    quint64 m_run = 0;        // changes at every start and stop
    bool m_inTick = false;
    Journal m_journal;
    qsizetype m_queries = 0; // queries of the run that came back, with or without a page
    qsizetype m_failedQueries = 0;
    FetchFailure m_lastFailure = FetchFailure::None;
};
