#pragma once

#include "storage/resultfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QLockFile>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <future>
#include <memory>
#include <optional>

// How a run ended, as its journal keeps it. A run that ends by asking every keyword keeps
// nothing, so it has no entry here.
enum class RunEnding { Crash, Stop, GiveUp, Target };

struct KeptRun;

// The journal of one run: every harvested keyword as it joins, so that a run the program never
// got to save can be saved at the next start, and what the run needs to go on later. UTF-8
// lines, each "<checksum> <fields>\n" with the fields tab-separated and backslash-escaped; a
// line cut short or damaged is skipped on reading.
//   header: magic, version, results folder, result file, seed, "1" when candidates must hold
//           the whole seed (version 2; version 1 ends at the seed and is still read)
//   k:      queue entries asked so far (-1 before the seed's page), then the keywords the tick
//           added (version 1: the keywords only)
//   pace:   the learned pace, key=value fields the reader hands back as they are
//   end:    how the run ended (stop, giveup, target, crash) and when
//   save:   written just before an end's save, where that save starts in the result file, so
//           that a kill between the save and the journal's removal does not save twice
// A run saved with keywords left to ask becomes its seed's kept run: the same file, renamed.
class Journal final {
public:
    Journal();
    ~Journal(); // closes; the file stays
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Closes any journal still open (keeping it) and begins a new one in folder.
    bool start(const QString &folder, const QString &programDir, const QString &seed,
               bool wholeSeed = false);
    enum class Resume { Resumed, Changed, Unwritable };
    // Begins a journal holding kept whole, then removes kept: the harvest has one record at a
    // time. Changed: another program took or replaced kept since it was read (nothing done).
    // Unwritable: no journal could be written (kept stays).
    Resume resume(const QString &folder, const QString &programDir, const KeptRun &kept);
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

    // Writes the entries of harvest past those already written and the count asked, in one
    // write.
    void record(const QStringList &harvest, qsizetype asked);
    // Notes how the run ended, before its save.
    void end(RunEnding ending, const QDateTime &when, const QStringList &pace);
    // Notes the save about to be made of everything recorded.
    void beginSave(const QString &seed, bool append, const QDateTime &when);
    void close();  // the run ended unsaved: the next start saves it
    void remove(); // the run is saved, with nothing left to ask
    // The run is saved with keywords left to ask: it becomes its seed's kept run, replacing an
    // older one. When that fails the journal stays, and the next start keeps it.
    bool keep();
    // The run is left unsaved on purpose: what it added goes; a continued run's kept run
    // comes back as it was taken.
    void discard();

private:
    bool writeLine(const QStringList &fields);
    void sync();
    void closeFile();

    QFile m_file;
    std::unique_ptr<QLockFile> m_lock; // held while the run goes on: no other start recovers it
    QString m_folder;
    QString m_programDir;
    QString m_seed;
    qsizetype m_written = 0;
    qsizetype m_asked = -1;
    QElapsedTimer m_sinceSync;
    QTimer m_syncLater;          // a write left unsynced reaches the disk within a second anyway
    std::future<bool> m_syncing; // the last sync, on a thread of its own
    // A continued run: the bytes that hold the kept run it began with, and that run's end.
    qint64 m_baseSize = 0;
    QStringList m_baseEnd;
};

struct JournalContents {
    bool ok = false;    // the first line was readable, of a version this program reads
    bool newer = false; // written by a newer program: not read
    int version = 0;
    QString programDir, seed;
    bool wholeSeed = false;
    QStringList keywords;
    qsizetype asked = -1; // queue entries asked; -1 also when a version 1 journal
    std::optional<RunEnding> ending;
    QDateTime endTime;
    QStringList pace;
    bool saving = false; // a save was begun
    QString saveSeed;
    bool saveAppend = false;
    qint64 saveOffset = 0;
    QDateTime saveTime;
    qint64 wholeSize = 0; // bytes up to the end of the last whole line
    bool damaged = false; // a line before the last failed its checksum or made no sense

    // Queue entries not yet asked about.
    qsizetype unasked() const { return keywords.size() - std::max<qsizetype>(asked, 0); }
    // Whole and consistent enough to go on from, with something left to ask.
    bool canContinue() const;
};
JournalContents readJournal(const QString &path);
JournalContents parseJournal(const QByteArray &bytes);
// One line of fields as the journal writes it, checksum and line end included.
QByteArray encodeJournalLine(const QStringList &fields);

// The seed's run kept to be continued, one per seed, in the journal folder.
struct KeptRun {
    enum class Status {
        None,       // no kept run
        Ok,         // run holds it
        InUse,      // another program is taking or writing it
        Unreadable, // cut short, damaged, or not one
        Newer,      // written by a newer program
    };
    Status status = Status::None;
    QString path; // native
    JournalContents run;
    QByteArray digest; // of the bytes read: taking it checks that they have not changed
};
QString keptRunPath(const QString &folder, const QString &seed);
KeptRun readKeptRun(const QString &folder, const QString &seed);
// The kept runs in folder that are plainly unusable (cut short, not one, from a newer program),
// from their first and last lines only: start-up stays quick however many seeds are kept. One
// damaged inside is found when its seed is started.
QList<KeptRun> glanceAtKeptRuns(const QString &folder);
// The seed starts afresh: its kept run goes.
void forgetKeptRun(const QString &folder, const QString &seed);

struct JournalRecovery {
    enum class Status {
        Saved,        // the keywords were appended to the result file
        AlreadySaved, // the run's own save had completed
        Empty,        // nothing to save
        Unreadable,   // the journal stays
        Newer,        // written by a newer program: the journal stays, nothing is saved
        SaveFailed,   // the journal stays
        InUse,        // a running program still writes it
    };
    Status status = Status::Empty;
    QString journal;     // native path
    qsizetype count = 0; // keywords in the journal
    SaveResult save;     // for Saved and SaveFailed
    bool kept = false;   // saved with keywords left to ask: now its seed's kept run
};

// Saves the keywords of every journal in folder that no running program holds, as one
// appended block each; a journal so saved becomes its seed's kept run when keywords are left
// to ask, else it goes. A journal whose program folder is gone is saved under programDir, this
// start's folder.
QList<JournalRecovery> recoverJournals(const QString &folder, const QDateTime &now,
                                       const QString &programDir);
JournalRecovery recoverJournal(const QString &path, const QDateTime &now,
                               const QString &programDir);
