#pragma once

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
#include <optional>

// The journal of one run: every harvested keyword as it joins, so that a run the program never
// got to save can be saved at the next start. UTF-8 lines, each "<checksum> <fields>\n" with the
// fields tab-separated and backslash-escaped; a line cut short or damaged is skipped on reading.
// The first line names the results folder, the result file and the seed; "k" lines carry the
// keywords of one tick; a "save" line, written just before the end's save, says where that save
// starts in the result file, so that a kill between the save and the journal's removal does not
// save the keywords twice.
class Journal final {
public:
    Journal();
    ~Journal(); // closes; the file stays
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Closes any journal still open (keeping it) and begins a new one in folder.
    bool start(const QString &folder, const QString &programDir, const QString &seed);
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

    // Writes the entries of harvest past those already written, in one write.
    void record(const QStringList &harvest);
    // Notes the save about to be made of everything recorded.
    void beginSave(const QString &seed, bool append, const QDateTime &when);
    void close();  // the run ended unsaved: the next start saves it
    void remove(); // the run is saved, or was left on purpose

private:
    bool writeLine(const QStringList &fields);
    void sync();
    void closeFile();

    QFile m_file;
    std::unique_ptr<QLockFile> m_lock; // held while the run goes on: no other start recovers it
    QString m_programDir;
    qsizetype m_written = 0;
    QElapsedTimer m_sinceSync;
    QTimer m_syncLater;          // a write left unsynced reaches the disk within a second anyway
    std::future<bool> m_syncing; // the last sync, on a thread of its own
};

struct JournalContents {
    bool ok = false; // the first line was readable
    QString programDir, seed;
    QStringList keywords;
    bool saving = false; // a save was begun
    QString saveSeed;
    bool saveAppend = false;
    qint64 saveOffset = 0;
    QDateTime saveTime;
};
JournalContents readJournal(const QString &path);

struct JournalRecovery {
    enum class Status {
        Saved,        // the keywords were appended to the result file
        AlreadySaved, // the run's own save had completed
        Empty,        // nothing to save
        Unreadable,   // the journal stays
        SaveFailed,   // the journal stays
        InUse,        // a running program still writes it
    };
    Status status = Status::Empty;
    QString journal;     // native path
    qsizetype count = 0; // keywords in the journal
    SaveResult save;     // for Saved and SaveFailed
};

// Saves the keywords of every journal in folder that no running program holds, as one
// appended block each, and removes the journals so saved. A journal whose program folder is
// gone is saved under programDir, this start's folder.
QList<JournalRecovery> recoverJournals(const QString &folder, const QDateTime &now,
                                       const QString &programDir);
JournalRecovery recoverJournal(const QString &path, const QDateTime &now,
                               const QString &programDir);
