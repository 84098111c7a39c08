#include "mining/batch.h"

#include "storage/journal.h"

#include <QSet>
#include <QTimer>

using namespace Qt::StringLiterals;

SeedEnd seedEndOf(const RunOutcome &outcome)
{
    if (!outcome.end)
        return SeedEnd::NotStarted;
    if (*outcome.end == HarvestEnd::Stopped)
        return SeedEnd::Stopped;
    if (*outcome.end == HarvestEnd::GaveUp)
        return SeedEnd::GaveUp;
    if (!outcome.saved.ok())
        return SeedEnd::SaveFailed;
    if (outcome.failed)
        return SeedEnd::Failed;
    return outcome.count == 0 ? SeedEnd::NothingFound : SeedEnd::Harvested;
}

BatchPlan planAfterSeed(SeedEnd end, bool lastSeed, bool written)
{
    using Step = BatchPlan::Step;
    switch (end) {
    case SeedEnd::Harvested:
    case SeedEnd::NothingFound:
    case SeedEnd::Failed:
    case SeedEnd::NotStarted:
        break;
    case SeedEnd::SaveFailed: // the disk refuses: no seed more until the user has looked
        if (lastSeed)
            break;
        return {Step::Stop, true, written};
    case SeedEnd::Stopped:
    case SeedEnd::GaveUp: // the seed goes on from its own kept run when continued
        return {Step::Stop, false, written};
    }
    return lastSeed ? BatchPlan{Step::Finish, true, false} : BatchPlan{Step::Next, true, true};
}

KeptBatch keptBatchOf(const KeptBatchRecord &kept)
{
    switch (kept.status) {
    case KeptBatchRecord::Status::None:
        return KeptBatch::None;
    case KeptBatchRecord::Status::Unreadable:
        return KeptBatch::Unreadable;
    case KeptBatchRecord::Status::InUse:
        return KeptBatch::InUse;
    case KeptBatchRecord::Status::Ok:
        break;
    }
    // Killed after its last seed's save and before the record went.
    return kept.record.finished() ? KeptBatch::Finished : KeptBatch::Unfinished;
}

bool offersBatch(KeptBatch kept)
{
    return kept == KeptBatch::Unfinished;
}

BatchOffer planOffer(KeptBatch kept, ContinueChoice answer)
{
    using Then = BatchOffer::Then;
    using Say = BatchOffer::Say;
    switch (kept) {
    case KeptBatch::None:
        return {Then::NewBatch, false, Say::Nothing};
    case KeptBatch::Unreadable: // nothing in it can be trusted to go on from
        return {Then::NewBatch, true, Say::Unreadable};
    case KeptBatch::InUse: // the other copy goes on with it
        return {Then::Nothing, false, Say::InUse};
    case KeptBatch::Finished:
        return {Then::NewBatch, true, Say::Nothing};
    case KeptBatch::Unfinished:
        break;
    }
    switch (answer) {
    case ContinueChoice::Continue:
        return {Then::Continue, false, Say::Nothing};
    case ContinueChoice::Restart:
        return {Then::NewBatch, true, Say::Nothing};
    case ContinueChoice::Cancel:
        break;
    }
    return {};
}

BatchSeeds cleanSeeds(const QStringList &lines)
{
    BatchSeeds out;
    QSet<QString> seen;
    for (const QString &line : lines) {
        QString seed = line;
        // Pasted from a spreadsheet: the seeds are its first column.
        if (const qsizetype tab = seed.indexOf(u'\t'); tab >= 0) {
            seed.truncate(tab);
            ++out.columns;
        }
        seed = seed.trimmed();
        if (seed.isEmpty())
            ++out.blank;
        else if (!isKeywordText(seed)) // what the record refuses
            ++out.invalid;
        else if (seen.contains(seedAsRun(seed)))
            ++out.repeated;
        else {
            seen.insert(seedAsRun(seed));
            out.seeds.append(seed);
        }
    }
    return out;
}

// Whether an earlier seed of the batch saves to the seed's file (the same name but for
// characters a file name cannot hold, or for case, which Windows ignores).
bool namedLikeAnEarlierSeed(const QStringList &seeds, qsizetype i)
{
    const QString name = resultFileName(seedAsRun(seeds.at(i))).toCaseFolded();
    for (qsizetype j = 0; j < i; ++j)
        if (resultFileName(seedAsRun(seeds.at(j))).toCaseFolded() == name)
            return true;
    return false;
}

Batch::Batch(Miner &miner, MinerView &view)
    : m_miner(miner)
    , m_view(view)
{}

Batch::~Batch() = default;

KeptBatchRecord Batch::kept() const
{
    return readBatchRecord(m_miner.journalDir());
}

void Batch::forgetKept()
{
    forgetBatchRecord(m_miner.journalDir());
}

qsizetype Batch::seedsWithKeptRuns(const QStringList &seeds) const
{
    const QString folder = m_miner.journalDir();
    if (folder.isEmpty())
        return 0;
    return std::count_if(seeds.cbegin(), seeds.cend(), [&folder](const QString &seed) {
        return readKeptRun(folder, seedAsRun(seed)).status == KeptRun::Status::Ok;
    });
}

bool Batch::start(const QStringList &seeds, ContinueChoice keptRuns)
{
    if (seeds.isEmpty() || keptRuns == ContinueChoice::Cancel)
        return false;
    BatchRecord record;
    record.seeds = seeds;
    record.wholeSeed = m_view.Check1Value() == 1;
    record.append = m_view.Check2Value() == 1;
    record.keptRuns = keptRuns == ContinueChoice::Restart ? BatchRecord::KeptRuns::Restart
                                                          : BatchRecord::KeptRuns::Continue;
    record.started = m_miner.now();
    return begin(record);
}

bool Batch::resume(const BatchRecord &record)
{
    return begin(record);
}

bool Batch::begin(const BatchRecord &record)
{
    if (running() || m_miner.running())
        return false;
    const QString folder = m_miner.journalDir();
    if (!folder.isEmpty()) {
        m_lock = std::make_unique<BatchLock>(folder);
        if (m_lock->inUse()) {
            m_lock.reset();
            m_view.MsgBox(u"另一个Tailspade正在进行批量采集，没有开始批量采集。"_s);
            return false;
        }
    }
    // Read once: the words hold for every seed of the batch, also when it is continued.
    const std::optional<QStringList> words = m_miner.readExclusionWords();
    if (!words) {
        m_lock.reset();
        return false;
    }
    m_exclusionLines = *words;
    m_excluded.reset();
    m_record = record;
    if (!m_record->started.isValid()) // kept by an older version: named for its continuation
        m_record->started = m_miner.now();
    if (record.counts.isEmpty())
        forgetBatchRecord(folder); // no parts of another batch in this one's workbook
    write();
    next();
    return true;
}

bool Batch::write()
{
    m_written = writeBatchRecord(m_miner.journalDir(), *m_record);
    return m_written;
}

void Batch::next()
{
    if (!m_record)
        return;
    const BatchRecord &record = *m_record;
    if (record.finished())
        return end(QString(), false, false);
    if (m_miner.running()) // a run started by hand between two seeds
        return end(QString(), true, m_written);
    // Each seed as its own single run with the batch's options, whatever a kept run or a stop
    // set in the window.
    m_view.setCheck1Value(record.wholeSeed ? 1 : 0);
    m_view.setCheck2Value(record.append ? 1 : 0);
    m_view.setCheck3Value(record.append ? 0 : 1);
    m_view.setText2(record.seeds.at(record.next()));
    SeedRun run;
    run.keptRuns = record.keptRuns == BatchRecord::KeptRuns::Restart ? ContinueChoice::Restart
                                                                     : ContinueChoice::Continue;
    run.markedName = namedLikeAnEarlierSeed(record.seeds, record.next());
    run.place = u"批量采集第"_s + QString::number(record.next() + 1) + u"/"_s +
                QString::number(record.seeds.size()) + u"个："_s;
    run.ended = [this](const RunOutcome &outcome) { seedEnded(outcome); };
    run.exclusionLines = m_exclusionLines;
    m_miner.startSeed(std::move(run));
}

void Batch::seedEnded(const RunOutcome &outcome)
{
    BatchRecord &record = *m_record;
    const QString seed = record.seeds.at(record.next());
    const SeedEnd seedEnd = seedEndOf(outcome);
    const bool last = record.next() + 1 >= record.seeds.size();
    BatchPlan plan = planAfterSeed(seedEnd, last, m_written);
    if (plan.done) {
        record.counts.append(seedEnd == SeedEnd::Failed || seedEnd == SeedEnd::NotStarted
                                 ? -1
                                 : qint64(outcome.count));
        QString note;
        if (seedEnd == SeedEnd::NotStarted)
            note = outcome.text;
        else if (seedEnd == SeedEnd::SaveFailed)
            note = u"“"_s + seed + u"”"_s + saveFailureText(outcome.saved) + u"，采集到的"_s +
                   QString::number(outcome.count) + u"个长尾词下次启动时再保存"_s;
        record.notes.append(note.simplified());
        if (seedEnd == SeedEnd::Harvested || seedEnd == SeedEnd::NothingFound) {
            // Before the record counts the seed done: a continued batch has its rows.
            const HarvestPart part = m_miner.harvest();
            if (!appendBatchPart(m_miner.journalDir(), record.next() - 1, part))
                m_parts.insert(record.next() - 1, part);
        }
        if (!last) // a finished batch's record goes
            plan = planAfterSeed(seedEnd, last, write());
    }
    if (outcome.excluded)
        m_excluded = m_excluded.value_or(0) + *outcome.excluded;
    if (onSeedEnd)
        onSeedEnd(seed, outcome);
    switch (plan.step) {
    case BatchPlan::Step::Next:
        // Not from inside the handler that ended the seed.
        QTimer::singleShot(0, this, &Batch::next);
        break;
    case BatchPlan::Step::Finish:
        end(QString(), false, false);
        break;
    case BatchPlan::Step::Stop:
        end(seedEnd == SeedEnd::SaveFailed ? QString() : outcome.text, true, plan.keep);
        break;
    }
}

void Batch::end(const QString &stopMessage, bool stopped, bool kept)
{
    const BatchRecord record = *m_record;
    m_record.reset();
    const QString workbook = stopped ? QString() : writeWorkbook(record);
    m_parts.clear();
    if (!kept)
        forgetBatchRecord(m_miner.journalDir());
    m_lock.reset();

    qint64 total = 0;
    QStringList perSeed, failed, empty, notes;
    for (qsizetype i = 0; i < record.counts.size(); ++i) {
        const qint64 n = record.counts.at(i);
        const QString &seed = record.seeds.at(i);
        const QString note = record.notes.value(i);
        total += std::max<qint64>(n, 0);
        if (!note.isEmpty())
            notes << note;
        else if (n < 0)
            failed << seed;
        else if (n == 0)
            empty << seed;
        if (perSeed.size() < 20)
            perSeed << seed + u"："_s + QString::number(std::max<qint64>(n, 0)) + u"个"_s;
        else if (perSeed.size() == 20)
            perSeed << u"……"_s;
    }
    if (notes.size() > 20)
        notes = notes.mid(0, 20) << u"……"_s;
    QString text = stopMessage.isEmpty() ? QString() : stopMessage + u"\n\n"_s;
    text += (stopped ? u"批量采集已停止："_s : u"批量采集完成："_s) + u"共"_s +
            QString::number(record.seeds.size()) + u"个源关键字，完成"_s +
            QString::number(record.counts.size()) + u"个，共采集到"_s + QString::number(total) +
            u"个长尾词"_s;
    // Counted since this start or continuation: a stopped batch's seeds kept no count of it.
    if (m_excluded)
        text += u"（本次已排除"_s + QString::number(*m_excluded) + u"个）"_s;
    text += u"。"_s;
    if (!perSeed.isEmpty())
        text += u'\n' + perSeed.join(u'\n');
    if (!failed.isEmpty())
        text += u"\n采集失败："_s + failed.join(u"、"_s);
    if (!empty.isEmpty())
        text += u"\n没有采集到长尾词："_s + empty.join(u"、"_s);
    if (!notes.isEmpty())
        text += u'\n' + notes.join(u'\n');
    text += u"\n结果保存在："_s + resultFolderPath(m_miner.programDir()) + workbook;
    const QString rest = QString::number(record.seeds.size() - record.counts.size());
    if (stopped && kept)
        text += u"\n再点 [批量采集…] 可继续采集其余"_s + rest + u"个源关键字。"_s;
    else if (stopped)
        text += u"\n批量采集的进度无法保存（磁盘已满或无法写入）："_s +
                batchRecordPath(m_miner.journalDir()) + u"，其余"_s + rest +
                u"个源关键字不能继续采集，请重新开始批量采集。"_s;
    m_view.MsgBox(text);
}

// What the end box says of the workbook of all the seeds' harvests: where it is, or why not.
QString Batch::writeWorkbook(const BatchRecord &record) const
{
    QMap<qsizetype, HarvestPart> kept = readBatchParts(m_miner.journalDir());
    kept.insert(m_parts);
    QList<HarvestPart> parts;
    QStringList missing;
    for (qsizetype i = 0; i < record.counts.size(); ++i) {
        if (kept.contains(i))
            parts << kept.value(i);
        else if (record.counts.at(i) > 0 && record.notes.value(i).isEmpty())
            missing << record.seeds.at(i); // its part could not be kept over a stop or crash
    }
    if (parts.isEmpty())
        return {};
    const QString path = batchWorkbookPath(m_miner.programDir(), record.seeds, record.started);
    const SaveResult saved = exportHarvest(path, ExportFormat::Xlsx, parts);
    if (!saved.ok())
        return u"\n批量采集的工作簿"_s + saveFailureText(saved);
    QString text = u"\n全部源关键字的长尾词另存为工作簿："_s + saved.path;
    if (!missing.isEmpty())
        text += u"（其中没有"_s + missing.join(u"、"_s) + u"，见各自的结果文件）"_s;
    return text;
}

void Batch::abandon()
{
    m_parts.clear();
    m_record.reset();
    m_lock.reset();
}
