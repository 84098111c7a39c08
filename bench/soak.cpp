// Soak: long harvests through the real window against a local search engine (in a child
// process) that fails about one query in ten: reset mid-body, garbage, closed without an
// answer, slower than the fetch time-out, 404 with a body. Five runs: ended by the target
// (50,000 keywords), by the user's stop, and by exhaustion of a finite engine, then the same
// exhaustion again through outages and throttling, and once more against an engine that allows
// only kLimitRate queries a second, each of which must harvest exactly what the first did.
// After each the result file is parsed back and checked against the harvest list.
#include "fetch/pagefetch.h"
#include "tests/harness.h"

#include "bench/benchsupport.h"
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTimer>
#include <cstdio>

using namespace Qt::StringLiterals;
using Response = TestServer::Response;
using Mode = Response::Mode;

namespace {

constexpr int kTarget = 50000;
constexpr int kStopAfter = 3000;
constexpr qint64 kFiniteLimit = 6000; // the finite engine knows keywords numbered up to this
constexpr int kFetchTimeoutMs = 300;
constexpr qint64 kRunDeadlineMs = 60LL * 60 * 1000; // a run that has not ended by then hangs

const char *const kFailureNames[] = {"reset", "garbage", "closed", "slow", "404"};
constexpr int kFailureKinds = 5;

// Once switched on, every kOutageEvery-th query begins an outage of kOutageMs, of each kind in
// turn: 429 with Retry-After, 503, 502, a redirect to a verification page, the port closed.
constexpr int kOutageEvery = 700;
constexpr int kOutageMs = 2500;
constexpr int kOutageKinds = 5;
// Once limited, the engine lets kLimitRate queries a second through, in bursts of up to a
// second's worth, and refuses the rest with 429.
constexpr double kLimitRate = 40;

quint32 fnv1a(const QString &text)
{
    quint32 h = 2166136261u;
    for (const QChar c : text) {
        h ^= c.unicode();
        h *= 16777619u;
    }
    return h;
}

// Keywords are a two-character prefix and a number; the prefix alone is a seed (number 0).
// Keyword n suggests n*10+1 .. n*10+10, so the graph is a ten-way tree.
Response answer(const QByteArray &target, QSet<QString> (&failed)[kFailureKinds])
{
    Response r;
    const QString keyword = TestServer::queryKeyword(target);
    const QString prefix = keyword.left(2);
    const qint64 n = keyword.size() > 2 ? keyword.mid(2).toLongLong() : 0;
    const quint32 h = fnv1a(keyword);
    if (n > 0 && h % 10 == 0) {
        const int kind = int((h / 10) % kFailureKinds);
        failed[kind].insert(keyword);
        switch (kind) {
        case 0:
            r.mode = Mode::ResetMidBody;
            r.body = suggestionPage({prefix + u"不该出现"_s});
            break;
        case 1: {
            QRandomGenerator rng(h);
            r.body.resize(4096);
            for (char &c : r.body)
                c = char(rng.bounded(256));
            break;
        }
        case 2:
            r.mode = Mode::CloseNoAnswer;
            break;
        case 3:
            r.mode = Mode::Slow;
            r.delayMs = 4 * kFetchTimeoutMs;
            r.body = suggestionPage({prefix + u"不该出现"_s});
            break;
        default:
            r.status = 404;
            r.body = "<html><body>not found</body></html>";
            break;
        }
        return r;
    }
    const bool finite = prefix == u"多肉"_s;
    QStringList suggestions;
    for (qint64 c = n * 10 + 1; c <= n * 10 + 10; ++c) {
        if (finite && c > kFiniteLimit)
            break;
        suggestions << prefix + QString::number(c);
    }
    r.body = suggestionPage(suggestions);
    return r;
}

int serve()
{
    QSet<QString> failed[kFailureKinds];
    int requests = 0;
    TestServer *server = nullptr;
    bool outages = false;
    int outagesBegun = 0;
    int refused = 0;
    QElapsedTimer outage;  // since the last outage began
    QElapsedTimer limited; // since the limit was switched on
    double tokens = kLimitRate;
    qint64 last = 0;
    return serveForever(
        [&](const QByteArray &target) {
            Response r;
            if (target == "/stats") {
                QByteArray text = QByteArray::number(requests);
                for (const auto &kind : failed)
                    text += ' ' + QByteArray::number(kind.size());
                r.body = text + ' ' + QByteArray::number(refused);
                return r;
            }
            if (target == "/outages") {
                outages = true;
                return r;
            }
            if (target == "/limit") {
                outages = false;
                limited.start();
                return r;
            }
            if (target.startsWith("/verify")) {
                r.body = suggestionPage({u"多肉验证"_s}); // a keyword, were it read
                return r;
            }
            ++requests;
            if (limited.isValid()) {
                const qint64 now = limited.elapsed();
                tokens = std::min(kLimitRate, tokens + double(now - last) * kLimitRate / 1000);
                last = now;
                if (tokens < 1) {
                    ++refused;
                    r.status = 429;
                    return r;
                }
                tokens -= 1;
            }
            if (outages && requests % kOutageEvery == 0) {
                ++outagesBegun;
                outage.start();
                if (outagesBegun % kOutageKinds == 0) {
                    const quint16 port = server->port();
                    server->close();
                    QTimer::singleShot(kOutageMs, server, [server, port] { server->listen(port); });
                }
            }
            if (outage.isValid() && outage.elapsed() < kOutageMs) {
                ++refused;
                switch (outagesBegun % kOutageKinds) {
                case 1:
                    r.status = 429;
                    r.headers = {{"Retry-After", "1"}};
                    break;
                case 2:
                    r.status = 502;
                    break;
                case 3:
                    r.status = 302;
                    r.headers = {{"Location", "/verify?from=s"}};
                    break;
                default: // 503; also what a query already in when the port closed gets
                    r.status = 503;
                    break;
                }
                r.body = suggestionPage({u"多肉不该出现"_s});
                return r;
            }
            return answer(target, failed);
        },
        [&server](TestServer &listening) { server = &listening; });
}

struct Block {
    QString seed;
    int count = -1;
    QStringList entries;
};

// Splits a result file into blocks; an empty list with *ok false when the file is malformed.
QList<Block> parseResultFile(const QString &path, bool *ok)
{
    *ok = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringDecoder gb18030("GB18030");
    const QString text = gb18030.decode(file.readAll());
    if (!text.endsWith(u"\r\n"_s))
        return {};
    const QStringList lines = text.left(text.size() - 2).split(u"\r\n"_s);
    static const QRegularExpression header(
        u"^以下是与 \\{(.*)\\} 相关长尾词    保存时间：[0-9/ :]+     本次共([0-9]+)条$"_s);
    QList<Block> blocks;
    for (qsizetype i = 0; i < lines.size();) {
        const QRegularExpressionMatch m = header.match(lines.at(i));
        if (!m.hasMatch() || i + 1 >= lines.size() || !lines.at(i + 1).isEmpty())
            return {};
        Block b;
        b.seed = m.captured(1);
        b.count = m.captured(2).toInt();
        if (i + 2 + b.count > lines.size())
            return {};
        b.entries = lines.mid(i + 2, b.count);
        blocks.append(b);
        i += 2 + b.count;
    }
    *ok = true;
    return blocks;
}

class Soak {
public:
    explicit Soak(quint16 port)
        : m_port(port)
    {
        Form8Options options;
        options.withBrowser = false;
        options.desktop = &m_desktop;
        options.quit = [] {};
        options.miner.programDir = m_dir.path();
        options.miner.searchPrefix = u"http://127.0.0.1:%1/s?wd="_s.arg(port);
        options.miner.clock = fixedClock;
        options.miner.fetchTimeoutMs = kFetchTimeoutMs;
        m_form = std::make_unique<Form8>(std::move(options));
    }

    enum class End { Target, Stop, Exhaustion };

    // Returns false when a check failed; the harvest, when given, must come out again.
    bool run(const char *label, const QString &seed, End end, const QStringList *expected = nullptr)
    {
        Form8 &w = *m_form;
        Miner &m = w.miner();
        w.Text2Edit->setText(seed);
        w.Combo1->setEditText(end == End::Target ? QString::number(kTarget) : u"0"_s);
        m_desktop.messages.clear();
        const QList<int> before = stats();

        QElapsedTimer wall;
        wall.start();
        w.Command1->click();
        QEventLoop loop;
        QTimer poll;
        bool stopped = false;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (end == End::Stop && !stopped && m.List2.ListCount() >= kStopAfter) {
                stopped = true;
                w.Command1->click(); // the user's stop, usually while a page is awaited
            }
            if (w.Command1->text() == u"开始采集"_s || wall.elapsed() > kRunDeadlineMs)
                loop.quit();
        });
        poll.start(20);
        loop.exec();
        poll.stop();
        // A stop does not cancel the tick that is waiting: let it merge its page.
        if (end == End::Stop) {
            QEventLoop settle;
            QTimer::singleShot(4 * kFetchTimeoutMs, &settle, &QEventLoop::quit);
            settle.exec();
        }
        const double seconds = wall.elapsed() / 1000.0;
        const QList<int> after = stats();

        bool good = w.Command1->text() == u"开始采集"_s;
        const QStringList harvest = m.List2.items();
        // The count each save reported: the message of the end that saved.
        static const QRegularExpression number(u"(?:共：|需要的|采集到)([0-9]+)个长尾词"_s);
        int savedCount = -1;
        for (const QString &msg : std::as_const(m_desktop.messages)) {
            const QRegularExpressionMatch match = number.match(msg);
            if (match.hasMatch())
                savedCount = match.captured(1).toInt();
            else
                good = false; // a failed save or an unexpected message
        }
        good = good && m_desktop.messages.size() == 1 && savedCount >= 0;

        bool parsed = false;
        const QList<Block> blocks = parseResultFile(resultPath(seed), &parsed);
        good = good && parsed && blocks.size() == 1;
        qsizetype lost = savedCount > 0 ? savedCount : 0;
        qsizetype late = 0;
        if (good) {
            const Block &b = blocks.first();
            const QStringList wanted = harvest.mid(0, savedCount);
            lost = 0;
            const QSet<QString> inFile(b.entries.cbegin(), b.entries.cend());
            for (const QString &k : wanted)
                lost += inFile.contains(k) ? 0 : 1;
            // Exactly once each, in harvest order, and nothing else.
            good = b.seed == seed && b.count == b.entries.size() && b.entries == wanted &&
                   inFile.size() == b.entries.size();
            late = harvest.size() - savedCount;
        }
        const QSet<QString> distinct(harvest.cbegin(), harvest.cend());
        good = good && distinct.size() == harvest.size() && lost == 0;
        if (end == End::Target)
            good = good && harvest.size() == kTarget && late == 0;
        if (end == End::Exhaustion)
            good = good && late == 0 && m.Label2 == m.Label3;
        // Refused queries were waited for and asked again, so the end says so.
        const int refused = after.value(kFailureKinds + 1) - before.value(kFailureKinds + 1);
        static const QRegularExpression waited(
            u"（搜索引擎曾([0-9]+)次暂时拒绝查询，共等待([0-9]+)秒，均已重试）"_s
            u"(?:（已按搜索引擎限速，平均每秒约([0-9.]+)次）)?$"_s);
        const QRegularExpressionMatch held = waited.match(m_desktop.messages.value(0));
        if (expected)
            good = good && harvest == *expected && refused > 0 && held.hasMatch();
        else
            good = good && refused == 0 && !held.hasMatch();
        m_harvest = harvest;

        int failures = 0;
        QByteArray byKind;
        for (int k = 0; k < kFailureKinds; ++k) {
            const int d = after.value(k + 1) - before.value(k + 1);
            failures += d;
            byKind += QByteArray(" ") + kFailureNames[k] + '=' + QByteArray::number(d);
        }
        const QString pace = held.captured(3).isEmpty() ? u"-"_s : held.captured(3);
        std::printf("%-12s keywords=%lld queries=%d failures injected=%d (%s ) refused=%d "
                    "waits=%s waited=%ss paced=%s/s saves=%lld saved=%d keywords lost=%lld merged "
                    "after the save=%lld time=%.1fs peak memory=%.1f MiB  %s\n",
                    label, static_cast<long long>(harvest.size()), after.value(0) - before.value(0),
                    failures, byKind.constData() + 1, refused,
                    held.hasMatch() ? qPrintable(held.captured(1)) : "0",
                    held.hasMatch() ? qPrintable(held.captured(2)) : "0", qPrintable(pace),
                    static_cast<long long>(blocks.size()), savedCount, static_cast<long long>(lost),
                    static_cast<long long>(late), seconds, peakRssKb() / 1024.0,
                    good ? "OK" : "FAILED");
        std::fflush(stdout);
        return good;
    }

    const QStringList &harvest() const { return m_harvest; }

private:
    QString resultPath(const QString &seed) const
    {
        return m_dir.path() + u"/Keywords/关键词-"_s + seed + u".txt"_s;
    }
    QList<int> stats() const
    {
        QList<int> values;
        const QString text = getHTTPPage1(u"http://127.0.0.1:%1/stats"_s.arg(m_port));
        for (const QString &part : text.split(u' ', Qt::SkipEmptyParts))
            values.append(part.toInt());
        return values;
    }

    quint16 m_port;
    QStringList m_harvest;
    QTemporaryDir m_dir;
    RecordingDesktop m_desktop;
    std::unique_ptr<Form8> m_form;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--serve") == 0) {
        QCoreApplication app(argc, argv);
        return serve();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QProcess engine;
    const quint16 port = startEngine(engine);
    if (port == 0)
        return 2;

    bool good = true;
    {
        Soak soak(port);
        good = soak.run("target", u"鲜花"_s, Soak::End::Target) && good;
        good = soak.run("user stop", u"绿植"_s, Soak::End::Stop) && good;
        good = soak.run("exhaustion", u"多肉"_s, Soak::End::Exhaustion) && good;
        const QStringList undisturbed = soak.harvest();
        getHTTPPage1(u"http://127.0.0.1:%1/outages"_s.arg(port));
        good = soak.run("outages", u"多肉"_s, Soak::End::Exhaustion, &undisturbed) && good;
        getHTTPPage1(u"http://127.0.0.1:%1/limit"_s.arg(port));
        good = soak.run("rate-limited", u"多肉"_s, Soak::End::Exhaustion, &undisturbed) && good;
    }
    engine.kill();
    engine.waitForFinished();
    return good ? 0 : 1;
}
