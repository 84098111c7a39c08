#pragma once

#include "storage/origins.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <optional>

// How a run ended, as its journal keeps it. A run that ends by asking every keyword keeps
// nothing, so it has no entry here.
enum class RunEnding { Crash, Stop, GiveUp, Target };

// The lines of a run's record, journal and kept run alike. UTF-8 lines, each
// "<checksum> <fields>\n" with the fields tab-separated and backslash-escaped; a line cut short
// or damaged is skipped on reading.
//   header: magic, version, results folder, result file, seed, "1" when candidates must hold
//           the whole seed (version 2; version 1 ends at the seed and is still read)
//   k:      queue entries asked so far (-1 before the seed's page), then (version 3) the
//           position of the keyword whose page gave the keywords that follow (-1: the seed's,
//           empty: unknown), then the keywords the tick added (version 1: the keywords only)
//   pace:   the learned pace, key=value fields the reader hands back as they are; none at all
//           is full speed
//   end:    how the run ended (stop, giveup, target, crash) and when
//   save:   written just before an end's save, where that save starts in the result file, so
//           that a kill between the save and the journal's removal does not save twice
struct JournalContents {
    bool ok = false;    // the first line was readable, of a version this program reads
    bool newer = false; // written by a newer program: not read
    int version = 0;
    QString programDir, seed;
    QString resultFile; // native, as the run began
    bool wholeSeed = false;
    QStringList keywords;
    Origins origins;      // one per keyword; unknown before version 3
    qsizetype asked = -1; // queue entries asked; -1 also when a version 1 journal
    std::optional<RunEnding> ending;
    QDateTime endTime;
    QStringList pace;
    bool saving = false; // a save was begun
    QString saveSeed;
    bool saveAppend = false;
    qint64 saveOffset = 0;
    QDateTime saveTime;
    qint64 wholeSize = 0; // bytes up to the end of the last whole line
    // A line before the last failed its checksum or made no sense, or a keyword is none a
    // harvest keeps (left out).
    bool damaged = false;
    bool endsWhole = false; // the last line is a whole end or save line, as a kept run's is

    // Queue entries not yet asked about.
    qsizetype unasked() const { return keywords.size() - std::max<qsizetype>(asked, 0); }
    // Whole and consistent enough to go on from, with something left to ask.
    bool canContinue() const;
};
JournalContents readJournal(const QString &path);
JournalContents parseJournal(const QByteArray &bytes);

// One line of fields as the journal writes it, checksum and line end included.
QByteArray encodeJournalLine(const QStringList &fields);
// The fields of one whole, undamaged line, without its line end; nothing for any other.
std::optional<QStringList> decodeJournalLine(QByteArrayView line);

// A whole end or save line: what a finished run's record ends in.
bool isClosingLine(const std::optional<QStringList> &fields);

QStringList journalHeader(const QString &programDir, const QString &resultFile, const QString &seed,
                          bool wholeSeed);
QStringList endLine(RunEnding ending, const QDateTime &when);
QStringList saveLine(const QString &seed, bool append, qint64 offset, const QDateTime &when);
QStringList paceLine(const QStringList &pace);
