#include "storage/keptruns.h"

#include "storage/durable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// Another program holds a kept run's lock only while it reads, writes or renames it.
constexpr int kLockWaitMs = 1000;
const QString kKeptSuffix = u".kept"_s;
// A kept run's header fits in this, and so does its last line.
constexpr qint64 kGlanceBytes = 64 * 1024;

QString keptRunName(const QString &seed)
{
    // Any seed, any length, any character: the name is made from its UTF-16 units.
    const QByteArray units(reinterpret_cast<const char *>(seed.utf16()), seed.size() * 2);
    return u"seed-"_s +
           QString::fromLatin1(
               QCryptographicHash::hash(units, QCryptographicHash::Sha256).toHex().left(32)) +
           kKeptSuffix;
}

QByteArray digestOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// Read under the lock the caller holds.
KeptRun readLocked(const QString &path)
{
    KeptRun k;
    k.path = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        k.status = file.exists() ? KeptRun::Status::Unreadable : KeptRun::Status::None;
        return k;
    }
    const QByteArray bytes = file.readAll();
    k.digest = digestOf(bytes);
    k.run = parseJournal(bytes);
    // Written whole and renamed into place: anything short of that was damaged since, and a
    // file renamed from another seed's is not this seed's run.
    if (k.run.newer)
        k.status = KeptRun::Status::Newer;
    else if (k.run.canContinue() && k.run.ending && k.run.endsWhole &&
             keptRunName(k.run.seed) == QFileInfo(path).fileName())
        k.status = KeptRun::Status::Ok;
    else
        k.status = KeptRun::Status::Unreadable;
    return k;
}

} // namespace

KeptRunLock::KeptRunLock(const QString &keptPath)
    : m_lock(keptPath + u".lock"_s)
{
    m_lock.setStaleLockTime(0); // only a program that is gone leaves its lock behind
    m_held = m_lock.tryLock(kLockWaitMs);
}

QString KeptRunLock::reason() const
{
    switch (m_lock.error()) {
    case QLockFile::PermissionError:
        return u"没有权限"_s;
    case QLockFile::UnknownError:
        return u"磁盘已满或无法写入"_s;
    case QLockFile::NoError:
    case QLockFile::LockFailedError:
        break;
    }
    return {};
}

QString keptRunPath(const QString &folder, const QString &seed)
{
    return QDir(folder).filePath(keptRunName(seed));
}

KeptRun readKeptRun(const QString &folder, const QString &seed)
{
    const QString path = keptRunPath(folder, seed);
    KeptRun k;
    k.path = QDir::toNativeSeparators(path);
    if (!QFileInfo::exists(path))
        return k;
    const KeptRunLock lock(path);
    if (!lock.held()) {
        k.status = lock.inUse() ? KeptRun::Status::InUse : KeptRun::Status::Unlockable;
        k.reason = lock.reason();
        return k;
    }
    k = readLocked(path);
    if (k.status == KeptRun::Status::Ok && k.run.seed != seed)
        k.status = KeptRun::Status::Unreadable;
    return k;
}

bool keptRunUnchanged(const KeptRun &kept, const KeptRunLock &lock)
{
    QFile file(QDir::fromNativeSeparators(kept.path));
    return lock.held() && file.open(QIODevice::ReadOnly) && digestOf(file.readAll()) == kept.digest;
}

void removeTakenKeptRun(const QString &keptPath, const KeptRunLock &lock)
{
    if (lock.held() && QFile::remove(keptPath))
        syncFolder(QFileInfo(keptPath).path());
}

QList<KeptRun> glanceAtKeptRuns(const QString &folder)
{
    QList<KeptRun> out;
    if (folder.isEmpty())
        return out;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({u"*"_s + kKeptSuffix}, QDir::Files, QDir::Name)) {
        KeptRun k;
        k.path = QDir::toNativeSeparators(dir.filePath(name));
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue; // taken meanwhile
        // The header, and the last line: a kept run ends in its end or its save, whole.
        const QByteArray head = file.readLine(kGlanceBytes);
        const bool cutInHeader = !head.endsWith('\n') && file.atEnd();
        const qint64 size = file.size();
        const qint64 from = std::max(file.pos(), size - kGlanceBytes);
        QByteArray tail;
        if (file.seek(from))
            tail = file.read(size - from);
        if (!head.endsWith('\n') && !cutInHeader)
            continue; // a header longer than the glance: the full read tells
        k.run = parseJournal(head);
        const qsizetype lineStart =
            tail.size() < 2 ? 0 : tail.lastIndexOf('\n', tail.size() - 2) + 1;
        // The last line is seen whole when a line end in the tail, or the header, precedes it.
        const bool lastSeen = lineStart > 0 || from == head.size();
        const bool closed =
            tail.endsWith('\n') &&
            (!lastSeen ||
             isClosingLine(decodeJournalLine(QByteArrayView(tail).sliced(lineStart).chopped(1))));
        if (k.run.newer)
            k.status = KeptRun::Status::Newer;
        else if (cutInHeader || !k.run.ok || k.run.version < 2 || !closed)
            k.status = KeptRun::Status::Unreadable;
        else
            continue;
        out.append(std::move(k));
    }
    return out;
}

bool keepAsKeptRun(const QString &path, const QString &folder, const QString &seed,
                   const QDateTime &ended)
{
    const QString kept = keptRunPath(folder, seed);
    const KeptRunLock lock(kept);
    if (!lock.held())
        return false;
    const KeptRun there = readLocked(kept);
    if (there.status == KeptRun::Status::Ok && there.run.endTime > ended) {
        QFile::remove(path); // an older run of the seed: its keywords are saved already
        return true;
    }
    if (!renameReplacing(path, kept))
        return false;
    syncFolder(folder);
    return true;
}

void forgetKeptRun(const QString &folder, const QString &seed,
                   const std::optional<QDateTime> &endedBefore)
{
    const QString path = keptRunPath(folder, seed);
    if (!QFileInfo::exists(path))
        return;
    const KeptRunLock lock(path);
    if (!lock.held())
        return;
    const KeptRun there = readLocked(path);
    if (there.status == KeptRun::Status::Newer ||
        (endedBefore && there.status == KeptRun::Status::Ok && there.run.endTime > *endedBefore))
        return;
    QFile::remove(path);
}
