#include "mining/runtexts.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

QString count(qsizetype n)
{
    return QString::number(n);
}

// What went wrong, in the system's own words where it gave any.
QString reasonText(const SaveResult &result)
{
    QString what;
    switch (result.status) {
    case SaveResult::Status::FolderFailed:
        what = u"无法创建保存文件夹"_s;
        break;
    case SaveResult::Status::OpenFailed:
        what = u"无法打开或创建文件"_s;
        break;
    case SaveResult::Status::WriteFailed:
        what = u"写入文件失败"_s;
        break;
    case SaveResult::Status::Saved:
    case SaveResult::Status::NothingToSave:
        return {};
    }
    return result.detail.isEmpty() ? what : what + u"（"_s + result.detail + u"）"_s;
}

} // namespace

// Queries a second in words: whole numbers from ten on, tenths below.
QString rateText(double rate)
{
    QString text = QString::number(rate, 'f', rate < 9.95 ? 1 : 0);
    if (text.endsWith(u".0"_s))
        text.chop(2);
    return text;
}

QString holdText(const Refusal &refusal, qint64 waitMs, const QString &keyword)
{
    const QString retry = count((waitMs + 999) / 1000) + u"秒后重试“"_s + keyword + u"”"_s;
    switch (refusal.kind) {
    case Refusal::Kind::Unreachable:
        return u"无法连接搜索引擎（"_s + refusal.reason + u"），"_s + retry;
    case Refusal::Kind::Throttled:
        return u"搜索引擎暂时拒绝查询（"_s + refusal.reason + u"），"_s + retry;
    case Refusal::Kind::Verification:
        break;
    }
    return u"搜索引擎要求安全验证，"_s + retry;
}

QString continueQuestion(const QString &seed, const JournalContents &run)
{
    QString how;
    switch (run.ending.value_or(RunEnding::Crash)) {
    case RunEnding::Stop:
        how = u"停止"_s;
        break;
    case RunEnding::GiveUp:
        how = u"因搜索引擎一直拒绝查询而停止"_s;
        break;
    case RunEnding::Target:
        how = u"达到采集个数"_s;
        break;
    case RunEnding::Crash:
        how = u"意外中断"_s;
        break;
    }
    return u"“"_s + seed + u"”上次采集到"_s + count(run.keywords.size()) + u"个长尾词时"_s + how +
           u"（"_s + formatSaveTime(run.endTime) + u"），还有"_s + count(run.unasked()) +
           u"个长尾词没有查询。是否继续上次的采集？"_s;
}

QString keptRunNotice(const KeptRun &kept)
{
    return kept.status == KeptRun::Status::Newer
               ? u"上次的采集进度由较新版本的Tailspade保存，已忽略："_s + kept.path
               : u"上次的采集进度无法读取，已忽略："_s + kept.path;
}

QString startNotice(StartPlan::Say say, const QString &seed, const KeptRun &kept,
                    const QString &target, const QString &journalDir)
{
    const QString quoted = u"“"_s + seed + u"”"_s;
    const QString folder = QDir::toNativeSeparators(journalDir);
    switch (say) {
    case StartPlan::Say::Nothing:
        break;
    case StartPlan::Say::Damaged:
    case StartPlan::Say::Newer:
        return keptRunNotice(kept);
    case StartPlan::Say::Unlockable:
        return quoted + u"上次的采集进度无法锁定（"_s + kept.reason +
               u"），没有开始采集。请检查保存采集进度的文件夹："_s + folder;
    case StartPlan::Say::TargetMet:
        return quoted + u"上次已采集到"_s + count(kept.run.keywords.size()) +
               u"个长尾词，已达到采集个数"_s + target +
               u"，没有开始采集。要接着采集，请把采集个数改大，或改为0（不限）。"_s;
    case StartPlan::Say::NoRoom:
        return quoted +
               u"的采集进度无法接着记录（磁盘已满或无法写入），没有开始采集，"
               u"上次的采集进度仍然保留。请检查保存采集进度的文件夹："_s +
               folder;
    case StartPlan::Say::Changed:
        return quoted + u"上次的采集进度刚被另一个Tailspade取走或更新，没有开始采集。"
                        u"请再点一次开始采集。"_s;
    }
    return {};
}

namespace {

QString holdSummary(const RunFigures &run)
{
    if (run.refusals == 0)
        return {};
    return u"（搜索引擎曾"_s + count(run.refusals) + u"次暂时拒绝查询，共等待"_s +
           count((run.heldMs + 500) / 1000) + (run.retried ? u"秒，均已重试）"_s : u"秒）"_s);
}

// The answers per second from the start to the last answer, waits included.
QString paceSummary(const RunFigures &run)
{
    if (!run.paced || run.answeringMs <= 0)
        return {};
    return u"（已按搜索引擎限速，平均每秒约"_s +
           rateText((run.queries - run.failedQueries) * 1000.0 / double(run.answeringMs)) +
           u"次）"_s;
}

} // namespace

QString exclusionSummary(const RunFigures &run)
{
    return run.excluded ? u"（已排除"_s + count(*run.excluded) + u"个）"_s : QString();
}

QString saveFailureText(const SaveResult &result)
{
    return u"保存失败！"_s + reasonText(result) + u"："_s + result.path;
}

// Unchanged while every query brought its page and the engine refused none. When no query
// did, the engine could not be reached: nothing was harvested, and saying "saved" would be
// untrue. (A run waits for refusals only once a query has brought its page.)
QString endStatus(const RunFigures &run, const QString &usual)
{
    if (run.failedQueries == 0)
        return usual + exclusionSummary(run) + holdSummary(run) + paceSummary(run);
    if (run.failedQueries < run.queries)
        return usual + u"（其中"_s + count(run.failedQueries) + u"次查询失败）"_s +
               exclusionSummary(run) + holdSummary(run) + paceSummary(run);
    return u"无法连接搜索引擎（"_s + run.lastFailure + u"），未采集到长尾词"_s;
}

QString endMessage(const RunFigures &run, const SaveResult &saved, const QString &success)
{
    const QString usual = saved.ok() ? success
                                     : saveFailureText(saved) + u"\n本次采集到的"_s +
                                           count(run.harvested) +
                                           u"个长尾词没有存入文件，仍在列表中，可点击复制。"_s;
    if (run.failedQueries == 0 || run.failedQueries < run.queries)
        return endStatus(run, usual);
    const QString unreachable = u"无法连接搜索引擎（"_s + run.lastFailure + u"），本次"_s +
                                count(run.queries) + u"次查询全部失败，没有采集到长尾词。"_s;
    return saved.ok() ? unreachable : unreachable + u'\n' + usual;
}
