#pragma once

#include "storage/export.h"

#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

// A batch of seeds harvested one after another, as far as it got: kept in the journal folder
// from its start to its last seed's end, so that a stop, a give-up or a crash can be continued
// from the seed it reached. Lines of the run's record format, replaced whole at each step.
// Every choice made for the batch is in it: a continued batch asks nothing the first start
// asked.
struct BatchRecord {
    enum class KeptRuns { Continue, Restart }; // the answer for the seeds' own kept runs
    QStringList seeds;
    bool wholeSeed = false;
    bool append = true; // a record from 1.3 did not say: appending loses nothing
    KeptRuns keptRuns = KeptRuns::Continue;
    QList<qint64> counts; // keywords of each seed done so far, -1 where its harvest failed
    QStringList notes;    // of each seed done, what the end box says of it besides its count
    QDateTime started;    // an older record did not say

    qsizetype next() const { return counts.size(); } // the seed the batch goes on with
    bool finished() const { return counts.size() >= seeds.size(); }
};

struct KeptBatchRecord {
    enum class Status { None, Ok, Unreadable, InUse };
    Status status = Status::None;
    BatchRecord record;
};

// The running batch's lock: while one copy holds it, no other offers or replaces its record.
class BatchLock final {
public:
    explicit BatchLock(const QString &folder);
    bool held() const { return m_held; }
    bool inUse() const { return m_lock.error() == QLockFile::LockFailedError; }

private:
    QLockFile m_lock;
    bool m_held = false;
};

std::optional<BatchRecord> parseBatchRecord(const QByteArray &bytes);
QByteArray encodeBatchRecord(const BatchRecord &record);
// The record as 批量采集… finds it; InUse while another copy holds its lock.
KeptBatchRecord readBatchRecord(const QString &folder);
bool writeBatchRecord(const QString &folder, const BatchRecord &record);
void forgetBatchRecord(const QString &folder); // and its parts
// The harvest of each seed done, with where each keyword came from, kept beside the record
// until the batch ends, for its workbook: one line a seed, appended once its save succeeded.
bool appendBatchPart(const QString &folder, qsizetype index, const HarvestPart &part);
// By the seed's place in the batch; lines a crash cut short are skipped.
QMap<qsizetype, HarvestPart> readBatchParts(const QString &folder);
QString batchRecordPath(const QString &folder); // native

// A text file of seeds, one a line: UTF-8 (with or without its byte-order mark) or GB18030
// (GBK and its four-byte forms, as the result files hold them), CR LF or LF. Refused (error
// says why) when it is unreadable, larger than kMaxSeedFileBytes, or not text.
struct SeedFile {
    QStringList lines;
    QString error;
};
inline constexpr qint64 kMaxSeedFileBytes = 1024 * 1024;
SeedFile readSeedFile(const QString &path);
SeedFile decodeSeedText(const QByteArray &bytes);
