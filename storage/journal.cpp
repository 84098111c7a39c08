#include "storage/journal.h"

#include "storage/durable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <future>
#include <optional>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

const QString kMagic = u"tailspade-journal"_s;
const QString kVersion = u"1"_s;
constexpr int kSyncMs = 1000;

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

QByteArray encodeLine(const QStringList &fields)
{
    QStringList parts;
    parts.reserve(fields.size());
    for (const QString &field : fields)
        parts.append(escaped(field));
    const QByteArray bytes = parts.join(u'\t').toUtf8();
    return QByteArray::number(checksum(bytes), 16).rightJustified(8, '0') + ' ' + bytes + '\n';
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
    const QByteArray line = encodeLine(fields);
    const bool ok = file.write(line) == line.size();
    syncToDisk(file.handle());
    return ok;
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

Journal::Journal()
{
    m_syncLater.setSingleShot(true);
    m_syncLater.callOnTimeout([this] { sync(); });
}

Journal::~Journal()
{
    close();
}

bool Journal::start(const QString &folder, const QString &programDir, const QString &seed)
{
    close();
    m_written = 0;
    m_programDir = programDir;
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
        !writeLine({kMagic, kVersion, programDir,
                    QDir::toNativeSeparators(resultFilePath(programDir, seed)), seed})) {
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

bool Journal::writeLine(const QStringList &fields)
{
    const QByteArray line = encodeLine(fields);
    const qint64 before = m_file.pos();
    if (m_file.write(line) == line.size())
        return true;
    // A record cut short would spoil the one after it: take it back out, or stop writing.
    if (!m_file.resize(before) || !m_file.seek(before))
        closeFile();
    return false;
}

void Journal::record(const QStringList &harvest)
{
    if (!isOpen() || harvest.size() <= m_written)
        return;
    QStringList fields{u"k"_s};
    fields.append(harvest.mid(m_written));
    if (!writeLine(fields))
        return;
    m_written = harvest.size();
    sync();
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

JournalContents readJournal(const QString &path)
{
    JournalContents j;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return j;
    const QByteArray bytes = file.readAll();
    qsizetype start = 0;
    bool first = true;
    // A last line without its line end was cut short: it is left out.
    for (qsizetype end; (end = bytes.indexOf('\n', start)) >= 0; start = end + 1) {
        const std::optional<QStringList> fields =
            decodeLine(QByteArrayView(bytes).sliced(start, end - start));
        if (first) {
            first = false;
            if (!fields || fields->size() != 5 || fields->at(0) != kMagic ||
                fields->at(1) != kVersion)
                return j;
            j.ok = true;
            j.programDir = fields->at(2);
            j.seed = fields->at(4);
            continue;
        }
        if (!fields || fields->isEmpty())
            continue;
        if (fields->at(0) == u"k"_s) {
            j.keywords.append(fields->mid(1));
        } else if (fields->at(0) == u"save"_s && fields->size() == 5) {
            j.saving = true;
            j.saveSeed = fields->at(1);
            j.saveAppend = fields->at(2) == u"append"_s;
            j.saveOffset = fields->at(3).toLongLong();
            j.saveTime = QDateTime::fromString(fields->at(4), Qt::ISODateWithMs);
        }
    }
    return j;
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
    const JournalContents j = readJournal(path);
    if (!j.ok) {
        r.status = JournalRecovery::Status::Unreadable;
        return r;
    }
    r.count = j.keywords.size();
    if (j.keywords.isEmpty()) {
        QFile::remove(path);
        r.status = JournalRecovery::Status::Empty;
        return r;
    }

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
            QFile::remove(path);
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
    QFile::remove(path);
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
