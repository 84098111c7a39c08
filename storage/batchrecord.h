#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// A batch of seeds harvested one after another, as far as it got: kept in the journal folder
// from its start to its last seed's end, so that a stop, a give-up or a crash can be continued
// from the seed it reached. Lines of the run's record format, replaced whole at each step.
struct BatchRecord {
    QStringList seeds;
    bool wholeSeed = false;
    QList<qint64> counts; // keywords of each seed done so far, -1 where its harvest failed

    qsizetype next() const { return counts.size(); } // the seed the batch goes on with
};

std::optional<BatchRecord> readBatchRecord(const QString &folder);
bool writeBatchRecord(const QString &folder, const BatchRecord &record);
void forgetBatchRecord(const QString &folder);

// A text file of seeds, one a line: UTF-8 (with or without its byte-order mark) or GBK, CR LF
// or LF. Refused (error says why) when it is unreadable, larger than kMaxSeedFileBytes, or not
// text.
struct SeedFile {
    QStringList lines;
    QString error;
};
inline constexpr qint64 kMaxSeedFileBytes = 1024 * 1024;
SeedFile readSeedFile(const QString &path);
SeedFile decodeSeedText(const QByteArray &bytes);
