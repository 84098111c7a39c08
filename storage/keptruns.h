#pragma once

#include "storage/journalline.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QString>
#include <optional>

// The runs kept to be continued: one per seed, the newest, in the journal folder, each a
// finished journal renamed into place. Every read, write, rename and removal of one is made
// under its lock, here.

struct KeptRun {
    enum class Status {
        None,       // no kept run
        Ok,         // run holds it
        InUse,      // another program is taking or writing it
        Unlockable, // its lock cannot be made (a full disk, a folder that refuses): reason says
        Unreadable, // cut short, damaged, or not one
        Newer,      // written by a newer program
    };
    Status status = Status::None;
    QString path; // native
    QString reason;
    JournalContents run;
    QByteArray digest; // of the bytes read: taking it checks that they have not changed
};

// A kept run's lock, held from construction while the object lives.
class KeptRunLock final {
public:
    explicit KeptRunLock(const QString &keptPath);
    bool held() const { return m_held; }
    bool inUse() const { return m_lock.error() == QLockFile::LockFailedError; }
    QString reason() const;

private:
    QLockFile m_lock;
    bool m_held = false;
};

QString keptRunPath(const QString &folder, const QString &seed);
KeptRun readKeptRun(const QString &folder, const QString &seed);
// Under its lock: whether the kept run still holds the bytes it was read with.
bool keptRunUnchanged(const KeptRun &kept, const KeptRunLock &lock);
// The kept runs in folder that are plainly unusable (cut short, not one, from a newer program),
// from their first and last lines only: start-up stays quick however many seeds are kept. What
// a glance cannot tell is left to the full read when its seed is started: a glance never calls
// a file damaged that the full read would take.
QList<KeptRun> glanceAtKeptRuns(const QString &folder);
// Makes the finished journal at path its seed's kept run, unless the seed's kept run is newer
// (it ended later): then the journal goes. False when the rename could not be made (the journal
// stays).
bool keepAsKeptRun(const QString &path, const QString &folder, const QString &seed,
                   const QDateTime &ended);
// The seed's kept run goes: always, or only when it ended before endedBefore. A newer program's
// kept run is never removed: this program cannot know what it holds.
void forgetKeptRun(const QString &folder, const QString &seed,
                   const std::optional<QDateTime> &endedBefore = std::nullopt);
// Removes the kept run that a journal was begun from, under the lock the caller holds.
void removeTakenKeptRun(const QString &keptPath, const KeptRunLock &lock);
