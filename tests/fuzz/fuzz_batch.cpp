// Batch records and seed files of any content. A record is trusted only whole: its seeds are
// seeds a run can take, it reads back as written, and a seed file gives only seeds the record
// takes.
//
// Input: a flags byte. Flag 1: the rest is a seed file as it stands. Otherwise the rest is
// record lines, each written with its checksum made for it (fields split at tabs), or as it
// stands when it begins with '!'; flag 2 then cuts the last line end off.

#include "fuzzinput.h"
#include "mining/batch.h"
#include "storage/batchrecord.h"
#include "storage/journalline.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QTemporaryDir *g_dir = nullptr;

bool same(const BatchRecord &a, const BatchRecord &b)
{
    return a.seeds == b.seeds && a.wholeSeed == b.wholeSeed && a.append == b.append &&
           a.keptRuns == b.keptRuns && a.counts == b.counts && a.notes == b.notes &&
           a.started == b.started;
}

QString describe(const BatchRecord &r)
{
    return r.seeds.join(u'|') + u" done "_s + QString::number(r.counts.size());
}

void checkRecord(const QByteArray &bytes)
{
    const std::optional<BatchRecord> r = parseBatchRecord(bytes);
    if (!r)
        return;
    FUZZ_CHECK(!r->seeds.isEmpty() && r->counts.size() <= r->seeds.size() &&
                   r->notes.size() == r->counts.size(),
               describe(*r));
    for (const QString &seed : r->seeds)
        FUZZ_CHECK(isKeywordText(seed), describe(*r));
    for (const qint64 n : r->counts)
        FUZZ_CHECK(n >= -1, describe(*r));
    const std::optional<BatchRecord> again = parseBatchRecord(encodeBatchRecord(*r));
    FUZZ_CHECK(again && same(*again, *r), describe(*r));
    // From its folder, as 批量采集… reads it.
    const QString folder = g_dir->filePath(u"journal"_s);
    FUZZ_CHECK(writeBatchRecord(folder, *r), folder);
    const KeptBatchRecord kept = readBatchRecord(folder);
    FUZZ_CHECK(kept.status == KeptBatchRecord::Status::Ok && same(kept.record, *r), describe(*r));
    forgetBatchRecord(folder);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzzAppAndFolder("fuzz_batch");
    return g_dir ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t flags = in.byte();
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1,
                          qsizetype(size > 0 ? size - 1 : 0));
    if (flags & 1) {
        const SeedFile file = decodeSeedText(rest);
        FUZZ_CHECK(file.error.isEmpty() || file.lines.isEmpty(), file.error);
        for (const QString &line : file.lines)
            FUZZ_CHECK(!line.contains(u'\n'), line);
        // Whatever the dialog makes of it, the record takes and gives back.
        BatchRecord record;
        record.seeds = cleanSeeds(file.lines).seeds;
        for (const QString &seed : record.seeds)
            FUZZ_CHECK(isKeywordText(seed) && seed == seed.trimmed(), seed);
        if (!record.seeds.isEmpty()) {
            const std::optional<BatchRecord> back = parseBatchRecord(encodeBatchRecord(record));
            FUZZ_CHECK(back && back->seeds == record.seeds, describe(record));
        }
        return 0;
    }
    QByteArray bytes;
    for (const QByteArray &line : rest.split('\n')) {
        if (line.startsWith('!'))
            bytes += line.mid(1) + '\n';
        else
            bytes += encodeJournalLine(QString::fromUtf8(line).split(u'\t'));
    }
    if (flags & 2)
        bytes.chop(1);
    checkRecord(bytes);
    return 0;
}
