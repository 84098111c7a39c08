#include "storage/journal.h"

#include "storage/durable.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <future>
#include <optional>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

const QString kMagic = u"tailspade-journal"_s;
constexpr int kVersion = 2; // 1: no setting in the header, no count asked, no end
constexpr int kSyncMs = 1000;
// Another program holds a kept run's lock only while it reads, writes or renames it.
constexpr int kLockWaitMs = 1000;
const QString kKeptSuffix = u".kept"_s;
// A kept run's header fits in this, and so does its last line.
constexpr qint64 kGlanceBytes = 64 * 1024;

quint32 checksum(const QByteArray &bytes)
{
    quint32 h = 2166136261u; // FNV-1a
    for (const char c : bytes) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return h;
}

QString escaped(const QString &field)
{
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case u'\\':
            out += u"\\\\"_s;
            break;
        case u'\t':
            out += u"\\t"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString unescaped(QStringView field)
{
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (c != u'\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const QChar next = field.at(++i);
        out += next == u't'   ? QChar(u'\t')
               : next == u'n' ? QChar(u'\n')
               : next == u'r' ? QChar(u'\r')
                              : next;
    }
    return out;
}

// The fields of one whole, undamaged line; nothing for any other.
std::optional<QStringList> decodeLine(QByteArrayView line)
{
    if (line.size() < 9 || line.at(8) != ' ')
        return std::nullopt;
    bool ok = false;
    const quint32 sum = line.first(8).toByteArray().toUInt(&ok, 16);
    const QByteArray payload = line.sliced(9).toByteArray();
    if (!ok || sum != checksum(payload))
        return std::nullopt;
    QStringList fields;
    const QString text = QString::fromUtf8(payload);
    for (const QStringView field : QStringView(text).split(u'\t'))
        fields.append(unescaped(field));
    return fields;
}

QString newJournalName()
{
    static int serial = 0;
    return u"run-"_s + QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd-HHmmss-zzz"_s) + u'-' +
           QString::number(QCoreApplication::applicationPid()) + u'-' + QString::number(++serial) +
           u".journal"_s;
}

bool appendLine(const QString &path, const QStringList &fields)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const QByteArray line = encodeJournalLine(fields);
    const bool ok = file.write(line) == line.size();
    syncToDisk(file.handle());
    return ok;
}

QString endingName(RunEnding ending)
{
    switch (ending) {
    case RunEnding::Stop:
        return u"stop"_s;
    case RunEnding::GiveUp:
        return u"giveup"_s;
    case RunEnding::Target:
        return u"target"_s;
    case RunEnding::Crash:
        break;
    }
    return u"crash"_s;
}

std::optional<RunEnding> endingNamed(const QString &name)
{
    for (const RunEnding e :
         {RunEnding::Crash, RunEnding::Stop, RunEnding::GiveUp, RunEnding::Target})
        if (endingName(e) == name)
            return e;
    return std::nullopt;
}

QStringList endLine(RunEnding ending, const QDateTime &when)
{
    return {u"end"_s, endingName(ending), when.toString(Qt::ISODateWithMs)};
}

// A whole decimal number as this program writes it: no sign but a minus, no blanks, no zeros
// in front.
std::optional<qint64> strictNumber(const QString &text)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    return ok && QString::number(n) == text ? std::optional<qint64>(n) : std::nullopt;
}

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

// Renames a finished journal to its seed's kept run, over an older one.
bool keepFile(const QString &path, const QString &folder, const QString &seed)
{
    const QString kept = QDir(folder).filePath(keptRunName(seed));
    QLockFile lock(kept + u".lock"_s);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(kLockWaitMs) || !renameReplacing(path, kept))
        return false;
    syncFolder(folder);
    return true;
}

QStringList saveLine(const QString &seed, bool append, qint64 offset, const QDateTime &when)
{
    return {u"save"_s, seed, append ? u"append"_s : u"overwrite"_s, QString::number(offset),
            when.toString(Qt::ISODateWithMs)};
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

QByteArray encodeJournalLine(const QStringList &fields)
{
    QStringList parts;
    parts.reserve(fields.size());
    for (const QString &field : fields)
        parts.append(escaped(field));
    const QByteArray bytes = parts.join(u'\t').toUtf8();
    return QByteArray::number(checksum(bytes), 16).rightJustified(8, '0') + ' ' + bytes + '\n';
}

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
                    bool wholeSeed)
{
    close();
    m_written = 0;
    m_asked = -1;
    m_baseSize = 0;
    m_baseEnd.clear();
    m_folder = folder;
    m_programDir = programDir;
    m_seed = seed;
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
        !writeLine({kMagic, QString::number(kVersion), programDir,
                    QDir::toNativeSeparators(resultFilePath(programDir, seed)), seed,
                    wholeSeed ? u"1"_s : u"0"_s})) {
        closeFile();
        QFile::remove(path);
        m_file.setFileName(QString());
        m_lock.reset();
        return false;
    }
    syncToDisk(m_file.handle());
    syncFolder(folder);
    m_sinceSync.start();
    return true;
}

Journal::Resume Journal::resume(const QString &folder, const QString &programDir,
                                const KeptRun &kept)
{
    const QString keptPath = QDir::fromNativeSeparators(kept.path);
    QLockFile lock(keptPath + u".lock"_s);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(kLockWaitMs))
        return Resume::Changed;
    QFile file(keptPath);
    if (!file.open(QIODevice::ReadOnly) || digestOf(file.readAll()) != kept.digest)
        return Resume::Changed;
    file.close();

    const JournalContents &run = kept.run;
    if (!start(folder, programDir, run.seed, run.wholeSeed))
        return Resume::Unwritable;
    record(run.keywords, run.asked);
    bool whole = m_written == run.keywords.size() && m_asked == run.asked;
    if (whole && !run.pace.isEmpty())
        whole = writeLine(QStringList{u"pace"_s} + run.pace);
    // On the disk before the kept run goes, so that a power cut leaves one or the other.
    if (!whole || !syncToDisk(m_file.handle())) {
        closeFile();
        QFile::remove(m_file.fileName());
        m_file.setFileName(QString());
        m_lock.reset();
        return Resume::Unwritable;
    }
    m_baseSize = m_file.pos();
    m_baseEnd = endLine(run.ending.value_or(RunEnding::Crash), run.endTime);
    QFile::remove(keptPath);
    syncFolder(folder);
    return Resume::Resumed;
}

bool Journal::writeLine(const QStringList &fields)
{
    const QByteArray line = encodeJournalLine(fields);
    const qint64 before = m_file.pos();
    if (m_file.write(line) == line.size())
        return true;
    // A record cut short would spoil the one after it: take it back out, or stop writing.
    if (!m_file.resize(before) || !m_file.seek(before))
        closeFile();
    return false;
}

void Journal::record(const QStringList &harvest, qsizetype asked)
{
    if (!isOpen() || (harvest.size() <= m_written && asked == m_asked))
        return;
    QStringList fields{u"k"_s, QString::number(asked)};
    fields.append(harvest.mid(m_written));
    if (!writeLine(fields))
        return;
    m_written = harvest.size();
    m_asked = asked;
    sync();
}

void Journal::end(RunEnding ending, const QDateTime &when, const QStringList &pace)
{
    if (!isOpen())
        return;
    if (!pace.isEmpty())
        writeLine(QStringList{u"pace"_s} + pace);
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

void Journal::beginSave(const QString &seed, bool append, const QDateTime &when)
{
    if (!isOpen())
        return;
    const qint64 offset = append ? sizeOf(resultFilePath(m_programDir, seed)) : 0;
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
    m_file.setFileName(QString());
    m_lock.reset();
}

void Journal::remove()
{
    m_syncLater.stop();
    closeFile();
    // Also a journal that stopped being written after a failed write: the run is saved.
    if (!m_file.fileName().isEmpty())
        QFile::remove(m_file.fileName());
    m_file.setFileName(QString());
    m_lock.reset();
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
    m_file.setFileName(QString());
    const bool kept = synced && keepFile(path, m_folder, m_seed);
    m_lock.reset();
    return kept;
}

void Journal::discard()
{
    const QString path = m_file.fileName();
    if (m_baseSize == 0 || path.isEmpty())
        return remove();
    m_syncLater.stop();
    closeFile();
    m_file.setFileName(QString());
    // Nothing of the kept run was lost: it goes back as it was, its own end included.
    if (!QFile::resize(path, m_baseSize) || !appendLine(path, m_baseEnd) ||
        !keepFile(path, m_folder, m_seed))
        QFile::remove(path);
    m_baseSize = 0;
    m_lock.reset();
}

JournalContents parseJournal(const QByteArray &bytes)
{
    JournalContents j;
    qsizetype start = 0;
    bool first = true;
    // A last line without its line end was cut short: it is left out.
    for (qsizetype end; (end = bytes.indexOf('\n', start)) >= 0; start = end + 1) {
        j.wholeSize = end + 1;
        const std::optional<QStringList> fields =
            decodeLine(QByteArrayView(bytes).sliced(start, end - start));
        if (first) {
            first = false;
            const std::optional<qint64> version =
                fields && fields->size() >= 2 && fields->at(0) == kMagic
                    ? strictNumber(fields->at(1))
                    : std::nullopt;
            if (version && *version > kVersion) {
                j.newer = true;
                return j;
            }
            if (!version || *version < 1 || fields->size() != (*version == 1 ? 5 : 6))
                return j;
            j.ok = true;
            j.version = int(*version);
            j.programDir = fields->at(2);
            j.seed = fields->at(4);
            j.wholeSeed = j.version >= 2 && fields->at(5) == u"1"_s;
            continue;
        }
        if (!fields || fields->isEmpty()) {
            j.damaged = true;
            continue;
        }
        const QString &kind = fields->at(0);
        if (kind == u"k"_s && j.version == 1) {
            j.keywords.append(fields->mid(1));
        } else if (kind == u"k"_s && fields->size() >= 2) {
            j.keywords.append(fields->mid(2));
            // The count only grows, and never past the keywords there are to ask.
            const std::optional<qint64> asked = strictNumber(fields->at(1));
            if (asked && *asked >= j.asked && *asked <= j.keywords.size())
                j.asked = *asked;
            else
                j.damaged = true;
        } else if (kind == u"save"_s && fields->size() == 5) {
            j.saving = true;
            j.saveSeed = fields->at(1);
            j.saveAppend = fields->at(2) == u"append"_s;
            j.saveOffset = fields->at(3).toLongLong();
            j.saveTime = QDateTime::fromString(fields->at(4), Qt::ISODateWithMs);
        } else if (kind == u"end"_s && fields->size() == 3 && endingNamed(fields->at(1)) &&
                   QDateTime::fromString(fields->at(2), Qt::ISODateWithMs).isValid()) {
            j.ending = endingNamed(fields->at(1));
            j.endTime = QDateTime::fromString(fields->at(2), Qt::ISODateWithMs);
        } else if (kind == u"pace"_s) {
            j.pace = fields->mid(1);
        } else {
            j.damaged = true;
        }
    }
    return j;
}

JournalContents readJournal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseJournal(file.readAll());
}

bool JournalContents::canContinue() const
{
    if (!ok || version < 2 || damaged || unasked() <= 0)
        return false;
    // A harvest holds each keyword once, and never an empty one.
    const QSet<QString> distinct(keywords.cbegin(), keywords.cend());
    return distinct.size() == keywords.size() && !distinct.contains(QString());
}

namespace {

KeptRun readKept(const QString &path, int lockWaitMs)
{
    KeptRun k;
    k.path = QDir::toNativeSeparators(path);
    if (!QFileInfo::exists(path))
        return k;
    QLockFile lock(path + u".lock"_s);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(lockWaitMs)) {
        k.status = KeptRun::Status::InUse;
        return k;
    }
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
    else if (k.run.canContinue() && k.run.ending && k.run.wholeSize == bytes.size() &&
             keptRunName(k.run.seed) == QFileInfo(path).fileName())
        k.status = KeptRun::Status::Ok;
    else
        k.status = KeptRun::Status::Unreadable;
    return k;
}

// A recovered journal with keywords left to ask becomes its seed's kept run; else it goes.
bool keepRecovered(const QString &path, const JournalContents &j, const QDateTime &lastWrite)
{
    const bool kept = j.canContinue() &&
                      (j.ending || appendLine(path, endLine(RunEnding::Crash, lastWrite))) &&
                      keepFile(path, QFileInfo(path).path(), j.seed);
    if (!kept)
        QFile::remove(path);
    return kept;
}

} // namespace

QString keptRunPath(const QString &folder, const QString &seed)
{
    return QDir(folder).filePath(keptRunName(seed));
}

KeptRun readKeptRun(const QString &folder, const QString &seed)
{
    KeptRun k = readKept(keptRunPath(folder, seed), kLockWaitMs);
    if (k.status == KeptRun::Status::Ok && k.run.seed != seed)
        k.status = KeptRun::Status::Unreadable;
    return k;
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
        const qint64 size = file.size();
        const qint64 from = std::max(file.pos(), size - kGlanceBytes);
        QByteArray tail;
        if (file.seek(from))
            tail = file.read(size - from);
        const qsizetype start = tail.lastIndexOf('\n', tail.size() - 2) + 1;
        const std::optional<QStringList> last =
            tail.endsWith('\n') ? decodeLine(QByteArrayView(tail).sliced(start).chopped(1))
                                : std::nullopt;
        k.run = parseJournal(head);
        if (k.run.newer)
            k.status = KeptRun::Status::Newer;
        else if (!k.run.ok || k.run.version < 2 || !last || last->isEmpty() ||
                 (last->first() != u"end"_s && last->first() != u"save"_s))
            k.status = KeptRun::Status::Unreadable;
        else
            continue;
        out.append(std::move(k));
    }
    return out;
}

void forgetKeptRun(const QString &folder, const QString &seed)
{
    const QString path = keptRunPath(folder, seed);
    QLockFile lock(path + u".lock"_s);
    lock.setStaleLockTime(0);
    if (lock.tryLock(kLockWaitMs))
        QFile::remove(path);
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
    const QString file = resultFilePath(base, seed);
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
    appendLine(path, saveLine(seed, true, sizeOf(file), now));
    r.save = saveResults(base, seed, j.keywords, true, now);
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
