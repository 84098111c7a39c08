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

QString recordPath(const QString &folder)
{
    return QDir(folder).filePath(u"seeds.batch"_s);
}

} // namespace

std::optional<BatchRecord> readBatchRecord(const QString &folder)
{
    QFile file(recordPath(folder));
    if (folder.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Header, seeds, counts, and the empty piece after the last line end.
    if (lines.size() != 4 || !lines.last().isEmpty())
        return std::nullopt;
    const auto header = decodeJournalLine(lines.at(0));
    const auto seeds = decodeJournalLine(lines.at(1));
    const auto counts = decodeJournalLine(lines.at(2));
    if (!header || header->size() != 3 || header->at(0) != kMagic || header->at(1) != u"1"_s ||
        !seeds || seeds->size() < 2 || seeds->first() != u"seeds"_s || !counts ||
        counts->isEmpty() || counts->first() != u"done"_s || counts->size() > seeds->size())
        return std::nullopt;
    BatchRecord record;
    record.wholeSeed = header->at(2) == u"1"_s;
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

bool writeBatchRecord(const QString &folder, const BatchRecord &record)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    QStringList counts{u"done"_s};
    for (const qint64 n : record.counts)
        counts.append(QString::number(n));
    QSaveFile file(recordPath(folder));
    return file.open(QIODevice::WriteOnly) &&
           file.write(encodeJournalLine({kMagic, u"1"_s, record.wholeSeed ? u"1"_s : u"0"_s}) +
                      encodeJournalLine(QStringList{u"seeds"_s} + record.seeds) +
                      encodeJournalLine(counts)) > 0 &&
           file.commit();
}

void forgetBatchRecord(const QString &folder)
{
    if (!folder.isEmpty())
        QFile::remove(recordPath(folder));
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
        // Not UTF-8: the Chinese ANSI code page.
        bool gbk = false;
        decoded = fromGbk(text, &gbk);
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
