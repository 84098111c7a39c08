#include "storage/batchrecord.h"

#include "storage/journalline.h"
#include "storage/resultfile.h"
#include "text/codepage.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

const QString kMagic = u"tailspade-batch"_s;
const QString kVersion = u"3"_s; // 2: no start time; 1: no save mode, answer or notes

QString recordPath(const QString &folder)
{
    return QDir(folder).filePath(u"seeds.batch"_s);
}

QString partsPath(const QString &folder)
{
    return recordPath(folder) + u".rows"_s;
}

} // namespace

BatchLock::BatchLock(const QString &folder)
    : m_lock(recordPath(folder) + u".lock"_s)
{
    m_lock.setStaleLockTime(0); // only a program that is gone leaves its lock behind
    m_held = !folder.isEmpty() && QDir().mkpath(folder) && m_lock.tryLock(0);
}

std::optional<BatchRecord> parseBatchRecord(const QByteArray &bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    // Header, seeds, counts, (from version 2) notes, and the empty piece after the last line
    // end.
    if (lines.size() < 4 || lines.size() > 5 || !lines.last().isEmpty())
        return std::nullopt;
    const auto header = decodeJournalLine(lines.at(0));
    const auto seeds = decodeJournalLine(lines.at(1));
    const auto counts = decodeJournalLine(lines.at(2));
    if (!header || header->size() < 3 || header->at(0) != kMagic || !seeds || seeds->size() < 2 ||
        seeds->first() != u"seeds"_s || !counts || counts->isEmpty() ||
        counts->first() != u"done"_s || counts->size() > seeds->size())
        return std::nullopt;
    BatchRecord record;
    const bool v1 = header->at(1) == u"1"_s && header->size() == 3 && lines.size() == 4;
    const bool v2 = header->at(1) == u"2"_s && header->size() == 5 && lines.size() == 5;
    const bool v3 = header->at(1) == kVersion && header->size() == 6 && lines.size() == 5;
    if (!v1 && !v2 && !v3)
        return std::nullopt;
    record.wholeSeed = header->at(2) == u"1"_s;
    if (v3) {
        record.started = QDateTime::fromString(header->at(5), Qt::ISODate);
        if (!header->at(5).isEmpty() && !record.started.isValid())
            return std::nullopt;
    }
    if (v2 || v3) {
        const auto notes = decodeJournalLine(lines.at(3));
        if (!notes || notes->size() != counts->size() || notes->first() != u"notes"_s)
            return std::nullopt;
        record.notes = notes->mid(1);
        record.append = header->at(3) != u"overwrite"_s;
        record.keptRuns = header->at(4) == u"restart"_s ? BatchRecord::KeptRuns::Restart
                                                        : BatchRecord::KeptRuns::Continue;
    } else {
        for (qsizetype i = 1; i < counts->size(); ++i)
            record.notes.append(QString());
    }
    record.seeds = seeds->mid(1);
    for (const QString &text : counts->mid(1)) {
        bool ok = false;
        const qint64 n = text.toLongLong(&ok);
        if (!ok || n < -1)
            return std::nullopt;
        record.counts.append(n);
    }
    for (const QString &seed : std::as_const(record.seeds))
        if (!isKeywordText(seed))
            return std::nullopt;
    return record;
}

QByteArray encodeBatchRecord(const BatchRecord &record)
{
    QStringList counts{u"done"_s};
    for (const qint64 n : record.counts)
        counts.append(QString::number(n));
    QStringList notes{u"notes"_s};
    for (qsizetype i = 0; i < record.counts.size(); ++i)
        notes.append(record.notes.value(i));
    const bool restart = record.keptRuns == BatchRecord::KeptRuns::Restart;
    return encodeJournalLine({kMagic, kVersion, record.wholeSeed ? u"1"_s : u"0"_s,
                              record.append ? u"append"_s : u"overwrite"_s,
                              restart ? u"restart"_s : u"continue"_s,
                              record.started.toString(Qt::ISODate)}) +
           encodeJournalLine(QStringList{u"seeds"_s} + record.seeds) + encodeJournalLine(counts) +
           encodeJournalLine(notes);
}

KeptBatchRecord readBatchRecord(const QString &folder)
{
    KeptBatchRecord out;
    QFile file(recordPath(folder));
    if (folder.isEmpty() || !file.exists())
        return out;
    if (BatchLock(folder).inUse()) {
        out.status = KeptBatchRecord::Status::InUse;
        return out;
    }
    std::optional<BatchRecord> record;
    if (file.open(QIODevice::ReadOnly))
        record = parseBatchRecord(file.readAll());
    out.status = record ? KeptBatchRecord::Status::Ok : KeptBatchRecord::Status::Unreadable;
    if (record)
        out.record = *record;
    return out;
}

bool writeBatchRecord(const QString &folder, const BatchRecord &record)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    QSaveFile file(recordPath(folder));
    return file.open(QIODevice::WriteOnly) && file.write(encodeBatchRecord(record)) > 0 &&
           file.commit();
}

void forgetBatchRecord(const QString &folder)
{
    if (!folder.isEmpty()) {
        QFile::remove(recordPath(folder));
        QFile::remove(partsPath(folder));
    }
}

bool appendBatchPart(const QString &folder, qsizetype index, const HarvestPart &part)
{
    QStringList fields{u"part"_s, QString::number(index), part.seed};
    fields.reserve(3 + 2 * part.keywords.size());
    for (qsizetype i = 0; i < part.keywords.size(); ++i) {
        const qint32 parent =
            i < part.origins.size() ? part.origins.parents.at(i) : Origins::kUnknown;
        fields << part.keywords.at(i)
               << (parent == Origins::kUnknown ? QString() : QString::number(parent));
    }
    QFile file(partsPath(folder));
    if (folder.isEmpty() || !QDir().mkpath(folder) || !file.open(QIODevice::ReadWrite))
        return false;
    // A line a crash cut short stays alone on its line, where reading skips it.
    QByteArray line = encodeJournalLine(fields);
    if (file.size() > 0 && file.seek(file.size() - 1) && file.read(1) != "\n")
        line.prepend('\n');
    return file.seek(file.size()) && file.write(line) == line.size() && file.flush();
}

QMap<qsizetype, HarvestPart> readBatchParts(const QString &folder)
{
    QMap<qsizetype, HarvestPart> parts;
    QFile file(partsPath(folder));
    if (folder.isEmpty() || !file.open(QIODevice::ReadOnly))
        return parts;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const std::optional<QStringList> fields = decodeJournalLine(line);
        bool ok = false;
        const qsizetype index =
            fields && fields->size() >= 3 && fields->size() % 2 == 1 && fields->first() == u"part"_s
                ? fields->at(1).toLongLong(&ok)
                : -1;
        if (!ok || index < 0)
            continue;
        HarvestPart part;
        part.seed = fields->at(2);
        for (qsizetype i = 3; i < fields->size(); i += 2) {
            part.keywords << fields->at(i);
            bool known = false;
            const qint32 parent = fields->at(i + 1).toInt(&known);
            part.origins.append(known ? parent : Origins::kUnknown);
        }
        parts.insert(index, part); // a seed done again after a crash: its latest harvest
    }
    return parts;
}

QString batchRecordPath(const QString &folder)
{
    return QDir::toNativeSeparators(recordPath(folder));
}

SeedFile decodeSeedText(const QByteArray &bytes)
{
    SeedFile out;
    if (bytes.size() > kMaxSeedFileBytes) {
        out.error = u"文件超过1 MB"_s;
        return out;
    }
    if (bytes.contains('\0')) {
        out.error = u"不是文本文件"_s;
        return out;
    }
    QByteArrayView text(bytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(text);
    if (utf8.hasError()) {
        // Not UTF-8: the Chinese ANSI code page, with the four-byte forms that the result files
        // hold for what GBK cannot (the whole of GB18030).
        bool gbk = false;
        decoded = fromGbk(text, &gbk);
        if (!gbk) {
            decoded = fromGbkWithFourByteForms(text);
            gbk = !decoded.contains(QChar::ReplacementCharacter) && toGbk(decoded) == text;
        }
        if (!gbk) {
            out.error = u"不是GBK或UTF-8编码的文本文件"_s;
            return out;
        }
    }
    decoded.replace(u"\r\n"_s, u"\n"_s);
    out.lines = decoded.split(u'\n');
    if (out.lines.last().isEmpty())
        out.lines.removeLast(); // the end of the last line
    return out;
}

SeedFile readSeedFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, u"无法读取文件（"_s + file.errorString() + u"）"_s};
    return decodeSeedText(file.read(kMaxSeedFileBytes + 1)); // one byte more: too large
}
