// Scale benchmark of a whole harvest: real window, real timer, real fetches, against a local
// search engine whose suggestion graph never runs out. Each run is a child process of its own
// so that CPU time and peak memory belong to that run alone; the engine runs in a further child
// so that none of its work is counted.
//
// The scale rows run offscreen, with a blank widget for the strip. Then, on the X display (the
// Makefile starts Xvfb when there is none), the window as shipped harvests several times, and
// the program itself is started several times as a user starts it (startup.cpp).
//
// Between the scale rows and the window rows, the pace: harvests of about a minute and a half
// each (20 s with --quick) against engines that allow a client a rate and refuse the rest, one
// of which sends a client it has refused too often to a verification page for a minute.
//
//   bench_harvest            1,000, 32,767 and 200,000 keywords, the pace, the window rows
//   bench_harvest --quick    1,000 and 10,000 keywords, the pace, the window rows
//   bench_harvest --size N --port P [--strip]   one run (used by the above)
//   bench_harvest --paced --size N --port P       one run against a limiting engine
//   bench_harvest --serve [--rate R [--ban]]      the engine, allowing R queries a second if
//                            given; prints its port
//   bench_harvest --startup [--program P] [--runs N]   the starts alone, of P if given
//   --no-journal             with any of the above: runs keep no journal (to weigh its cost)
//   --words                  with --size: 500 exclusion words that exclude nothing
#include "app/form8.h"
#include "fetch/pagefetch.h"
#include "mining/exclusion.h"
#include "mining/extract.h"
#include "storage/export.h"
#include "storage/resultfile.h"
#include "tests/testserver.h"

#include "bench/benchsupport.h"
#include "bench/startup.h"
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kSeed = u"鲜花"_s;
constexpr int kProbeMs = 5;
// No query for this long means the run is stuck; the run is then stopped and reported failed.
constexpr int kStallMs = 30000;
constexpr qint64 kWindowSize = 2000;
constexpr int kWindowRuns = 3;
constexpr int kStartRuns = 7;

// ---- The search engine -------------------------------------------------------------------

// FNV-1a over the UTF-16 code units: the same graph in every process and every run.
quint64 stableHash(const QString &text, quint64 salt)
{
    quint64 h = 1469598103934665603ULL ^ (salt * 0x9E3779B97F4A7C15ULL);
    for (const QChar c : text) {
        h ^= c.unicode();
        h *= 1099511628211ULL;
    }
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    return h ^ (h >> 32);
}

// Keywords draw on a few thousand characters, as real ones do (the glyph caches see them all
// soon); these are spread over the CJK block, which GBK holds whole.
constexpr quint64 kAlphabet = 2500;

QString hashChars(quint64 h, int n)
{
    QString s;
    for (int i = 0; i < n; ++i) {
        s += QChar(char16_t(0x4E00 + (h % kAlphabet) * 8));
        h /= kAlphabet;
    }
    return s;
}

// Ten suggestions: nine fresh ones holding a seed character, then either one of a small pool
// shared by many pages (a repeat) or one without any seed character (rejected).
QStringList suggestionsFor(const QString &keyword)
{
    const QChar first = kSeed.front();
    const QChar last = kSeed.back();
    QStringList out;
    for (int i = 0; i < 9; ++i) {
        const quint64 h = stableHash(keyword, quint64(i) + 1);
        const QChar seedChar = (h & 1) ? first : last;
        const QString rest = hashChars(h >> 2, 3);
        out.append((h & 2) ? QString(seedChar + rest) : QString(rest + seedChar));
    }
    const quint64 h = stableHash(keyword, 100);
    if (h & 1)
        out.append(kSeed + QChar(char16_t(0x4E00 + (h >> 1) % 32)));
    else
        out.append(hashChars(h >> 1, 4));
    return out;
}

QByteArray pageFor(const QString &keyword)
{
    static const QString filler = [] {
        QString s;
        for (int i = 0; i < 40; ++i)
            s += u"<div class=\"result\"><h3><a href=\"#\">相关网页标题</a></h3>"
                 u"<p>这里是一段搜索结果的摘要文字，用来让页面接近真实的大小。</p></div>\n"_s;
        return s;
    }();
    QString html = u"<html><head><meta http-equiv=\"content-type\" content=\"text/html;"
                   u"charset=gb2312\"><title>"_s +
                   keyword + u"_百度搜索</title></head><body>"_s + filler +
                   u"<div id=\"rs\"><div class=\"tt\">相关搜索</div><table><tr>"_s;
    for (const QString &s : suggestionsFor(keyword))
        html += u"<th><a href=\"/s?wd="_s + s + u"\" class=\"xn1\">"_s + s + u"</a></th>"_s;
    html += u"</tr></table></div></body></html>"_s;
    QStringEncoder gbk("GBK");
    return gbk.encode(html);
}

// A request through a proxy names the whole address: the engine answers it as its own, so that
// the shipped program, whose engine address is fixed, harvests from it (window-harvest.sh).
QByteArray pathOf(const QByteArray &target)
{
    if (!target.startsWith("http://"))
        return target;
    const qsizetype slash = target.indexOf('/', 7);
    return slash < 0 ? QByteArrayLiteral("/") : target.mid(slash);
}

int serve()
{
    return serveForever([](const QByteArray &target) {
        TestServer::Response response;
        response.body = pageFor(TestServer::queryKeyword(pathOf(target)));
        response.headers.append(
            {QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/html; charset=gb2312")});
        return response;
    });
}

// Lets a client rate queries a second through, in bursts of up to a second's worth, and refuses
// the rest with 429; rate 0 lets everything through. With ban, ten refusals within a minute
// send every query to a verification page for the next minute. /stats tells what it did:
// answered, refused, refused after the first 10 s, bans.
int serveLimited(double rate, bool ban)
{
    QElapsedTimer clock;
    clock.start();
    double tokens = rate;
    qint64 last = 0, first = -1, bannedUntil = -1;
    qint64 answered = 0, refused = 0, lateRefused = 0, bans = 0;
    QList<qint64> refusals; // within the last minute
    return serveForever([&](const QByteArray &target) {
        TestServer::Response response;
        const qint64 now = clock.elapsed();
        if (target == "/stats") {
            for (const qint64 n : {answered, refused, lateRefused, bans})
                response.body += QByteArray::number(n) + ' ';
            return response;
        }
        if (target.startsWith("/verify")) {
            response.body = "<html><body>verify</body></html>";
            return response;
        }
        if (first < 0)
            first = now;
        tokens = std::min(rate, tokens + double(now - last) * rate / 1000);
        last = now;
        if (now >= bannedUntil && (rate <= 0 || tokens >= 1)) {
            tokens -= 1;
            ++answered;
            response.body = pageFor(TestServer::queryKeyword(target));
            response.headers.append({QByteArrayLiteral("Content-Type"),
                                     QByteArrayLiteral("text/html; charset=gb2312")});
            return response;
        }
        ++refused;
        lateRefused += now - first > 10000;
        if (now < bannedUntil) {
            response.status = 302;
            response.headers = {{"Location", "/verify?from=s"}};
            return response;
        }
        response.status = 429;
        refusals.append(now);
        while (refusals.first() < now - 60000)
            refusals.removeFirst();
        if (ban && refusals.size() >= 10) {
            bannedUntil = now + 60000;
            ++bans;
            refusals.clear();
        }
        return response;
    });
}

// ---- One run -----------------------------------------------------------------------------

class EndDesktop final : public Desktop {
public:
    QStringList messages;
    std::function<void()> onMessage;
    void inform(QWidget *, const QString &text) override
    {
        messages.append(text);
        if (onMessage)
            onMessage();
    }
    bool confirmExit(QWidget *, const std::function<void()> &) override { return false; }
    bool open(const QUrl &) override { return true; }
};

struct Sample {
    qint64 ms;
    double cpu;
    qint64 queries;
};

// The window of one run, saving into dir and asking the engine on port.
Form8Options windowOptions(const QTemporaryDir &dir, quint16 port, EndDesktop &desktop)
{
    Form8Options options;
    options.withBrowser = false;
    options.desktop = &desktop;
    options.quit = [] {};
    options.miner.programDir = dir.path();
    options.miner.searchPrefix = u"http://127.0.0.1:"_s + QString::number(port) + u"/s?wd="_s;
    return options;
}

// 500 words of two or three characters off the keywords' alphabet: each is looked for in every
// candidate, none is found, so that the harvest stays the one without words.
QStringList unmatchedWords()
{
    QStringList words;
    for (int i = 0; i < 500; ++i) {
        const quint64 h = stableHash(QString::number(i), 7);
        QString word;
        for (int c = 0; c < 2 + int(h % 2); ++c)
            word += QChar(char16_t(0x4E01 + (h >> (8 * c + 1)) % kAlphabet * 8));
        words << word;
    }
    return words;
}

int runOne(qint64 size, quint16 port, bool withStrip, bool journal, bool words = false)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    if (words) {
        QDir(dir.path()).mkdir(u"Keywords"_s);
        QFile file(exclusionFilePath(dir.path()));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(unmatchedWords().join(u'\n').toUtf8()) <= 0)
            return 2;
    }
    EndDesktop desktop;
    Form8Options options = windowOptions(dir, port, desktop);
    options.withBrowser = withStrip;
    if (journal)
        options.miner.journalDir = dir.path() + u"/journal"_s;
    Form8 form(std::move(options));
    form.show();
    Miner &miner = form.miner();

    form.Text2Edit->setText(kSeed);
    form.Combo1->setEditText(QString::number(size));

    // Queries sent so far, the seed's included: Label3 counts queue entries taken from -1.
    const auto queries = [&miner] { return miner.Label3.toLongLong() + 1; };

    std::vector<Sample> samples;
    samples.reserve(size_t(size / 8 * 10 / kProbeMs + 1024));
    QElapsedTimer clock;
    qint64 lastProbe = 0;
    qint64 maxDelay = 0;
    qint64 maxDelayAt = 0; // keywords shown when it happened
    qint64 lastProgressMs = 0;
    qint64 lastQueries = 0;
    bool stalled = false;
    QEventLoop loop;

    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kProbeMs);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (now - lastProbe - kProbeMs > maxDelay) {
            maxDelay = now - lastProbe - kProbeMs;
            maxDelayAt = form.List3Count();
        }
        lastProbe = now;
        const qint64 q = queries();
        samples.push_back({now, cpuSeconds(), q});
        if (q != lastQueries) {
            lastQueries = q;
            lastProgressMs = now;
        } else if (now - lastProgressMs > kStallMs) {
            stalled = true;
            loop.quit();
        }
    });

    qint64 endTickMs = 0;
    qint64 endMs = 0;
    desktop.onMessage = [&] {
        endMs = clock.elapsed();
        endTickMs = endMs - lastProbe;
        loop.quit();
    };

    QCoreApplication::processEvents(); // the window is laid out and painted once before the run
    const QHash<qint64, ThreadCpu> threadsBefore = threadCpu();
    clock.start();
    samples.push_back({0, cpuSeconds(), 0});
    probe.start();
    form.Command1->click();
    loop.exec();
    probe.stop();
    const QByteArray shares = threadShares(threadsBefore, threadCpu());
    if (stalled) {
        form.Command1->click(); // stop; its message is recorded like any other
        std::fprintf(stderr, "run of %lld stalled after %lld queries\n", size, queries());
        return 3;
    }

    // The run must have ended at its target, with the target in the list and in the file.
    // Words that exclude nothing: the same harvest, the count of none excluded told.
    const QString expected = u"恭喜！已完成您需要的"_s + QString::number(size) +
                             u"个长尾词任务！您可点击 [查看保存结果] 观看"_s +
                             (words ? u"（已排除0个）"_s : QString());
    QFile file(resultFolderPath(dir.path()) + QDir::separator() + resultFileName(kSeed));
    qint64 lines = -1;
    if (file.open(QIODevice::ReadOnly))
        lines = file.readAll().count("\r\n");
    const bool ok = desktop.messages == QStringList{expected} && form.List3Count() == size &&
                    miner.List2.ListCount() == size && lines == size + 2;
    if (!ok)
        std::fprintf(stderr, "run of %lld: wrong end (%lld shown, %lld file lines, message %s)\n",
                     size, qint64(form.List3Count()), lines,
                     desktop.messages.join(u" | "_s).toUtf8().constData());

    // CPU per query over the first and the last tenth of the queries, from the probe's samples;
    // the end is the last sample, before the final save.
    const Sample &end = samples.back();
    const qint64 total = end.queries;
    const auto at = [&](qint64 q) {
        for (const Sample &s : samples)
            if (s.queries >= q)
                return s;
        return end;
    };
    const Sample a = at(std::max<qint64>(1, total / 10));
    const Sample b = at(total - total / 10);
    const double firstTenth = a.queries > 0 ? (a.cpu - samples.front().cpu) / a.queries : 0;
    const double lastTenth =
        end.queries > b.queries ? (end.cpu - b.cpu) / double(end.queries - b.queries) : 0;

    std::printf("RESULT %d %lld %lld %lld %.6f %.6f %.6f %ld %lld %lld %lld | %s\n", ok ? 1 : 0,
                qint64(form.List3Count()), queries(), endMs, end.cpu - samples.front().cpu,
                firstTenth, lastTenth, peakRssKb(), maxDelay, endTickMs, maxDelayAt,
                shares.constData());
    std::fflush(stdout);
    return ok ? 0 : 4;
}

// One harvest to its target against a limiting engine; prints the run's wall time and what
// the engine did.
int runPaced(qint64 size, quint16 port)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    EndDesktop desktop;
    Form8 form(windowOptions(dir, port, desktop));
    form.Text2Edit->setText(kSeed);
    form.Combo1->setEditText(QString::number(size));
    QEventLoop loop;
    desktop.onMessage = [&] { loop.quit(); };
    QElapsedTimer wall;
    wall.start();
    form.Command1->click();
    loop.exec();
    const qint64 ms = wall.elapsed();
    const QString expected = u"恭喜！已完成您需要的"_s + QString::number(size) + u"个长尾词任务"_s;
    const bool ok = desktop.messages.size() == 1 && desktop.messages[0].startsWith(expected) &&
                    form.List3Count() == size;
    if (!ok)
        std::fprintf(stderr, "paced run of %lld: wrong end (%s)\n", size,
                     desktop.messages.join(u" | "_s).toUtf8().constData());
    const QString stats = getHTTPPage1(u"http://127.0.0.1:%1/stats"_s.arg(port));
    std::printf("RESULT %d %lld %s\n", ok ? 1 : 0, ms, stats.toUtf8().constData());
    std::fflush(stdout);
    return ok ? 0 : 4;
}

// ---- The driver --------------------------------------------------------------------------

struct Row {
    bool ok = false;
    qint64 keywords = 0, queries = 0, wallMs = 0, maxDelayMs = 0, endTickMs = 0, maxDelayAt = 0;
    double cpu = 0, firstTenth = 0, lastTenth = 0;
    long rssKb = 0;
    QByteArray shares; // CPU by thread during the run

    double cpuPerQuery() const { return queries > 0 ? cpu * 1000 / queries : 0.0; }
};

std::optional<Row> parse(const QByteArray &output)
{
    for (const QByteArray &line : output.split('\n')) {
        if (!line.startsWith("RESULT "))
            continue;
        const qsizetype bar = line.indexOf(" | ");
        const QList<QByteArray> f = line.mid(7, bar < 0 ? -1 : bar - 7).trimmed().split(' ');
        if (f.size() != 11)
            return std::nullopt;
        Row r;
        r.ok = f[0] == "1";
        r.keywords = f[1].toLongLong();
        r.queries = f[2].toLongLong();
        r.wallMs = f[3].toLongLong();
        r.cpu = f[4].toDouble();
        r.firstTenth = f[5].toDouble();
        r.lastTenth = f[6].toDouble();
        r.rssKb = f[7].toLong();
        r.maxDelayMs = f[8].toLongLong();
        r.endTickMs = f[9].toLongLong();
        r.maxDelayAt = f[10].toLongLong();
        r.shares = bar < 0 ? QByteArray() : line.mid(bar + 3).trimmed();
        return r;
    }
    return std::nullopt;
}

// Runs one child and prints its row; the row, or nothing when the run failed.
std::optional<Row> runRow(const char *where, qint64 size, const QString &port,
                          const QProcessEnvironment &env, bool withStrip, bool journal,
                          bool words = false)
{
    QProcess run;
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{u"--size"_s, QString::number(size), u"--port"_s, port};
    if (withStrip)
        args.append(u"--strip"_s);
    if (!journal)
        args.append(u"--no-journal"_s);
    if (words)
        args.append(u"--words"_s);
    run.start(QCoreApplication::applicationFilePath(), args);
    // A run at 100 queries a second takes about size / 900 s; allow ten times that.
    const int limitMs = int(std::min<qint64>(60000 + size * 10, 3600000));
    if (!run.waitForFinished(limitMs)) {
        run.kill();
        run.waitForFinished();
        std::printf("%-9s %10lld  did not finish within %d s\n", where, size, limitMs / 1000);
        return std::nullopt;
    }
    const QByteArray output = run.readAllStandardOutput();
    const std::optional<Row> r = parse(output);
    if (!r) {
        std::printf("%-9s %10lld  failed (exit code %d)\n", where, size, run.exitCode());
        return std::nullopt;
    }
    const double wall = r->wallMs / 1000.0;
    std::printf(
        "%-9s %10lld %8lld %8.1f %7.1f %9.3f %9.3f %9.3f %8.2f %8.1f %4lld ms (%7lld) %5lld ms%s\n",
        where, r->keywords, r->queries, wall, wall > 0 ? r->queries / wall : 0.0, r->cpuPerQuery(),
        r->firstTenth * 1000, r->lastTenth * 1000,
        r->firstTenth > 0 ? r->lastTenth / r->firstTenth : 0.0, r->rssKb / 1024.0, r->maxDelayMs,
        r->maxDelayAt, r->endTickMs, r->ok ? "" : "  WRONG END");
    std::fflush(stdout);
    return r;
}

// The pace against limiting engines, one engine and one harvest a row, each sized to take
// about seconds at the engine's rate: long enough for the refusals a minute to say something
// once the first seconds have taught the pace. Returns false when a run did not end at its
// target.
bool paceTable(const QProcessEnvironment &env, int seconds)
{
    struct Engine {
        const char *name;
        double rate;
        bool ban;
    };
    const Engine engines[] = {
        {"no limit", 0, false}, {"5/s", 5, false},        {"20/s", 20, false},
        {"50/s", 50, false},    {"20/s, bans", 20, true},
    };
    std::printf("\n%-12s %9s %8s %8s %7s %7s %9s %11s %5s\n", "engine", "keywords", "answered",
                "wall s", "q/s", "q/s / r", "refusals", "after 10 s", "bans");
    std::fflush(stdout);
    bool allOk = true;
    for (const Engine &e : engines) {
        QProcess engine;
        engine.setProcessEnvironment(env);
        QStringList args{u"--rate"_s, QString::number(e.rate)};
        if (e.ban)
            args.append(u"--ban"_s);
        const quint16 port = startEngine(engine, args);
        if (port == 0)
            return false;
        // About nine fresh keywords a page; full speed is shown in a third of the time.
        const qint64 size = qRound64(e.rate > 0 ? e.rate * seconds * 9 : 100 * seconds * 3);
        QProcess run;
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.start(
            QCoreApplication::applicationFilePath(),
            {u"--paced"_s, u"--size"_s, QString::number(size), u"--port"_s, QString::number(port)});
        const bool finished = run.waitForFinished(seconds * 20 * 1000);
        if (!finished) {
            run.kill();
            run.waitForFinished();
        }
        engine.kill();
        engine.waitForFinished();
        QList<QByteArray> f;
        for (const QByteArray &line : run.readAllStandardOutput().split('\n'))
            if (line.startsWith("RESULT "))
                f = line.mid(7).simplified().split(' ');
        if (!finished || f.size() != 6 || f[0] != "1") {
            std::printf("%-12s %9lld  failed\n", e.name, size);
            allOk = false;
            continue;
        }
        const double wall = f[1].toDouble() / 1000;
        const double rate = f[2].toDouble() / wall;
        const double perMinute = wall > 10 ? f[4].toDouble() * 60 / (wall - 10) : 0;
        const bool goal =
            e.rate > 0 ? rate >= 0.85 * e.rate && perMinute <= 2 && f[5] == "0" : rate >= 95;
        std::printf("%-12s %9lld %8s %8.1f %7.1f %7s %9s %11.1f %5s%s\n", e.name, size,
                    f[2].constData(), wall, rate,
                    e.rate > 0 ? qPrintable(QString::number(rate / e.rate, 'f', 2)) : "-",
                    f[3].constData(), perMinute, f[5].constData(), goal ? "" : "  below goal");
        std::fflush(stdout);
    }
    std::printf("Engines allow bursts of a second's worth and refuse with 429 (no Retry-After); "
                "bans: a client refused 10 times within a minute\nis sent to a verification page "
                "for a minute. after 10 s: refusals a minute after the first 10 s.\nGoal: q/s at "
                "least 0.85 r, at most 2 refusals a minute after the first 10 s, no ban; without a "
                "limit, 100 q/s.\n\n");
    return allOk;
}

// The candidates' tests of a tick with 500 exclusion words against none, in process: the
// automaton, and for comparison 500 substring searches a candidate. Then 200,000 keywords
// exported as a workbook and as CSV.
bool steeringRows()
{
    QList<QStringList> pages;
    QString keyword = kSeed;
    for (int i = 0; i < 2000; ++i) {
        pages.append(suggestionsFor(keyword));
        keyword = pages.last().first();
    }
    const QStringList words = unmatchedWords();
    const ExclusionWords automaton(words, kSeed);
    const QString first = firstCharacter(kSeed), last = lastCharacter(kSeed);
    const auto perPage = [&](const auto &excludes) {
        QElapsedTimer t;
        t.start();
        qsizetype kept = 0;
        constexpr int kRounds = 20;
        for (int round = 0; round < kRounds; ++round)
            for (const QStringList &page : pages)
                for (const QString &c : page)
                    kept += passesSeedTests(c, first, last, false, kSeed) && !excludes(c);
        return std::make_pair(t.nsecsElapsed() / 1000.0 / (kRounds * pages.size()), kept);
    };
    const auto none = perPage([](const QString &) { return false; });
    const auto withWords = perPage([&](const QString &c) { return automaton.excludes(c); });
    const auto naive = perPage([&](const QString &c) {
        return std::any_of(words.cbegin(), words.cend(),
                           [&](const QString &w) { return c.contains(w, Qt::CaseInsensitive); });
    });
    std::printf("\nexclusion, the candidates' tests of one page (10 candidates): none %.2f us, "
                "500 words %.2f us (%.2f x; +%.2f us a tick), 500 substring searches %.2f us\n",
                none.first, withWords.first, withWords.first / none.first,
                withWords.first - none.first, naive.first);
    bool ok = none.second == withWords.second && none.second == naive.second;

    HarvestPart part{kSeed, {}, {}};
    for (qint32 i = 0; part.keywords.size() < 200000; ++i) {
        for (const QString &s : suggestionsFor(QString::number(i)))
            part.keywords << s + QString::number(i);
        while (part.origins.size() < part.keywords.size())
            part.origins.append(i == 0 ? Origins::kFromSeed : i - 1);
    }
    part.keywords.resize(200000);
    QTemporaryDir dir;
    for (const auto format : {ExportFormat::Xlsx, ExportFormat::Csv}) {
        const QString path =
            dir.filePath(format == ExportFormat::Xlsx ? u"bench.xlsx"_s : u"bench.csv"_s);
        QElapsedTimer t;
        t.start();
        const SaveResult r = exportHarvest(path, format, {part});
        std::printf("export of %lld keywords as %s: %.2f s, %.1f MB%s\n",
                    qint64(part.keywords.size()), format == ExportFormat::Xlsx ? "xlsx" : "CSV",
                    t.elapsed() / 1000.0, QFileInfo(path).size() / 1e6, r.ok() ? "" : "  FAILED");
        ok = ok && r.ok();
    }
    std::fflush(stdout);
    return ok;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values[values.size() / 2];
}

// The program started runs times on the display; prints each start and the medians. Returns
// false when a start was not measured.
bool startTable(const QString &program, const QProcessEnvironment &env, int runs)
{
    QProcessEnvironment x11 = env;
    x11.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    std::printf("\n%-7s %10s %9s %7s %8s %10s %8s\n", "start", "mapped ms", "drawn ms", "CPU ms",
                "PSS MiB", "processes", "threads");
    QList<double> mapped, drawn, cpu, pss, processes, threads;
    for (int i = 1; i <= runs; ++i) {
        const std::optional<StartFigures> f = startOnce(program, x11);
        if (!f) {
            std::printf("%-7d  failed\n", i);
            return false;
        }
        std::printf("%-7d %10.0f %9.0f %7.0f %8.1f %10d %8d\n", i, f->mappedMs, f->drawnMs,
                    f->cpuMs, f->pssMiB, f->processes, f->threads);
        std::fflush(stdout);
        mapped.append(f->mappedMs);
        drawn.append(f->drawnMs);
        cpu.append(f->cpuMs);
        pss.append(f->pssMiB);
        processes.append(f->processes);
        threads.append(f->threads);
    }
    std::printf("%-7s %10.0f %9.0f %7.0f %8.1f %10.0f %8.0f\n", "median", median(mapped),
                median(drawn), median(cpu), median(pss), median(processes), median(threads));
    std::printf("%s started as a user starts it, each time with a home of its own. mapped: its "
                "window on the display; drawn: the strip's page on the screen; CPU: its "
                "processes' from the start until idle (half a second without work); PSS: summed "
                "over its processes then.\nGoals: the page drawn within 0.5 s, PSS at most "
                "80 MiB, one process.\n",
                qPrintable(program));
    return true;
}

int drive(const QList<qint64> &sizes, bool journal, int paceSeconds)
{
    // Qt warns in every child without a runtime directory; give them a private one.
    QTemporaryDir runtimeDir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.value(u"XDG_RUNTIME_DIR"_s).isEmpty() && runtimeDir.isValid())
        env.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir.path());

    QProcess engine;
    engine.setProcessEnvironment(env);
    const quint16 enginePort = startEngine(engine);
    if (enginePort == 0)
        return 1;
    const QString port = QString::number(enginePort);

    std::printf("%-9s %10s %8s %8s %7s %9s %9s %9s %8s %8s %17s %8s\n", "window", "keywords",
                "queries", "wall s", "q/s", "CPU ms/q", "1st 10%", "last 10%", "flatness",
                "peak MB", "max delay (at)", "end tick");
    std::fflush(stdout);
    bool allOk = true;
    QProcessEnvironment offscreen = env;
    offscreen.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    // With a display to reach, the offscreen platform loads OpenGL too: keep these rows as they
    // were measured before the window rows came.
    offscreen.remove(u"DISPLAY"_s);
    for (const qint64 size : sizes) {
        const std::optional<Row> r = runRow("offscreen", size, port, offscreen, false, journal);
        allOk = allOk && r && r->ok;
    }
    // Whole harvests with 500 words that exclude nothing against none, taken in turns: what
    // a tick costs.
    {
        constexpr qint64 size = 10000;
        QList<double> none, words;
        for (int i = 0; i < 3; ++i) {
            const std::optional<Row> a = runRow("no words", size, port, offscreen, false, journal);
            const std::optional<Row> b =
                runRow("500 words", size, port, offscreen, false, journal, true);
            allOk = allOk && a && b && a->ok && b->ok;
            if (a && b) {
                none << a->cpuPerQuery();
                words << b->cpuPerQuery();
            }
        }
        if (!none.isEmpty() && median(none) > 0)
            std::printf("exclusion: CPU per query with 500 words over none, median of %lld "
                        "runs each: %.3f x\n",
                        qint64(none.size()), median(words) / median(none));
    }
    allOk = steeringRows() && allOk;
    allOk = paceTable(offscreen, paceSeconds) && allOk;

    // The window with its strip, as shipped, on the display; then the program itself, started.
    QList<double> cpuPerQuery, peakMiB;
    QByteArray shares;
    const bool display = !env.value(u"DISPLAY"_s).isEmpty();
    if (!display) {
        std::printf("no X display: the window rows are left out (make bench starts Xvfb)\n");
        allOk = false;
    } else {
        QProcessEnvironment x11 = env;
        x11.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        for (int i = 0; i < kWindowRuns; ++i) {
            if (const std::optional<Row> r =
                    runRow("window", kWindowSize, port, x11, true, journal)) {
                cpuPerQuery.append(r->cpuPerQuery());
                peakMiB.append(r->rssKb / 1024.0);
                shares = r->shares;
                allOk = allOk && r->ok;
            } else {
                allOk = false;
            }
        }
    }
    std::printf("CPU ms/q: CPU time of the whole process per query; 1st/last 10%%: the same over "
                "the first and the last tenth of the queries; flatness: last over first.\n"
                "max delay: latest 5 ms probe tick in the window's event loop during the run, at "
                "that many keywords; end tick: last probe to the end message (last tick and "
                "save). peak MB: the process's VmHWM.\n"
                "offscreen: the window with a blank widget for the strip; window: the window as "
                "shipped on the X display.\n");
    if (!cpuPerQuery.isEmpty())
        std::printf("\nWindow on the display, %lld keywords, median of %lld runs: %.3f ms CPU per "
                    "query, peak memory %.1f MiB. CPU by thread, last run: %s.\n",
                    kWindowSize, qint64(cpuPerQuery.size()), median(cpuPerQuery), median(peakMiB),
                    shares.constData());
    if (display)
        allOk = startTable(QString::fromUtf8(TAILSPADE_PROGRAM), env, kStartRuns) && allOk;
    engine.kill();
    engine.waitForFinished();
    return allOk ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    if (args.value(0) == u"--serve"_s) {
        QCoreApplication app(argc, argv);
        const qsizetype rateAt = args.indexOf(u"--rate"_s);
        if (rateAt >= 0)
            return serveLimited(args.value(rateAt + 1).toDouble(), args.contains(u"--ban"_s));
        return serve();
    }
    const qsizetype sizeAt = args.indexOf(u"--size"_s);
    const qsizetype portAt = args.indexOf(u"--port"_s);
    if (sizeAt >= 0 && portAt >= 0 && args.contains(u"--paced"_s)) {
        QApplication app(argc, argv);
        return runPaced(args.value(sizeAt + 1).toLongLong(),
                        quint16(args.value(portAt + 1).toUInt()));
    }
    if (sizeAt >= 0 && portAt >= 0) {
        const bool withStrip = args.contains(u"--strip"_s);
        QApplication app(argc, argv);
        return runOne(args.value(sizeAt + 1).toLongLong(), quint16(args.value(portAt + 1).toUInt()),
                      withStrip, !args.contains(u"--no-journal"_s), args.contains(u"--words"_s));
    }
    QCoreApplication app(argc, argv);
    if (args.value(0) == u"--startup"_s) {
        const qsizetype programAt = args.indexOf(u"--program"_s);
        const qsizetype runsAt = args.indexOf(u"--runs"_s);
        return startTable(programAt > 0 ? args.value(programAt + 1)
                                        : QString::fromUtf8(TAILSPADE_PROGRAM),
                          QProcessEnvironment::systemEnvironment(),
                          runsAt > 0 ? args.value(runsAt + 1).toInt() : kStartRuns)
                   ? 0
                   : 1;
    }
    const bool quick = args.contains(u"--quick"_s);
    return drive(quick ? QList<qint64>{1000, 10000} : QList<qint64>{1000, 32767, 200000},
                 !args.contains(u"--no-journal"_s), quick ? 20 : 90);
}
