#include "storage/journal.h"

#include "storage/durable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <system_error>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSyncMs = 1000;

QString newJournalName()
{
    static int serial = 0;
    return u"run-"_s + QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd-HHmmss-zzz"_s) + u'-' +
           QString::number(QCoreApplication::applicationPid()) + u'-' + QString::number(++serial) +
           u".journal"_s;
}

bool appendLines(const QString &path, const QList<QStringList> &lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    QByteArray bytes;
    for (const QStringList &fields : lines)
        bytes += encodeJournalLine(fields);
    return file.write(bytes) == bytes.size() && syncToDisk(file.handle());
}

qint64 sizeOf(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

enum class Found { Nothing, Part, Whole, Other };

// What the result file holds at offset, measured against the block a save would have written.
Found findBlock(const QString &path, qint64 offset, const QByteArray &block)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Found::Nothing;
    const qint64 size = file.size();
    if (size < offset || !file.seek(offset))
        return Found::Other;
    const QByteArray there = file.read(block.size());
    if (there == block)
        return Found::Whole;
    if (there.isEmpty())
        return Found::Nothing;
    if (size == offset + there.size() && block.startsWith(there))
        return Found::Part;
    return Found::Other;
}

} // namespace

Journal::Journal()
{
    m_syncLater.setSingleShot(true);
    m_syncLater.callOnTimeout([this] { sync(); });
}

Journal::~Journal()
{
    close();
}

bool Journal::start(const QString &folder, const QString &programDir, const QString &seed,
                    bool wholeSeed, bool marked)
{
    close();
    m_written = 0;
    m_asked = -1;
    m_ended = {};
    m_baseSize = 0;
    m_baseClose.clear();
    m_folder = folder;
    m_programDir = programDir;
    m_seed = seed;
    m_marked = marked;
    if (!QDir().mkpath(folder))
        return false;
    const QString path = QDir(folder).filePath(newJournalName());
    m_lock = std::make_unique<QLockFile>(path + u".lock"_s);
    m_lock->setStaleLockTime(0); // only a program that is gone leaves its lock behind
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered) ||
        !writeLine(journalHeader(programDir,
                                 QDir::toNativeSeparators(resultFilePath(programDir, seed, marked)),
                                 seed, wholeSeed))) {
        closeFile();
        QFile::remove(path);
        forget();
        return false;
    }
    syncToDisk(m_file.handle());
    syncFolder(folder);
    m_sinceSync.start();
    return true;
}

Journal::Resume Journal::resume(const QString &folder, const QString &programDir,
                                const KeptRun &kept, bool marked)
{
    const QString keptPath = QDir::fromNativeSeparators(kept.path);
    const KeptRunLock lock(keptPath);
    if (!keptRunUnchanged(kept, lock))
        return Resume::Changed;

    const JournalContents &run = kept.run;
    if (!start(folder, programDir, run.seed, run.wholeSeed, marked))
        return Resume::Unwritable;
    record(run.keywords, run.asked, run.origins);
    bool whole = m_written == run.keywords.size() && m_asked == run.asked;
    if (whole && !run.pace.isEmpty())
        whole = writeLine(paceLine(run.pace));
    // On the disk before the kept run goes, so that a power cut leaves one or the other.
    if (!whole || !syncToDisk(m_file.handle())) {
        closeFile();
        QFile::remove(m_file.fileName());
        forget();
        return Resume::Unwritable;
    }
    m_baseSize = m_file.pos();
    m_baseEnded = run.endTime;
    m_baseClose = {endLine(run.ending.value_or(RunEnding::Crash), run.endTime)};
    // Given back with its save, a next start finds that save made and does not make it again.
    if (run.saving)
        m_baseClose.append(saveLine(run.saveSeed, run.saveAppend, run.saveOffset, run.saveTime));
    removeTakenKeptRun(keptPath, lock);
    return Resume::Resumed;
}

bool Journal::writeLines(const QList<QStringList> &lines)
{
    QByteArray line;
    for (const QStringList &fields : lines)
        line += encodeJournalLine(fields);
    const qint64 before = m_file.pos();
    if (m_file.write(line) == line.size())
        return true;
    // A record cut short would spoil the one after it: take it back out, or stop writing.
    if (!m_file.resize(before) || !m_file.seek(before))
        closeFile();
    return false;
}

void Journal::record(const QStringList &harvest, qsizetype asked, const Origins &origins)
{
    if (!isOpen() || (harvest.size() <= m_written && asked == m_asked))
        return;
    // A line per run of keywords from one page: one line a tick.
    const auto parentOf = [&](qsizetype i) {
        const qint32 p = i < origins.size() ? origins.parents.at(i) : Origins::kUnknown;
        return p == Origins::kUnknown ? QString() : QString::number(p);
    };
    QList<QStringList> lines;
    for (qsizetype i = m_written; i < harvest.size() || lines.isEmpty(); ++i) {
        const QString parent = i < harvest.size() ? parentOf(i) : QString();
        if (lines.isEmpty() || lines.last().at(2) != parent)
            lines.append({u"k"_s, QString::number(m_asked), parent});
        if (i < harvest.size())
            lines.last().append(harvest.at(i));
    }
    // The count asked grows on the last line only: never past the keywords read before it.
    lines.last()[1] = QString::number(asked);
    if (!writeLines(lines))
        return;
    m_written = harvest.size();
    m_asked = asked;
    sync();
}

void Journal::end(RunEnding ending, const QDateTime &when, const QStringList &pace)
{
    if (!isOpen())
        return;
    m_ended = when;
    // Always: a run that climbed back to full speed must not keep the pace it began with.
    writeLine(paceLine(pace));
    writeLine(endLine(ending, when)); // on the disk with the save line that follows
}

void Journal::sync()
{
    if (!isOpen())
        return;
    const qint64 since = m_sinceSync.elapsed();
    if (since < kSyncMs) {
        if (!m_syncLater.isActive())
            m_syncLater.start(int(kSyncMs - since));
        return;
    }
    // The disk may take its time (a busy or slow one, tens of milliseconds): the window's
    // thread does not wait for it.
    if (m_syncing.valid() &&
        m_syncing.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        if (!m_syncLater.isActive())
            m_syncLater.start(kSyncMs / 10);
        return;
    }
    m_syncLater.stop();
    try {
        m_syncing = std::async(std::launch::async, syncToDisk, int(m_file.handle()));
    } catch (const std::system_error &) {
        syncToDisk(m_file.handle()); // no thread to be had
    }
    m_sinceSync.start();
}

void Journal::closeFile()
{
    if (m_syncing.valid())
        m_syncing.wait(); // the worker still holds the descriptor
    m_file.close();
}

void Journal::forget()
{
    m_file.setFileName(QString());
    m_baseSize = 0;
    m_lock.reset();
}

void Journal::beginSave(const QString &seed, bool append, const QDateTime &when)
{
    if (!isOpen())
        return;
    const qint64 offset = append ? sizeOf(resultFilePath(m_programDir, seed, m_marked)) : 0;
    // On disk before the result file changes, so that the next start can tell what happened.
    if (writeLine(saveLine(seed, append, offset, when)))
        syncToDisk(m_file.handle());
}

void Journal::close()
{
    m_syncLater.stop();
    if (m_file.isOpen()) {
        syncToDisk(m_file.handle());
        closeFile();
    }
    forget();
}

void Journal::remove()
{
    m_syncLater.stop();
    closeFile();
    // Also a journal that stopped being written after a failed write: the run is saved.
    if (!m_file.fileName().isEmpty())
        QFile::remove(m_file.fileName());
    forget();
}

bool Journal::keep()
{
    // A journal that stopped being written lacks its end: of no use to go on from.
    if (!isOpen()) {
        remove();
        return false;
    }
    m_syncLater.stop();
    const QString path = m_file.fileName();
    const bool synced = syncToDisk(m_file.handle());
    closeFile();
    const bool kept = synced && keepAsKeptRun(path, m_folder, m_seed, m_ended);
    forget();
    return kept;
}

void Journal::discard()
{
    const QString path = m_file.fileName();
    if (m_baseSize == 0 || path.isEmpty())
        return remove();
    m_syncLater.stop();
    closeFile();
    // Nothing of the kept run was lost: it goes back as it was, its own end included. Should
    // it not go back, the journal stays, and the next start keeps it.
    if (QFile::resize(path, m_baseSize) && appendLines(path, m_baseClose))
        keepAsKeptRun(path, m_folder, m_seed, m_baseEnded);
    forget();
}

namespace {

// A recovered journal with keywords left to ask becomes its seed's kept run; else it goes.
bool keepRecovered(const QString &path, const JournalContents &j, const QDateTime &lastWrite)
{
    const bool kept =
        j.canContinue() &&
        (j.ending || appendLines(path, {endLine(RunEnding::Crash, lastWrite)})) &&
        keepAsKeptRun(path, QFileInfo(path).path(), j.seed, j.ending ? j.endTime : lastWrite);
    if (!kept)
        QFile::remove(path);
    return kept;
}

} // namespace

bool savesToMarkedName(const JournalContents &run)
{
    const QString file = QDir::fromNativeSeparators(run.resultFile);
    return file != resultFilePath(run.programDir, run.seed) &&
           file == resultFilePath(run.programDir, run.seed, true);
}

JournalRecovery recoverJournal(const QString &path, const QDateTime &now, const QString &programDir)
{
    JournalRecovery r;
    r.journal = QDir::toNativeSeparators(path);
    QLockFile lock(path + u".lock"_s);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        r.status = JournalRecovery::Status::InUse;
        return r;
    }
    const QDateTime lastWrite = QFileInfo(path).lastModified(); // when the run was cut
    const JournalContents j = readJournal(path);
    if (j.newer || !j.ok) {
        r.status = j.newer ? JournalRecovery::Status::Newer : JournalRecovery::Status::Unreadable;
        return r;
    }
    r.count = j.keywords.size();
    if (j.keywords.isEmpty()) {
        QFile::remove(path);
        r.status = JournalRecovery::Status::Empty;
        return r;
    }
    // A last line cut short would swallow the note written after it.
    if (sizeOf(path) > j.wholeSize)
        QFile::resize(path, j.wholeSize);

    const QString seed = j.saving ? j.saveSeed : j.seed;
    // The folder of the program that wrote the journal may be gone (a copy unpacked and then
    // deleted): the keywords go to this start's folder then, never to a folder made anew.
    const bool moved = !QFileInfo(j.programDir).isDir();
    const QString base = moved ? programDir : j.programDir;
    const bool marked = savesToMarkedName(j);
    const QString file = resultFilePath(base, seed, marked);
    if (j.saving && !moved) {
        // The last save was begun and the program ended before the journal went: it either
        // wrote its block whole, wrote part of it (taken back out), or wrote nothing.
        const QByteArray block = buildBlock(seed, j.keywords, j.saveTime);
        switch (findBlock(file, j.saveOffset, block)) {
        case Found::Whole:
            r.kept = keepRecovered(path, j, lastWrite);
            r.status = JournalRecovery::Status::AlreadySaved;
            r.save.path = QDir::toNativeSeparators(file);
            return r;
        case Found::Part:
            if (j.saveAppend)
                QFile::resize(file, j.saveOffset);
            break;
        case Found::Nothing:
        case Found::Other:
            break;
        }
    }
    // Noted first, so that a kill during this save is undone the same way at the next start.
    appendLines(path, {saveLine(seed, true, sizeOf(file), now)});
    r.save = saveResults(base, seed, j.keywords, true, now, marked);
    if (!r.save.ok()) {
        r.status = JournalRecovery::Status::SaveFailed;
        return r;
    }
    r.kept = keepRecovered(path, j, lastWrite);
    r.status = JournalRecovery::Status::Saved;
    return r;
}

QList<JournalRecovery> recoverJournals(const QString &folder, const QDateTime &now,
                                       const QString &programDir)
{
    QList<JournalRecovery> out;
    if (folder.isEmpty())
        return out;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({u"*.journal"_s}, QDir::Files, QDir::Name)) {
        const JournalRecovery r = recoverJournal(dir.filePath(name), now, programDir);
        if (r.status != JournalRecovery::Status::InUse)
            out.append(r);
    }
    return out;
}
