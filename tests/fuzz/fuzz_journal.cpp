// Journals and kept runs of any content. Reading trusts nothing it cannot check, and the glance
// at start-up agrees with the full read; a recovery
// never touches a result file for a journal it cannot read or that a newer program wrote; a
// kept run reads back as it was written, and a continued run left unsaved gives it back whole.
//
// Input: a flags byte, then text lines. Each line is written with its checksum made for it
// (fields split at tabs), or as it stands when it begins with '!'. Flag 1 cuts the last line
// end off.

#include "fuzzinput.h"
#include "storage/journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Never destroyed: at exit Qt's own globals may already be gone.
QTemporaryDir *g_dir = nullptr;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What a continued run takes over from a kept run.
bool sameRun(const JournalContents &a, const JournalContents &b)
{
    return a.seed == b.seed && a.wholeSeed == b.wholeSeed && a.keywords == b.keywords &&
           a.asked == b.asked && a.ending == b.ending && a.endTime == b.endTime && a.pace == b.pace;
}

QString describe(const JournalContents &j)
{
    return j.seed + u" asked "_s + QString::number(j.asked) + u" of "_s + j.keywords.join(u'|') +
           u" pace "_s + j.pace.join(u'|');
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzzAppAndFolder("fuzz_journal");
    return g_dir ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t flags = in.byte();
    QByteArray bytes;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1,
                          qsizetype(size > 0 ? size - 1 : 0));
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith('!'))
            bytes += line.mid(1) + '\n';
        else
            bytes += encodeJournalLine(QString::fromUtf8(line).split(u'\t'));
    }
    if (flags & 1)
        bytes.chop(1);

    const JournalContents j = parseJournal(bytes);
    FUZZ_CHECK(!(j.newer && j.ok), describe(j));
    FUZZ_CHECK(j.wholeSize <= bytes.size() &&
                   (j.wholeSize == 0 || bytes.at(j.wholeSize - 1) == '\n'),
               describe(j));
    if (j.ok && j.version >= 2)
        FUZZ_CHECK(j.asked >= -1 && j.asked <= j.keywords.size(), describe(j));
    // One origin a keyword, each from the seed's page or an earlier keyword's.
    FUZZ_CHECK(j.origins.size() == j.keywords.size(), describe(j));
    for (qsizetype i = 0; i < j.origins.size(); ++i)
        FUZZ_CHECK(j.origins.parents.at(i) >= Origins::kUnknown && j.origins.parents.at(i) < i,
                   describe(j));
    // Nothing read back can put more than one line into a result file.
    for (const QString &keyword : j.keywords)
        FUZZ_CHECK(isKeywordText(keyword), describe(j));

    const QString folder = g_dir->filePath(u"journal"_s);
    const QString programDir = g_dir->filePath(u"program"_s);
    QDir(folder).removeRecursively();
    QDir(programDir).removeRecursively();
    QDir().mkpath(folder);
    QDir().mkpath(programDir);
    const QString keywords = QDir(programDir).filePath(u"Keywords"_s);

    // As the seed's kept run: trusted only when whole, consistent and ended.
    const QString seed = j.ok ? j.seed : u"x"_s;
    const QString keptPath = keptRunPath(folder, seed);
    FUZZ_CHECK(QFileInfo(keptPath).path() == folder, keptPath);
    FUZZ_CHECK(writeAll(keptPath, bytes), keptPath);
    const KeptRun kept = readKeptRun(folder, seed);
    FUZZ_CHECK((kept.status == KeptRun::Status::Newer) == j.newer, describe(j));
    const bool whole = j.canContinue() && j.ending && j.endsWhole;
    FUZZ_CHECK((kept.status == KeptRun::Status::Ok) == whole, describe(j));
    // The glance at start-up never calls damaged what the full read takes.
    if (whole)
        FUZZ_CHECK(glanceAtKeptRuns(folder).isEmpty(), describe(j));
    if (whole) {
        FUZZ_CHECK(sameRun(kept.run, j), describe(kept.run));
        // Written anew by the program, it reads back the same.
        const QString again = g_dir->filePath(u"again"_s);
        QDir(again).removeRecursively();
        {
            Journal journal;
            FUZZ_CHECK(journal.start(again, programDir, j.seed, j.wholeSeed), again);
            journal.record(j.keywords, j.asked);
            journal.end(*j.ending, j.endTime, j.pace);
            FUZZ_CHECK(journal.keep(), again);
        }
        const KeptRun rewritten = readKeptRun(again, j.seed);
        FUZZ_CHECK(rewritten.status == KeptRun::Status::Ok && sameRun(rewritten.run, j),
                   describe(rewritten.run));
        // Taken by a continued run, then left unsaved: it comes back.
        {
            Journal journal;
            FUZZ_CHECK(journal.resume(folder, programDir, kept) == Journal::Resume::Resumed,
                       keptPath);
            FUZZ_CHECK(!QFileInfo::exists(keptPath), keptPath);
            journal.record(j.keywords + QStringList{u"新"_s + j.keywords.join(u'+')},
                           j.keywords.size());
            journal.discard();
        }
        const KeptRun back = readKeptRun(folder, seed);
        FUZZ_CHECK(back.status == KeptRun::Status::Ok && sameRun(back.run, j), describe(back.run));
    }
    FUZZ_CHECK(!QFileInfo::exists(keywords), keywords);
    QFile::remove(keptPath);

    // As a journal left by a run that never saved. A journal names the folder it saves to:
    // never let one choose a folder here.
    if (j.ok && QFileInfo(j.programDir).isDir())
        return 0;
    const QString path = QDir(folder).filePath(u"run-1.journal"_s);
    FUZZ_CHECK(writeAll(path, bytes), path);
    const QDateTime now(QDate(2026, 1, 6), QTime(8, 0, 0));
    const JournalRecovery r = recoverJournal(path, now, programDir);
    if (j.newer || !j.ok) {
        FUZZ_CHECK(r.status == (j.newer ? JournalRecovery::Status::Newer
                                        : JournalRecovery::Status::Unreadable),
                   describe(j));
        FUZZ_CHECK(readAll(path) == bytes, path);
        FUZZ_CHECK(!QFileInfo::exists(keywords), keywords);
        return 0;
    }
    FUZZ_CHECK(!QFileInfo::exists(path), path);
    if (j.keywords.isEmpty()) {
        FUZZ_CHECK(r.status == JournalRecovery::Status::Empty, describe(j));
        FUZZ_CHECK(!QFileInfo::exists(keywords), keywords);
        return 0;
    }
    const QString saveSeed = j.saving ? j.saveSeed : j.seed;
    FUZZ_CHECK(r.status == JournalRecovery::Status::Saved, describe(j));
    FUZZ_CHECK(readAll(resultFilePath(programDir, saveSeed)) ==
                   buildBlock(saveSeed, j.keywords, now),
               describe(j));
    FUZZ_CHECK(r.kept == j.canContinue(), describe(j));
    if (r.kept) {
        const KeptRun recovered = readKeptRun(folder, j.seed);
        FUZZ_CHECK(recovered.status == KeptRun::Status::Ok &&
                       recovered.run.keywords == j.keywords && recovered.run.asked == j.asked &&
                       recovered.run.ending.value_or(RunEnding::Crash) ==
                           j.ending.value_or(RunEnding::Crash),
                   describe(recovered.run));
    }
    return 0;
}
