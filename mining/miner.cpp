#include "mining/miner.h"

#include "fetch/pagefetch.h"
#include "mining/extract.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString count(qsizetype n)
{
    return QString::number(n);
}

} // namespace

Miner::Miner(MinerView &view, MinerOptions options)
    : m_view(view)
    , m_options(std::move(options))
{
    if (m_options.programDir.isEmpty())
        m_options.programDir = QCoreApplication::applicationDirPath();
    if (!m_options.clock)
        m_options.clock = [] { return QDateTime::currentDateTime(); };
    if (!m_options.steadyClock)
        m_options.steadyClock = [] {
            using namespace std::chrono;
            return qint64(
                duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
        };
    m_resultPath = QUrl(m_options.searchPrefix).path();
    Timer1.setInterval(Pace::kTickMs);
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &Miner::Timer1_Timer);
    Timer2.setSingleShot(true);
    connect(&Timer2, &QTimer::timeout, this, &Miner::Timer2_Timer);
}

QString Miner::queryUrl(const QString &keyword) const
{
    return m_options.searchPrefix + QString::fromLatin1(QUrl::toPercentEncoding(keyword));
}

void Miner::Command1_Click()
{
    Text1 = u"0"_s;
    if (m_view.Command1Caption() == u"停止"_s) {
        const QString n = count(List2.ListCount());
        return endLikeAStop(RunEnding::Stop, HarvestEnd::Stopped,
                            u"半途停止，目前共挖掘到"_s + n + u"个长尾词"_s, {},
                            u"半途停止，软件自择“追加保存” 本次采集到"_s + n +
                                u"个长尾词！您可点击 [查看保存结果] 观看"_s);
    }

    const QString typed = m_view.Text2();
    if (typed.isEmpty()) {
        m_view.MsgBox(u"关键字不能为空"_s);
        return;
    }
    if (m_seedRun) {
        m_exclusionLines = m_seedRun->exclusionLines;
    } else if (const std::optional<QStringList> lines = readExclusionWords()) {
        m_exclusionLines = *lines;
    } else {
        return;
    }
    const QString seed = seedAsRun(typed);
    m_marked = m_seedRun && m_seedRun->markedName;
    KeptRun kept;
    if (!m_options.journalDir.isEmpty())
        kept = readKeptRun(m_options.journalDir, seed);
    const StartPlan::Run plan = askAboutKeptRun(seed, kept);
    if (plan == StartPlan::Run::None)
        return;
    const bool continued = plan == StartPlan::Run::Continued;

    List1.Clear();
    List2.Clear();
    m_view.List3Clear();
    m_known.clear();
    m_origins.clear();
    m_exclusion = ExclusionWords(m_exclusionLines, seed);
    m_excluded.clear();
    m_examined = 0;
    m_queries = m_failedQueries = 0;
    m_hold = {};
    m_startedMs = m_lastAnswerMs = m_options.steadyClock();
    m_paced = false;
    Timer2.stop();
    ++m_run;
    m_seed = seed;
    m_began = m_options.clock();
    m_continued = continued;
    m_asked = -1;
    Label2 = u"0"_s;
    Label3 = u"-1"_s;
    if (continued)
        restore(kept.run);
    followPace();
    Timer1.start();
    m_view.setLabel5Caption(QString());
    if (seed != typed)
        m_view.setText2(seed);
    m_view.setCommand1Caption(u"停止"_s);
    if (!continued && !m_options.journalDir.isEmpty())
        m_journal.start(m_options.journalDir, m_options.programDir, seed, m_view.Check1Value() == 1,
                        m_marked);
}

StartPlan::Run Miner::askAboutKeptRun(const QString &seed, const KeptRun &kept)
{
    const KeptAtStart state = keptAtStart(kept, m_view.Combo1Text());
    const ContinueChoice answer = !asksToContinue(state) ? ContinueChoice::Restart
                                  : m_seedRun
                                      ? m_seedRun->keptRuns
                                      : m_view.AskContinue(continueQuestion(seed, kept.run));
    StartPlan plan = planStart(state, answer, JournalStart::Started);
    if (plan.run == StartPlan::Run::Continued) {
        switch (m_journal.resume(m_options.journalDir, m_options.programDir, kept, m_marked)) {
        case Journal::Resume::Resumed:
            break;
        case Journal::Resume::Changed:
            plan = planStart(state, answer, JournalStart::Changed);
            break;
        case Journal::Resume::Unwritable:
            plan = planStart(state, answer, JournalStart::NoRoom);
            break;
        }
    }
    if (plan.forget)
        forgetKeptRun(m_options.journalDir, seed);
    const QString notice =
        startNotice(plan.say, seed, kept, m_view.Combo1Text().trimmed(), m_options.journalDir);
    switch (plan.say) {
    case StartPlan::Say::Nothing:
        break;
    case StartPlan::Say::Damaged:
    case StartPlan::Say::Newer:
        showStatus(notice); // and the run starts afresh
        break;
    case StartPlan::Say::Unlockable:
    case StartPlan::Say::TargetMet:
    case StartPlan::Say::NoRoom:
    case StartPlan::Say::Changed:
        tell(notice, std::nullopt);
        break;
    }
    return plan.run;
}

// The continued run's state, as the kept run's last tick left it: the next tick asks about the
// first keyword not yet asked about, and the merge knows every keyword harvested.
void Miner::restore(const JournalContents &run)
{
    for (const QString &keyword : run.keywords) {
        List1.AddItem(keyword);
        List2.AddItem(keyword);
        m_known.insert(keyword);
        m_view.List3AddItem(keyword);
    }
    m_origins = run.origins;
    m_examined = List1.ListCount();
    Label1 = Label2 = count(List2.ListCount());
    m_asked = run.asked;
    Label3 = count(run.asked);
    List2.setListIndex(std::max<qsizetype>(run.asked, 0) - 1);
    m_view.setCheck1Value(run.wholeSeed ? 1 : 0);
    m_pace.restore(Pace::Learned::fromFields(run.pace), m_options.steadyClock(), m_options.clock());
}

void Miner::noteEnd(RunEnding ending)
{
    const QDateTime now = m_options.clock();
    m_journal.end(ending, now, m_pace.learned(m_options.steadyClock(), now).fields());
}

void Miner::endLikeAStop(RunEnding ending, HarvestEnd end, const QString &status,
                         const QString &lead, const QString &success)
{
    if (Timer2.isActive()) { // the wait so far counts
        m_hold.heldMs +=
            std::clamp(m_options.steadyClock() - m_hold.waitStartedMs, qint64(0), m_hold.waitMs);
        Timer2.stop();
    }
    showStatus(endStatus(figures(), status));
    m_view.setCommand1Caption(u"开始采集"_s);
    Timer1.stop();
    ++m_run;
    noteEnd(ending);
    const SaveResult saved = Command3_Click(end);
    tell(lead + endMessage(figures(), saved, success), end, saved);
    m_view.setCheck3Value(1);
    m_view.setCheck2Value(0);
}

SaveResult Miner::Command3_Click(HarvestEnd end)
{
    m_view.setCheck3Value(0);
    m_view.setCheck2Value(1);
    return Command4_Click(end);
}

SaveResult Miner::Command4_Click(HarvestEnd end)
{
    const QString seed = m_view.Text2();
    const bool append = m_view.Check2Value() == 1;
    const QDateTime when = m_options.clock();
    m_journal.record(List2.items(), m_asked, m_origins);
    m_journal.beginSave(seed, append, when);
    const SaveResult saved =
        saveResults(m_options.programDir, seed, List2.items(), append, when, m_marked);
    const bool left = List2.ListCount() > std::max<qsizetype>(m_asked, 0);
    switch (planEnd(List2.ListCount() == 0 ? HarvestEnd::NothingHarvested : end, m_continued,
                    saved.ok(), left)) {
    case AfterEnd::Stay:
        m_journal.close();
        break;
    case AfterEnd::Keep:
        m_journal.keep();
        break;
    case AfterEnd::Finish:
        m_journal.remove();
        if (!m_options.journalDir.isEmpty()) // and a kept run of the seed older than this run
            forgetKeptRun(m_options.journalDir, m_seed, m_began);
        break;
    case AfterEnd::Leave:
        m_journal.remove();
        break;
    case AfterEnd::GiveBack:
        m_journal.discard();
        break;
    }
    return saved;
}

QList<JournalRecovery> Miner::recoverJournals() const
{
    removeStaleTemporaryFiles(m_options.programDir);
    return ::recoverJournals(m_options.journalDir, m_options.clock(), m_options.programDir);
}

QStringList Miner::keptRunProblems() const
{
    QStringList texts;
    for (const KeptRun &kept : glanceAtKeptRuns(m_options.journalDir))
        texts << keptRunNotice(kept);
    return texts;
}

RunFigures Miner::figures() const
{
    const std::optional<qsizetype> excluded =
        m_exclusion.isEmpty() ? std::nullopt : std::optional<qsizetype>(m_excluded.size());
    return {m_queries,         m_failedQueries, m_lastFailure, m_hold.refusals,
            m_hold.heldMs,     m_hold.retried,  m_paced,       m_lastAnswerMs - m_startedMs,
            List2.ListCount(), excluded};
}

std::optional<QStringList> Miner::readExclusionWords()
{
    QString error;
    const QStringList lines = readExclusionFile(m_options.programDir, &error);
    if (error.isEmpty())
        return lines;
    m_view.MsgBox(u"排除词无法读取："_s + error + u"\n"_s +
                  QDir::toNativeSeparators(exclusionFilePath(m_options.programDir)) +
                  u"\n没有开始采集。"_s);
    return std::nullopt;
}

void Miner::showStatus(const QString &text)
{
    m_view.setLabel4Caption(m_seedRun ? m_seedRun->place + text : text);
}

void Miner::tell(const QString &text, std::optional<HarvestEnd> end, const SaveResult &saved)
{
    if (!m_seedRun)
        return m_view.MsgBox(text);
    const SeedRun run = *std::exchange(m_seedRun, std::nullopt);
    RunOutcome outcome;
    outcome.end = end;
    outcome.text = text;
    outcome.count = end ? List2.ListCount() : 0;
    outcome.failed =
        end && (*end == HarvestEnd::AllFailed || (m_queries > 0 && m_failedQueries == m_queries));
    outcome.saved = saved;
    outcome.excluded = figures().excluded;
    run.ended(outcome);
}

void Miner::startSeed(SeedRun run)
{
    m_seedRun = std::move(run);
    Command1_Click();
    // The batch's place shows the moment its seed starts.
    if (m_seedRun && running())
        showStatus(u"正在采集跟（"_s + m_view.Text2() + u"）相关的长尾词--目前采集"_s +
                   count(List2.ListCount()) + u"个"_s);
}

bool Miner::IsKnownKeyword(const QString &keyword) const
{
    return keyword.isEmpty() || m_known.contains(keyword);
}

void Miner::ExtractRelatedKeywords(const QString &page, const QString &first, const QString &last)
{
    const bool wholeSeed = m_view.Check1Value() == 1;
    const QString seed = m_view.Text2();
    for (const QString &candidate : cutCandidates(page)) {
        // A candidate holding an exclusion word fares as one failing the seed tests.
        const bool passes =
            isKeywordText(candidate) && passesSeedTests(candidate, first, last, wholeSeed, seed);
        if (passes && m_exclusion.excludes(candidate))
            m_excluded.insert(candidate);
        else if (passes)
            List1.AddItem(candidate);
        Label1 = count(List1.ListCount());
    }
}

void Miner::Command2_Click()
{
    if (Text1 == u"1"_s)
        return;
    const qsizetype candidates = List1.ListCount();
    if (candidates == 0)
        return;
    const std::optional<double> target = targetCount(m_view.Combo1Text());
    const auto targetMet = [&] { return target && *target == double(m_view.List3Count()); };

    // Candidates merged by earlier calls are all known by now, so for each of them the merge
    // would only refresh Label2 and repeat one and the same target test: do it once.
    if (m_examined > 0) {
        Label2 = count(List2.ListCount());
        if (targetMet())
            return reachTarget();
    }
    for (qsizetype i = m_examined; i < candidates; ++i) {
        const QString candidate = List1.List(i);
        if (!IsKnownKeyword(candidate)) {
            List2.AddItem(candidate);
            m_known.insert(candidate);
            m_origins.append(m_from);
            m_view.List3AddItem(candidate);
        }
        m_examined = i + 1;
        Label2 = count(List2.ListCount());
        if (targetMet())
            return reachTarget();
    }
}

void Miner::reachTarget()
{
    Text1 = u"1"_s;
    Timer1.stop();
    noteEnd(RunEnding::Target);
    const SaveResult saved = Command4_Click(HarvestEnd::Target);
    const QString n = count(List2.ListCount());
    m_view.setCommand1Caption(u"开始采集"_s);
    showStatus(endStatus(figures(), u"恭喜！已经完成您需要采集的"_s + n + u"个长尾词任务"_s));
    tell(
        endMessage(figures(), saved,
                   u"恭喜！已完成您需要的"_s + n + u"个长尾词任务！您可点击 [查看保存结果] 观看"_s),
        HarvestEnd::Target, saved);
}

// A continued run refused before any answer added nothing: its kept run comes back as it was,
// and the run ends as a fresh one does when the engine cannot be used.
void Miner::giveBack()
{
    Timer1.stop();
    m_journal.discard();
    m_view.setCommand1Caption(u"开始采集"_s);
    showStatus(endStatus(figures(), QString()));
    tell(endMessage(figures(), SaveResult{}, QString()), HarvestEnd::AllFailed);
}

void Miner::closeExhausted()
{
    Timer1.stop();
    const QString n = count(List2.ListCount());
    showStatus(endStatus(figures(), u"全部查询完成，目前共挖掘到"_s + n + u"个长尾词"_s));
    m_view.setCommand1Caption(u"开始采集"_s);
    const SaveResult saved = Command4_Click(HarvestEnd::Exhausted);
    tell(endMessage(figures(), saved,
                    u"全部挖掘完成，本次共："_s + n +
                        u"个长尾词，并保存成功！您可点击 [查看保存结果] 观看"_s),
         HarvestEnd::Exhausted, saved);
}

void Miner::Timer1_Timer()
{
    // While a tick waits for its page the timer keeps firing; those ticks do nothing.
    if (m_inTick || Text1 == u"1"_s)
        return;
    if (Label2 == Label3)
        return closeExhausted();

    Label3 = QString::number(Label3.toLongLong() + 1);
    const QString seed = m_view.Text2();
    const QString first = firstCharacter(seed);
    const QString last = lastCharacter(seed);

    // The seed's step comes first; a continued run's List2 holds keywords already then.
    const bool fromQueue = Label3 != u"0"_s;
    QString keyword = seed;
    if (fromQueue) {
        List2.setListIndex(List2.ListIndex() + 1);
        keyword = List2.List(List2.ListIndex());
    }

    const quint64 run = m_run;
    m_inTick = true;
    const qint64 sent = m_options.steadyClock();
    FetchResult fetched;
    const QString page = getHTTPPage(queryUrl(keyword), m_options.fetchTimeoutMs, &fetched);
    m_inTick = false;
    // Stopped, restarted or abandoned while the page was awaited: the page belongs to no run.
    if (run != m_run)
        return;
    const std::optional<Refusal> refusal = refusalOf(fetched, m_resultPath);
    // Before any answer, a refusal says the engine cannot be used: the run ends as it does
    // when every query failed (a fresh run's queue is empty then). A batch's run, which no one
    // watches, waits it out: the engine's outage at a seed's start is not the seed's failure.
    if (refusal && (m_failedQueries < m_queries || m_seedRun))
        return hold(*refusal, keyword, fromQueue, sent);
    ++m_queries;
    if (refusal || fetched.failure != FetchFailure::None) {
        ++m_failedQueries;
        m_lastFailure = refusal ? refusal->reason : failureText(fetched.failure);
    } else {
        answered();
    }
    // A continued run would go through its whole queue unanswered and leave nothing to go on.
    if (m_failedQueries == m_queries &&
        planEnd(HarvestEnd::AllFailed, m_continued, false, true) == AfterEnd::GiveBack)
        return giveBack();

    if (fromQueue) {
        QString status = u"正在采集跟（"_s + keyword + u"）相关的长尾词--目前采集"_s +
                         count(List2.ListCount()) + u"个"_s;
        const qint64 now = m_options.steadyClock();
        status += exclusionSummary(figures());
        if (m_pace.intervalMs(now) > Pace::kTickMs)
            status += u"（已按搜索引擎限速：每秒约"_s + rateText(m_pace.rate(now)) + u"次）"_s;
        showStatus(status);
    }
    m_from = fromQueue ? qint32(List2.ListIndex()) : Origins::kFromSeed;
    ExtractRelatedKeywords(refusal ? QString() : page, first, last);
    Command2_Click();
    // Counted once its page is merged: the keyword of a step cut short is asked again.
    m_asked = Label3.toLongLong();
    m_journal.record(List2.items(), m_asked, m_origins); // one write per tick
    followPace();
}

void Miner::answered()
{
    m_lastAnswerMs = m_options.steadyClock();
    m_paced = m_paced || Timer1.interval() > Pace::kTickMs;
    m_hold.streak = 0;
    m_pace.answered(m_lastAnswerMs);
}

// Timer1 ticks at the pace. A new interval restarts it from now: after a slow page the next
// query still waits the whole interval, never comes early to catch up.
void Miner::followPace()
{
    const int interval = m_pace.intervalMs(m_options.steadyClock());
    if (Timer1.interval() != interval)
        Timer1.setInterval(interval);
}

// The refused step is taken back and the ticks stop; Timer2 restarts them after the wait, and
// the next tick asks about the same keyword.
void Miner::hold(const Refusal &refusal, const QString &keyword, bool fromQueue, qint64 sentMs)
{
    Label3 = QString::number(Label3.toLongLong() - 1);
    if (fromQueue)
        List2.setListIndex(List2.ListIndex() - 1);
    Timer1.stop();
    ++m_hold.refusals;
    m_hold.retried = false;
    const qint64 now = m_options.steadyClock();
    const QDateTime wallNow = m_options.clock();
    if (m_hold.streak++ == 0) {
        m_hold.refusedSince = wallNow.addMSecs(sentMs - now); // as the limit counts
        m_hold.refusedSinceMs = sentMs;
    }
    const qint64 wait =
        m_pace.refused(refusal.kind, retryAfterMs(refusal.retryAfter, wallNow), now);
    // The time spent in refused queries counts as much as the waits.
    const qint64 left = m_options.holdLimitMs - (now - m_hold.refusedSinceMs);
    if (left <= 0) {
        const QString n = count(List2.ListCount());
        const QString since = u"搜索引擎自"_s + formatSaveTime(m_hold.refusedSince) +
                              u"起一直拒绝查询（"_s + refusal.reason + u"），采集已停止"_s;
        const QString file = QDir::toNativeSeparators(
            resultFilePath(m_options.programDir, m_view.Text2(), m_marked));
        return endLikeAStop(RunEnding::GiveUp, HarvestEnd::GaveUp,
                            since + u"，目前共挖掘到"_s + n + u"个长尾词"_s, since + u"。"_s,
                            u"本次采集到"_s + n + u"个长尾词，已追加保存到 "_s + file +
                                u"，请稍后再开始采集。"_s);
    }
    // The last wait ends at the limit, so that the engine is asked once more then.
    m_hold.waitMs = std::min(wait, left);
    m_hold.waitStartedMs = now;
    showStatus(holdText(refusal, m_hold.waitMs, keyword));
    Timer2.start(m_options.holdInterval ? m_options.holdInterval(m_hold.waitMs)
                                        : int(m_hold.waitMs));
}

void Miner::Timer2_Timer()
{
    m_hold.heldMs += m_hold.waitMs;
    m_hold.retried = true;
    followPace();
    Timer1.start();
}

void Miner::abandon()
{
    Timer1.stop();
    Timer2.stop();
    ++m_run;
    m_seedRun.reset();   // a batch's record stays: the next batch offers to go on
    m_journal.discard(); // the user chose to leave without saving
}
