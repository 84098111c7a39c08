#pragma once

#include "storage/journalline.h"
#include "storage/keptruns.h"
#include "storage/resultfile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QLockFile>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <future>
#include <memory>

// The journal of the running harvest: every harvested keyword as it joins, so that a run the
// program never got to save can be saved at the next start, and what the run needs to go on
// later. A run saved with keywords left to ask becomes its seed's kept run: the same file,
// renamed.
class Journal final {
public:
    Journal();
    ~Journal(); // closes; the file stays
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Closes any journal still open (keeping it) and begins a new one in folder.
    // marked: the seed's result file is its marked name (resultFileName).
    bool start(const QString &folder, const QString &programDir, const QString &seed,
               bool wholeSeed = false, bool marked = false);
    enum class Resume { Resumed, Changed, Unwritable };
    // Begins a journal holding kept whole, then removes kept: the harvest has one record at a
    // time. Changed: another program took or replaced kept since it was read (nothing done).
    // Unwritable: no journal could be written (kept stays).
    Resume resume(const QString &folder, const QString &programDir, const KeptRun &kept,
                  bool marked = false);
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

    // Writes the entries of harvest past those already written, with their origins (unknown
    // where origins has none), and the count asked, in one write.
    void record(const QStringList &harvest, qsizetype asked, const Origins &origins = {});
    // Notes how the run ended and the pace it ended at (none: full speed), before its save.
    void end(RunEnding ending, const QDateTime &when, const QStringList &pace);
    // Notes the save about to be made of everything recorded.
    void beginSave(const QString &seed, bool append, const QDateTime &when);
    void close();  // the run ended unsaved: the next start saves it
    void remove(); // the run is saved, with nothing left to ask
    // The run is saved with keywords left to ask: it becomes its seed's kept run, unless that
    // is newer. When that fails the journal stays, and the next start keeps it.
    bool keep();
    // The run is left unsaved on purpose: what it added goes; a continued run's kept run
    // comes back as it was taken.
    void discard();

private:
    bool writeLine(const QStringList &fields) { return writeLines({fields}); }
    bool writeLines(const QList<QStringList> &lines);
    void sync();
    void closeFile();
    void forget(); // the file is no longer this journal's

    QFile m_file;
    std::unique_ptr<QLockFile> m_lock; // held while the run goes on: no other start recovers it
    QString m_folder;
    QString m_programDir;
    QString m_seed;
    bool m_marked = false;
    qsizetype m_written = 0;
    qsizetype m_asked = -1;
    QDateTime m_ended;
    QElapsedTimer m_sinceSync;
    QTimer m_syncLater;          // a write left unsynced reaches the disk within a second anyway
    std::future<bool> m_syncing; // the last sync, on a thread of its own
    // A continued run: the bytes that hold the kept run it began with, and that run's closing
    // lines (its end, and its save when it has one).
    qint64 m_baseSize = 0;
    QList<QStringList> m_baseClose;
    QDateTime m_baseEnded;
};

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
// to ask (unless the seed's kept run is newer), else it goes. A journal whose program folder
// is gone is saved under programDir, this start's folder.
QList<JournalRecovery> recoverJournals(const QString &folder, const QDateTime &now,
                                       const QString &programDir);
JournalRecovery recoverJournal(const QString &path, const QDateTime &now,
                               const QString &programDir);
// Whether the run saved to its seed's marked name, as its first line says.
bool savesToMarkedName(const JournalContents &run);
