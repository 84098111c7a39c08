// Faults from outside the program, through the real window: a search engine that misbehaves
// for one keyword, saves that meet a full disk, a folder that refuses files, or something in
// the way, and a harvest killed outright. The run must go on, end normally, and tell the user
// of every failed save; a killed run is saved at the next start.

#include "fetch/pagefetch.h"
#include "harness.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <numeric>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;
using Response = TestServer::Response;
using Mode = Response::Mode;

namespace {

const QString kIdle = u"开始采集"_s;
const QString kSeed = u"鲜花"_s;
const QString kFaulty = u"鲜花B"_s;
// Short, so that a server that stalls is given up on quickly; every healthy answer is instant.
constexpr int kShortTimeoutMs = 400;
constexpr qint64 kHugeBody = 300LL * 1024 * 1024;

// Answers every request with a body of the given size, written as the socket drains: a 300 MB
// page costs this side no memory. Records whether a client left before the body was complete.
class StreamServer final : public QObject {
public:
    StreamServer(qint64 total, bool announceLength)
        : m_total(total)
        , m_announce(announceLength)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString url() const { return u"http://127.0.0.1:%1/huge"_s.arg(m_server.serverPort()); }
    int connections = 0;
    int leftEarly = 0; // clients that closed before the whole body was sent
    qint64 sent = 0;   // body bytes handed to the sockets, all connections

private:
    void serve(QTcpSocket *socket)
    {
        ++connections;
        auto started = std::make_shared<bool>(false);
        auto bodySent = std::make_shared<qint64>(0);
        const auto pump = [this, socket, bodySent] {
            const QByteArray chunk(64 * 1024, 'x');
            while (socket->bytesToWrite() < 4 * chunk.size() && *bodySent < m_total) {
                const qint64 n = std::min<qint64>(chunk.size(), m_total - *bodySent);
                socket->write(chunk.constData(), n);
                *bodySent += n;
                sent += n;
            }
            if (*bodySent >= m_total)
                socket->disconnectFromHost();
        };
        connect(socket, &QTcpSocket::readyRead, socket, [socket, started, pump, this] {
            socket->readAll();
            if (*started)
                return;
            *started = true;
            QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
            if (m_announce)
                head += "Content-Length: " + QByteArray::number(m_total) + "\r\n";
            socket->write(head + "\r\n");
            pump();
        });
        connect(socket, &QTcpSocket::bytesWritten, socket, pump);
        connect(socket, &QTcpSocket::disconnected, socket, [this, socket, bodySent] {
            if (*bodySent < m_total || socket->bytesToWrite() > 0)
                ++leftEarly;
            socket->deleteLater();
        });
    }

    QTcpServer m_server;
    qint64 m_total;
    bool m_announce;
};

enum class EngineFault {
    ResetMidBody,
    Garbage,
    CloseNoAnswer,
    NeverAnswers,
    Dribble,
    SlowBeyondTimeout,
    RedirectLoop,
    HugeBodyAnnounced,
    HugeBodyUnannounced,
    NotFoundWithBody,
    MovedToOtherHost,
};

// The program started again over the harness's folders, as after a crash; another engine if
// given, everything else as Harness sets it, then as adjust sets it.
void restart(Harness &h, int fetchTimeoutMs = kFetchTimeoutMs, const QString &searchPrefix = {},
             const std::function<void(MinerOptions &)> &adjust = {})
{
    h.open([&](MinerOptions &options) {
        options.fetchTimeoutMs = fetchTimeoutMs;
        if (!searchPrefix.isEmpty())
            options.searchPrefix = searchPrefix;
        if (adjust)
            adjust(options);
    });
}

// The harvest every refusal test plants: the seed, two levels below it, and 鲜花B third in line.
void plantHarvest(Harness &h)
{
    h.form->Text2Edit->setText(kSeed);
    h.pages.insert(kSeed, {u"鲜花A"_s, kFaulty, u"鲜花C"_s});
    h.pages.insert(u"鲜花A"_s, {u"鲜花A1"_s, u"鲜花A2"_s});
    h.pages.insert(kFaulty, {u"鲜花B1"_s});
    h.pages.insert(u"鲜花C"_s, {u"鲜花C1"_s});
    h.pages.insert(u"鲜花B1"_s, {u"鲜花B11"_s});
}

void useShortTimeout(Harness &h, const QString &searchPrefix = {})
{
    restart(h, kShortTimeoutMs, searchPrefix);
}

QString header(const QString &seed, qsizetype n)
{
    return u"以下是与 {"_s + seed + u"} 相关长尾词    保存时间：2026/12/7 10:05:09     本次共"_s +
           QString::number(n) + u"条"_s;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                  QDir::System);
}

void runToEnd(Harness &h)
{
    h.form->Command1->click();
    QTRY_COMPARE_WITH_TIMEOUT(h.form->Command1->text(), kIdle, 120000);
}

enum class SaveFault {
    FileSizeLimit,
    ReadOnlyFolder,
    FolderRefusesFiles,
    KeywordsFileInTheWay,
    ReadOnlyResultFile,
    DirectoryAtResultPath,
    SyncRefused,
};

enum class RunEnd { Exhausted, Target, Stopped };

enum class Unreachable { RefusedPort, ClosesWithoutAnswer, UntrustedTls, Throttled, Verification };

enum class WaitEnd { Stop, Exit, GiveUp };

enum class Refusing {
    RetryAfterSeconds,
    RetryAfterDate,
    Unavailable,
    ConnectionRefused,
    Verification
};

// The three ends of a run, reached with the harvest already in the lists and no page to fetch:
// the tick that finds the queue used up, the merge that meets the target, the user's stop.
void endRun(Harness &h, RunEnd end)
{
    Miner &m = h.miner();
    switch (end) {
    case RunEnd::Exhausted:
        m.Timer1_Timer();
        break;
    case RunEnd::Target:
        h.form->Combo1->setEditText(QString::number(m.List2.ListCount()));
        m.Command2_Click();
        break;
    case RunEnd::Stopped:
        h.form->setCommand1Caption(u"停止"_s);
        h.form->Command1->click();
        break;
    }
}

// Runs endRun in a child process whose files may not grow past limit bytes, and returns the
// messages the child's user was shown.
QStringList endRunUnderFileSizeLimit(Harness &h, RunEnd end, rlim_t limit)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {u"pipe failed"_s};
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing us
        const rlimit rl{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
            _exit(3);
        endRun(h, end);
        const QByteArray out = h.desktop.messages.join(u'\x1f').toUtf8();
        const bool written = ::write(fds[1], out.constData(), size_t(out.size())) == out.size();
        _exit(written ? 0 : 4);
    }
    ::close(fds[1]);
    QByteArray out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {u"child failed: %1"_s.arg(status)};
    return QString::fromUtf8(out).split(u'\x1f');
}

enum class JournalEnd { Exhausted, Target, Stopped, ExitOk };

enum class SaveToDisk { StopNewFile, StopExistingFile, Overwrite, OverwriteSyncRefused, Recovery };

// Set in a harvesting child that is to die between its end's save and the journal's removal.
bool g_killAtJournalRemoval = false;

// Suggestions without end: five fresh keywords a page, each holding the seed's first character.
QByteArray endlessPage(const QString &keyword)
{
    QStringList suggestions;
    for (int i = 0; i < 5; ++i)
        suggestions << kSeed.left(1) +
                           QString::number(qHash(keyword + QString::number(i)) % 1000000007);
    return suggestionPage(suggestions);
}

constexpr char kChildFlag[] = "--harvest-child";

// A harvest in a process of its own, for the test to kill. Prints "+keyword" as each keyword
// joins the result list and "T" after every tick. Arguments: the program folder, the search
// prefix, the target, and "kill-at-removal" or nothing.
int harvestChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    g_killAtJournalRemoval = args.value(5) == u"kill-at-removal"_s;
    RecordingDesktop desktop;
    Form8Options options;
    options.withBrowser = false;
    options.desktop = &desktop;
    options.quit = [] {};
    options.miner.programDir = args.value(2);
    options.miner.journalDir = args.value(2) + u"/journal"_s;
    options.miner.searchPrefix = args.value(3);
    options.miner.clock = fixedClock;
    Form8 form(std::move(options));
    const auto say = [](const QString &line) {
        std::fputs((line + u'\n').toUtf8().constData(), stdout);
        std::fflush(stdout);
    };
    QObject::connect(form.List3->model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first, int last) {
                         for (int i = first; i <= last; ++i)
                             say(u'+' + form.List3->item(i)->text());
                     });
    // Connected after the miner's own handler: runs once the tick has returned.
    QObject::connect(&form.miner().Timer1, &QTimer::timeout, [&] { say(u"T"_s); });
    desktop.onMessage = [] { QCoreApplication::exit(0); };
    form.Text2Edit->setText(kSeed);
    form.Combo1->setEditText(args.value(4));
    form.Command1->click();
    return QCoreApplication::exec();
}

// What reached the disk, in order, while g_recordDisk is set: "sync <path>" for a file or
// folder forced to the disk, "unlink <path>" for a removal. The journal syncs on a thread.
std::atomic<bool> g_recordDisk = false;
// While set, the disk refuses to sync any file in a Keywords folder (the folder itself it does).
std::atomic<bool> g_refuseResultSync = false;
std::mutex g_diskLock;
QStringList g_disk;

void recordDisk(const char *what, const QString &path)
{
    if (!g_recordDisk)
        return;
    const std::lock_guard<std::mutex> lock(g_diskLock);
    g_disk << QString::fromLatin1(what) + u' ' + path;
}

QString pathOf(int fd)
{
    char target[4096];
    const ssize_t n = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(),
                                 target, sizeof target);
    return n > 0 ? QFile::decodeName(QByteArray(target, int(n))) : QString();
}

template <typename Call> Call realCall(const char *name)
{
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

} // namespace

// In the child asked for it, the journal's removal (or its rename to a kept run, below) kills the
// process instead.
extern "C" int unlink(const char *path) noexcept
{
    if (g_killAtJournalRemoval && QByteArrayView(path).endsWith(".journal"))
        ::raise(SIGKILL);
    recordDisk("unlink", QFile::decodeName(path));
    static const auto real = realCall<int (*)(const char *)>("unlink");
    return real(path);
}

// A journal kept to be continued goes by a rename instead.
extern "C" int rename(const char *from, const char *to) noexcept
{
    if (g_killAtJournalRemoval && QByteArrayView(from).endsWith(".journal"))
        ::raise(SIGKILL);
    recordDisk("rename", QFile::decodeName(from));
    static const auto real = realCall<int (*)(const char *, const char *)>("rename");
    return real(from, to);
}

extern "C" int fsync(int fd)
{
    recordDisk("sync", pathOf(fd));
    if (g_refuseResultSync && pathOf(fd).contains(u"/Keywords/"_s)) {
        errno = EIO;
        return -1;
    }
    static const auto real = realCall<int (*)(int)>("fsync");
    return real(fd);
}

extern "C" int fdatasync(int fd)
{
    recordDisk("sync", pathOf(fd));
    static const auto real = realCall<int (*)(int)>("fdatasync");
    return real(fd);
}

namespace {

// The events of g_disk before the first removal of a journal, and whether there was one.
QStringList diskBeforeJournalGoes(bool *removed)
{
    const std::lock_guard<std::mutex> lock(g_diskLock);
    QStringList before;
    for (const QString &event : std::as_const(g_disk)) {
        if ((event.startsWith(u"unlink "_s) || event.startsWith(u"rename "_s)) &&
            event.endsWith(u".journal"_s)) {
            *removed = true;
            return before;
        }
        before << event;
    }
    *removed = false;
    return before;
}

} // namespace

Q_DECLARE_METATYPE(EngineFault)
Q_DECLARE_METATYPE(SaveFault)
Q_DECLARE_METATYPE(RunEnd)
Q_DECLARE_METATYPE(JournalEnd)
Q_DECLARE_METATYPE(SaveToDisk)
Q_DECLARE_METATYPE(Unreachable)
Q_DECLARE_METATYPE(Refusing)
Q_DECLARE_METATYPE(WaitEnd)

class FaultsTest : public QObject {
    Q_OBJECT

private slots:
    void engineFaultOnOneKeyword_isSkippedAndRunEndsNormally_data()
    {
        QTest::addColumn<EngineFault>("fault");
        QTest::addColumn<bool>("pageUsed");
        // Qt's HTTP client sends a request once more when a connection closes before any answer
        // (it takes that for a stale connection); the program itself never asks again.
        QTest::addColumn<int>("clientTries");
        // A whole answer is no failed query, whatever its status or its bytes.
        QTest::addColumn<bool>("queryFailed");
        QTest::newRow("reset mid-body") << EngineFault::ResetMidBody << false << 1 << true;
        QTest::newRow("garbage bytes") << EngineFault::Garbage << false << 1 << false;
        QTest::newRow("closed without an answer")
            << EngineFault::CloseNoAnswer << false << 2 << true;
        QTest::newRow("never answers") << EngineFault::NeverAnswers << false << 1 << true;
        QTest::newRow("dribbles a byte at a time") << EngineFault::Dribble << false << 1 << true;
        QTest::newRow("slower than the time-out")
            << EngineFault::SlowBeyondTimeout << false << 1 << true;
        QTest::newRow("redirect loop") << EngineFault::RedirectLoop << false << 1 << true;
        QTest::newRow("300 MB body, length announced")
            << EngineFault::HugeBodyAnnounced << false << 1 << true;
        QTest::newRow("300 MB body, no length")
            << EngineFault::HugeBodyUnannounced << false << 1 << true;
        // An error status still carries a page: its suggestions count.
        QTest::newRow("404 with a body") << EngineFault::NotFoundWithBody << true << 1 << false;
        // The result page at another host is still the result page.
        QTest::newRow("moved to another host")
            << EngineFault::MovedToOtherHost << true << 1 << false;
    }
    void engineFaultOnOneKeyword_isSkippedAndRunEndsNormally()
    {
        QFETCH(EngineFault, fault);
        QFETCH(bool, pageUsed);
        QFETCH(int, clientTries);
        QFETCH(bool, queryFailed);
        Harness h;
        useShortTimeout(h);
        const bool huge =
            fault == EngineFault::HugeBodyAnnounced || fault == EngineFault::HugeBodyUnannounced;
        StreamServer stream(kHugeBody, fault == EngineFault::HugeBodyAnnounced);
        TestServer mirror;
        QVERIFY(mirror.listen());
        mirror.setHandler([&](const QByteArray &target) {
            Response r;
            r.body = suggestionPage(h.pages.value(TestServer::queryKeyword(target)));
            return r;
        });

        h.form->Text2Edit->setText(kSeed);
        h.pages.insert(kSeed, {u"鲜花A"_s, kFaulty, u"鲜花C"_s});
        h.pages.insert(u"鲜花A"_s, {u"鲜花A1"_s});
        h.pages.insert(kFaulty, {u"鲜花B1"_s});
        h.pages.insert(u"鲜花C"_s, {u"鲜花C1"_s});
        QByteArray garbage(4096, '\0');
        QRandomGenerator rng(7);
        for (char &c : garbage)
            c = char(rng.bounded(256));

        h.engine.setHandler([&](const QByteArray &target) {
            Response r;
            if (target.startsWith("/loop")) { // every hop of the loop leads back to its start
                r.status = 302;
                r.headers = {{"Location", "/loop"}};
                return r;
            }
            const QString keyword = TestServer::queryKeyword(target);
            r.body = suggestionPage(h.pages.value(keyword));
            if (keyword != kFaulty)
                return r;
            switch (fault) {
            case EngineFault::ResetMidBody:
                r.mode = Mode::ResetMidBody;
                break;
            case EngineFault::Garbage:
                r.body = garbage;
                break;
            case EngineFault::CloseNoAnswer:
                r.mode = Mode::CloseNoAnswer;
                break;
            case EngineFault::NeverAnswers:
                r.mode = Mode::Never;
                break;
            case EngineFault::Dribble:
                r.mode = Mode::Dribble; // the whole page would take many time-outs
                r.delayMs = 10 * kShortTimeoutMs / int(r.body.size()) + 1;
                break;
            case EngineFault::SlowBeyondTimeout:
                r.mode = Mode::Slow;
                r.delayMs = 20 * kShortTimeoutMs;
                break;
            case EngineFault::RedirectLoop:
                r.status = 302;
                r.headers = {{"Location", "/loop"}};
                r.body.clear();
                break;
            case EngineFault::HugeBodyAnnounced:
            case EngineFault::HugeBodyUnannounced:
                r.status = 302;
                r.headers = {{"Location", stream.url().toLatin1()}};
                r.body.clear();
                break;
            case EngineFault::NotFoundWithBody:
                r.status = 404;
                break;
            case EngineFault::MovedToOtherHost:
                r.status = 301;
                r.headers = {{"Location", mirror.url(QString::fromLatin1(target)).toLatin1()}};
                break;
            }
            return r;
        });

        runToEnd(h);

        QStringList expected{u"鲜花A"_s, kFaulty, u"鲜花C"_s, u"鲜花A1"_s};
        if (pageUsed)
            expected << u"鲜花B1"_s;
        expected << u"鲜花C1"_s;
        QCOMPARE(h.miner().List2.items(), expected);
        QCOMPARE(h.queried().count(kFaulty), clientTries); // skipped, not asked for again
        QCOMPARE(h.queried().count(u"鲜花C1"_s), 1);
        QVERIFY(!h.miner().Timer1.isActive());
        const QString failed = queryFailed ? u"（其中1次查询失败）"_s : QString();
        QCOMPARE(
            h.desktop.messages,
            QStringList{
                u"全部挖掘完成，本次共：%1个长尾词，并保存成功！您可点击 [查看保存结果] 观看"_s.arg(
                    expected.size()) +
                failed});
        QCOMPARE(h.form->Label4->text(),
                 u"全部查询完成，目前共挖掘到%1个长尾词"_s.arg(expected.size()) + failed);
        QCOMPARE(h.resultLines(kSeed),
                 QStringList({header(kSeed, expected.size()), QString()}) + expected);
        if (fault == EngineFault::RedirectLoop)
            QVERIFY(h.engine.requests().size() < 2 * expected.size() + 50); // the loop was cut
        if (huge) {
            QCOMPARE(stream.connections, 1);
            QCOMPARE(stream.leftEarly, 1); // given up on, not read to the end
        }
    }

    void unreachableEngine_isReportedAsSuch_data()
    {
        QTest::addColumn<Unreachable>("engine");
        QTest::addColumn<RunEnd>("end");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused port, queue used up")
            << Unreachable::RefusedPort << RunEnd::Exhausted << u"连接被拒绝"_s;
        QTest::newRow("closes without an answer, stopped")
            << Unreachable::ClosesWithoutAnswer << RunEnd::Stopped << u"连接被中断"_s;
        QTest::newRow("untrusted certificate, queue used up")
            << Unreachable::UntrustedTls << RunEnd::Exhausted << u"安全连接失败"_s;
        // Refusals before any answer: the engine cannot be used, there is nothing to wait for.
        QTest::newRow("503, queue used up")
            << Unreachable::Throttled << RunEnd::Exhausted << u"HTTP 503"_s;
        QTest::newRow("sent to a verification page, stopped")
            << Unreachable::Verification << RunEnd::Stopped << u"要求安全验证"_s;
    }
    void unreachableEngine_isReportedAsSuch()
    {
        QFETCH(Unreachable, engine);
        QFETCH(RunEnd, end);
        QFETCH(QString, reason);
        Harness h;
        TestServer secure;
        QString prefix;
        if (engine == Unreachable::RefusedPort) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            prefix = u"http://127.0.0.1:%1/s?wd="_s.arg(probe.serverPort());
        } else if (engine == Unreachable::UntrustedTls) {
            QVERIFY(secure.listenTls());
            prefix = secure.url(u"/s?wd="_s);
        } else {
            h.engine.setHandler([engine](const QByteArray &target) {
                Response r;
                r.body = suggestionPage({u"鲜花A"_s}); // no keyword, whatever the page holds
                if (engine == Unreachable::ClosesWithoutAnswer)
                    r.mode = Mode::CloseNoAnswer;
                else if (engine == Unreachable::Throttled)
                    r.status = 503;
                else if (target.startsWith("/s?"))
                    r = {302, {}, {{"Location", "/verify"}}, Mode::Normal, 0};
                return r;
            });
        }
        useShortTimeout(h, prefix);
        h.form->Text2Edit->setText(kSeed);
        h.form->Command1->click();
        h.miner().Timer1.stop();
        h.miner().Timer1_Timer(); // the seed's query fails
        endRun(h, end);

        const QString unreachable = u"无法连接搜索引擎（"_s + reason + u"）"_s;
        QCOMPARE(h.form->Command1->text(), kIdle);
        QCOMPARE(h.form->Label4->text(), unreachable + u"，未采集到长尾词"_s);
        QCOMPARE(h.desktop.messages,
                 QStringList{unreachable + u"，本次1次查询全部失败，没有采集到长尾词。"_s});
        QVERIFY(!QFileInfo::exists(h.resultPath(kSeed)));
        QVERIFY(secure.requests().isEmpty());
    }

    void refusingEngine_costsTimeNeverKeywords_data()
    {
        QTest::addColumn<Refusing>("refusing");
        QTest::addColumn<qint64>("retryAfterMs"); // the wait the engine asks for; 0: none
        QTest::addColumn<QString>("waiting");     // the status line as the first wait begins
        const QString retry = u"1秒后重试“鲜花B”"_s;
        QTest::newRow("429, Retry-After in seconds")
            << Refusing::RetryAfterSeconds << qint64(7000)
            << u"搜索引擎暂时拒绝查询（HTTP 429），7秒后重试“鲜花B”"_s;
        QTest::newRow("429, Retry-After as a date")
            << Refusing::RetryAfterDate << qint64(30000)
            << u"搜索引擎暂时拒绝查询（HTTP 429），30秒后重试“鲜花B”"_s;
        QTest::newRow("503 without Retry-After") << Refusing::Unavailable << qint64(0)
                                                 << u"搜索引擎暂时拒绝查询（HTTP 503），"_s + retry;
        QTest::newRow("connection refused") << Refusing::ConnectionRefused << qint64(0)
                                            << u"无法连接搜索引擎（连接被拒绝），"_s + retry;
        QTest::newRow("sent to a verification page elsewhere")
            << Refusing::Verification << qint64(0) << u"搜索引擎要求安全验证，"_s + retry;
    }
    void refusingEngine_costsTimeNeverKeywords()
    {
        QFETCH(Refusing, refusing);
        QFETCH(qint64, retryAfterMs);
        QFETCH(QString, waiting);
        constexpr int kRefusals = 3;

        Harness calm; // the same harvest, undisturbed
        plantHarvest(calm);
        runToEnd(calm);

        Harness h;
        QList<qint64> waits;
        QString firstStatus;
        bool back = true;
        const quint16 port = h.engine.port();
        restart(h, kFetchTimeoutMs, {}, [&](MinerOptions &options) {
            options.holdInterval = [&](qint64 ms) {
                waits << ms;
                if (waits.size() == 1)
                    firstStatus = h.form->Label4->text();
                if (refusing == Refusing::ConnectionRefused && waits.size() == kRefusals)
                    back = h.engine.listen(port); // up again on the same port
                return 0;
            };
        });
        plantHarvest(h);
        TestServer verifier; // on a host and port of its own
        QVERIFY(verifier.listen());
        verifier.setHandler([](const QByteArray &) {
            Response r;
            r.body = suggestionPage({u"鲜花验证"_s});
            return r;
        });
        QStringList answered;
        h.engine.setHandler([&](const QByteArray &target) {
            const QString keyword = TestServer::queryKeyword(target);
            Response r;
            // From the third query on, until the run has waited kRefusals times.
            const bool refuse = h.engine.requests().size() > 2 && waits.size() < kRefusals;
            if (!refuse || refusing == Refusing::ConnectionRefused) {
                if (refusing == Refusing::ConnectionRefused && h.engine.requests().size() == 2)
                    h.engine.close(); // down once this answer is out
                answered << keyword;
                r.body = suggestionPage(h.pages.value(keyword));
                return r;
            }
            r.body = suggestionPage({u"鲜花不该出现"_s});
            r.status = refusing == Refusing::Unavailable ? 503 : 429;
            if (refusing == Refusing::RetryAfterSeconds)
                r.headers = {{"Retry-After", "7"}};
            if (refusing == Refusing::RetryAfterDate)
                r.headers = {{"Retry-After", QLocale::c()
                                                 .toString(fixedClock().toUTC().addSecs(30),
                                                           u"ddd, dd MMM yyyy hh:mm:ss 'GMT'"_s)
                                                 .toLatin1()}};
            if (refusing == Refusing::Verification) {
                r.status = 302;
                r.headers = {{"Location", verifier.url(u"/verify?from=s"_s).toLatin1()}};
            }
            return r;
        });
        runToEnd(h);

        QVERIFY(back);
        QCOMPARE(h.miner().List2.items(), calm.miner().List2.items());
        QCOMPARE(answered, calm.queried());
        QCOMPARE(h.resultLines(kSeed), calm.resultLines(kSeed));
        // Each wait ends in one query, and none is sent while waiting.
        QCOMPARE(waits.size(), kRefusals);
        const int refusedQueries = refusing == Refusing::ConnectionRefused ? 0 : kRefusals;
        QCOMPARE(h.engine.requests().size(), calm.engine.requests().size() + refusedQueries);
        QCOMPARE(verifier.requests().size(), refusing == Refusing::Verification ? kRefusals : 0);
        for (qsizetype i = 0; i < waits.size(); ++i) {
            const qint64 backoff = 1000 << i; // 1 s doubling, up to a tenth less
            if (retryAfterMs > 0)
                QCOMPARE(waits.at(i), retryAfterMs);
            else
                QVERIFY2(waits.at(i) <= backoff && waits.at(i) >= backoff - backoff / 10,
                         qPrintable(QString::number(waits.at(i))));
        }
        QCOMPARE(firstStatus, waiting);
        const qint64 waited = std::accumulate(waits.cbegin(), waits.cend(), qint64(0));
        const QString summary =
            u"（搜索引擎曾3次暂时拒绝查询，共等待%1秒，均已重试）"_s.arg((waited + 500) / 1000);
        // Paced after the refusals, at a speed the test does not set: the end texts say it.
        static const QRegularExpression paced(u"（已按搜索引擎限速，平均每秒约[0-9.]+次）$"_s);
        QString message = h.desktop.messages.value(0), status = h.form->Label4->text();
        QVERIFY2(paced.match(message).hasMatch() && paced.match(status).hasMatch(),
                 qPrintable(status));
        QCOMPARE(h.desktop.messages.size(), 1);
        QCOMPARE(message.remove(paced), calm.desktop.messages.first() + summary);
        QCOMPARE(status.remove(paced), calm.form->Label4->text() + summary);
    }

    void rateLimitedEngine_harvestsWhatAnUndisturbedOneDoes()
    {
        Harness calm;
        plantHarvest(calm);
        runToEnd(calm);

        // Five queries a second, none saved up: at full speed the second query is refused.
        Harness h;
        restart(h, kFetchTimeoutMs, {},
                [](MinerOptions &options) { options.holdInterval = [](qint64) { return 0; }; });
        plantHarvest(h);
        QElapsedTimer clock;
        clock.start();
        double tokens = 1;
        qint64 last = 0;
        QStringList answered, statuses;
        h.engine.setHandler([&](const QByteArray &target) {
            statuses << h.form->Label4->text();
            const qint64 now = clock.elapsed();
            tokens = std::min(1.0, tokens + double(now - last) * 5 / 1000);
            last = now;
            Response r;
            if (tokens < 1) {
                r.status = 429;
                return r;
            }
            tokens -= 1;
            answered << TestServer::queryKeyword(target);
            r.body = suggestionPage(h.pages.value(answered.last()));
            return r;
        });
        runToEnd(h);

        QVERIFY(h.engine.requests().size() > answered.size()); // it was refused
        static const QRegularExpression paced(u"个（已按搜索引擎限速：每秒约[0-9.]+次）$"_s);
        QVERIFY(!statuses.filter(paced).isEmpty());
        QCOMPARE(answered, calm.queried());
        QCOMPARE(h.miner().List2.items(), calm.miner().List2.items());
        QCOMPARE(h.resultLines(kSeed), calm.resultLines(kSeed));
    }

    void runWaitingForTheEngine_endsAtOnce_data()
    {
        QTest::addColumn<WaitEnd>("end");
        QTest::newRow("stop") << WaitEnd::Stop;
        QTest::newRow("exit question answered OK") << WaitEnd::Exit;
        QTest::newRow("engine away past the limit") << WaitEnd::GiveUp;
    }
    void runWaitingForTheEngine_endsAtOnce()
    {
        QFETCH(WaitEnd, end);
        Harness h;
        QList<qint64> waits;
        qint64 ms = 0; // the clocks move only when the test says
        restart(h, kFetchTimeoutMs, {}, [&](MinerOptions &options) {
            options.clock = [&] { return fixedClock().addMSecs(ms); };
            options.steadyClock = [&] { return ms; };
            options.holdLimitMs = 10000;
            options.holdInterval = [&](qint64 wait) {
                waits << wait;
                if (end != WaitEnd::GiveUp)
                    return 3600 * 1000; // longer than any test
                ms += wait;
                return 0;
            };
        });
        plantHarvest(h);
        h.engine.setHandler([&](const QByteArray &target) {
            Response r;
            r.body = suggestionPage(h.pages.value(TestServer::queryKeyword(target)));
            r.status = h.engine.requests().size() == 1 ? 200 : 503; // the seed's page only
            if (r.status == 503)
                ms += 500; // a refused query takes its time too
            return r;
        });
        const QString file = h.resultPath(kSeed);
        const QByteArray earlier = "earlier run\r\n";
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(earlier) == earlier.size());
        }
        h.form->Command1->click(); // the user chose overwrite

        QString summary = u"（搜索引擎曾1次暂时拒绝查询，共等待1秒）"_s;
        QString status = u"半途停止，目前共挖掘到3个长尾词"_s;
        QString message = u"半途停止，软件自择“追加保存” 本次采集到3个长尾词！您可点击 "
                          u"[查看保存结果] 观看"_s;
        if (end == WaitEnd::GiveUp) {
            QTRY_COMPARE_WITH_TIMEOUT(h.form->Command1->text(), kIdle, 30000);
            // 1, 2 and 4 s, then the rest up to the limit, which the refused queries shorten;
            // refused once more then, it gives up.
            QCOMPARE(waits.size(), 4);
            QCOMPARE(std::accumulate(waits.cbegin(), waits.cend(), qint64(0)) + 4 * 500,
                     qint64(10000));
            QCOMPARE(h.queried(), QStringList{kSeed} + QStringList(5, u"鲜花A"_s));
            const QString since =
                u"搜索引擎自2026/12/7 10:05:09起一直拒绝查询（HTTP 503），采集已停止"_s;
            summary = u"（搜索引擎曾5次暂时拒绝查询，共等待8秒）"_s;
            status = since + u"，目前共挖掘到3个长尾词"_s;
            message = since + u"。本次采集到3个长尾词，已追加保存到 "_s +
                      QDir::toNativeSeparators(file) + u"，请稍后再开始采集。"_s;
        } else {
            QTRY_COMPARE(waits.size(), 1);
            QVERIFY(!h.miner().Timer1.isActive());
            // The harvest so far is safe meanwhile.
            QCOMPARE(readJournal(h.journalDir() + u'/' + h.journals().value(0)).keywords,
                     h.miner().List2.items());
            ms = 12000; // past the wait of about a second, which counts as long as it was
            h.desktop.exitAnswer = end == WaitEnd::Exit;
            if (end == WaitEnd::Exit)
                h.form->close();
            else
                h.form->Command1->click();
        }
        QVERIFY(!h.miner().Timer1.isActive());
        QVERIFY(!h.miner().Timer2.isActive());
        QCOMPARE(h.journals(), QStringList());
        if (end == WaitEnd::Exit) {
            QCOMPARE(h.quitCalls, 1);
            QCOMPARE(h.desktop.messages, QStringList());
            QCOMPARE(readAll(file), earlier);
            return;
        }
        QCOMPARE(h.desktop.messages, QStringList{message + summary});
        QCOMPARE(h.form->Label4->text(), status + summary);
        QVERIFY(h.form->Check3->isChecked());
        QVERIFY(readAll(file).startsWith(earlier)); // appended
        QCOMPARE(h.resultLines(kSeed).mid(3), (QStringList{u"鲜花A"_s, kFaulty, u"鲜花C"_s}));
    }

    void latePageOfAStoppedRun_isNotCounted()
    {
        Harness h;
        useShortTimeout(h);
        h.form->Text2Edit->setText(kSeed);
        bool first = true;
        h.engine.setHandler([&](const QByteArray &) {
            Response r;
            r.body = suggestionPage({});
            if (std::exchange(first, false)) {
                // The user stops and starts again while this query waits; it then times out.
                r.mode = Mode::Never;
                QTimer::singleShot(0, h.form->Command1, &QPushButton::click);
                QTimer::singleShot(0, h.form->Command1, &QPushButton::click);
            }
            return r;
        });
        runToEnd(h);
        QCOMPARE(h.engine.requests().size(), 2);
        QCOMPARE(h.desktop.messages.size(), 2);
        QCOMPARE(h.desktop.messages.last(),
                 u"全部挖掘完成，本次共：0个长尾词，并保存成功！您可点击 [查看保存结果] 观看"_s);
        QCOMPARE(h.form->Label4->text(), u"全部查询完成，目前共挖掘到0个长尾词"_s);
    }

    void fetchOfHugeBody_givesEmptyTextWithoutReadingItAll_data()
    {
        QTest::addColumn<bool>("announced");
        QTest::newRow("length announced") << true;
        QTest::newRow("no length") << false;
    }
    void fetchOfHugeBody_givesEmptyTextWithoutReadingItAll()
    {
        QFETCH(bool, announced);
        StreamServer stream(kHugeBody, announced);
        QVERIFY(getHTTPPage(stream.url()).isEmpty());
        QTRY_COMPARE(stream.leftEarly, 1);
        QVERIFY(stream.sent < kHugeBody);
    }

    void failedSave_isReportedAndKeepsTheOldFile_data()
    {
        QTest::addColumn<SaveFault>("fault");
        QTest::addColumn<RunEnd>("end");
        const QList<QPair<const char *, SaveFault>> faults{
            {"full disk", SaveFault::FileSizeLimit},
            {"read-only folder", SaveFault::ReadOnlyFolder},
            {"folder refusing files", SaveFault::FolderRefusesFiles},
            {"Keywords file in the way", SaveFault::KeywordsFileInTheWay},
            {"read-only result file", SaveFault::ReadOnlyResultFile},
            {"directory at the result path", SaveFault::DirectoryAtResultPath},
            {"disk refuses to sync", SaveFault::SyncRefused}};
        const QList<QPair<const char *, RunEnd>> ends{{"queue used up", RunEnd::Exhausted},
                                                      {"target reached", RunEnd::Target},
                                                      {"stopped", RunEnd::Stopped}};
        for (const auto &[faultName, fault] : faults)
            for (const auto &[endName, end] : ends)
                QTest::addRow("%s, %s", faultName, endName) << fault << end;
    }
    void failedSave_isReportedAndKeepsTheOldFile()
    {
        QFETCH(SaveFault, fault);
        QFETCH(RunEnd, end);
        const bool root = geteuid() == 0;
        if (root && (fault == SaveFault::ReadOnlyFolder || fault == SaveFault::ReadOnlyResultFile))
            QSKIP("root ignores permissions; 'folder refusing files' and 'directory at the result "
                  "path' cover the same failures");

        Harness h;
        h.form->Text2Edit->setText(kSeed);
        h.pages.insert(kSeed, {u"鲜花A"_s, kFaulty, u"鲜花C"_s});
        h.pages.insert(u"鲜花A"_s, {u"鲜花A1"_s});
        runToEnd(h); // a healthy first save leaves a result file behind
        const QString keywords = h.dir.path() + u"/Keywords"_s;
        const QString resultFile = h.resultPath(kSeed);
        const QByteArray old = readAll(resultFile);
        QVERIFY(!old.isEmpty());
        h.desktop.messages.clear();

        QString survivor = resultFile; // the file that must come out unchanged
        QByteArray survivorBytes = old;
        switch (fault) {
        case SaveFault::FileSizeLimit:
        case SaveFault::ReadOnlyResultFile:
        case SaveFault::SyncRefused:
            break;
        case SaveFault::ReadOnlyFolder:
            // An existing writable file could still be appended to: the save must create one.
            QVERIFY(QFile::remove(resultFile));
            survivor.clear();
            break;
        case SaveFault::FolderRefusesFiles:
            QVERIFY(QDir(keywords).removeRecursively());
            QVERIFY(QFile::link(u"/proc"_s, keywords)); // a folder no one can create files in
            survivor.clear();
            break;
        case SaveFault::KeywordsFileInTheWay:
            QVERIFY(QDir(keywords).removeRecursively());
            survivor = keywords;
            survivorBytes = "a file, not a folder";
            {
                QFile f(keywords);
                QVERIFY(f.open(QIODevice::WriteOnly) && f.write(survivorBytes) > 0);
            }
            break;
        case SaveFault::DirectoryAtResultPath:
            QVERIFY(QFile::remove(resultFile));
            QVERIFY(QDir().mkpath(resultFile + u"/inside"_s));
            survivor.clear();
            break;
        }
        if (fault == SaveFault::ReadOnlyFolder)
            QVERIFY(::chmod(QFile::encodeName(keywords).constData(), 0555) == 0);
        if (fault == SaveFault::ReadOnlyResultFile)
            QVERIFY(QFile::setPermissions(resultFile, QFileDevice::ReadOwner));

        const QStringList entriesBefore = entriesOf(keywords);
        QStringList messages;
        if (fault == SaveFault::FileSizeLimit) {
            // Appending: room for a few bytes more than the old file. Replacing: the new file
            // cannot reach the old one's size.
            const rlim_t limit =
                end == RunEnd::Stopped ? rlim_t(old.size() + 10) : rlim_t(old.size() / 2);
            messages = endRunUnderFileSizeLimit(h, end, limit);
        } else {
            g_refuseResultSync = fault == SaveFault::SyncRefused;
            endRun(h, end);
            g_refuseResultSync = false;
            messages = h.desktop.messages;
            QCOMPARE(h.form->Command1->text(), kIdle);
            QVERIFY(!h.miner().Timer1.isActive());
            QCOMPARE(h.miner().List2.ListCount(), 4); // the harvest stays for copying
        }
        ::chmod(QFile::encodeName(keywords).constData(), 0755);

        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().startsWith(u"保存失败！"_s), qPrintable(messages.first()));
        // The system's own reason, not a guess.
        QVERIFY2(!messages.first().contains(u"磁盘可能已满"_s) &&
                     !messages.first().contains(u"Unknown error"_s),
                 qPrintable(messages.first()));
        if (fault == SaveFault::FileSizeLimit || fault == SaveFault::SyncRefused) {
            const int error = fault == SaveFault::FileSizeLimit ? EFBIG : EIO;
            QVERIFY2(messages.first().startsWith(u"保存失败！写入文件失败（"_s +
                                                 QString::fromLocal8Bit(std::strerror(error)) +
                                                 u"）："_s),
                     qPrintable(messages.first()));
        }
        QVERIFY2(messages.first().contains(u"4个长尾词"_s), qPrintable(messages.first()));
        if (!survivor.isEmpty())
            QCOMPARE(readAll(survivor), survivorBytes);
        if (fault == SaveFault::DirectoryAtResultPath)
            QVERIFY(QFileInfo(resultFile + u"/inside"_s).isDir());
        // The failed save added nothing beside the result file: no temporary file is left.
        if (fault != SaveFault::KeywordsFileInTheWay && fault != SaveFault::FolderRefusesFiles)
            QCOMPARE(entriesOf(keywords), entriesBefore);
    }

    void journal_goesAtTheRunsEndAndStaysWhileUnsaved_data()
    {
        QTest::addColumn<JournalEnd>("end");
        QTest::addColumn<int>("failedSaves"); // the end's save, then the next start's
        QTest::newRow("queue used up") << JournalEnd::Exhausted << 0;
        QTest::newRow("target reached") << JournalEnd::Target << 0;
        QTest::newRow("stopped") << JournalEnd::Stopped << 0;
        QTest::newRow("exit question answered OK") << JournalEnd::ExitOk << 0;
        QTest::newRow("queue used up, save failed") << JournalEnd::Exhausted << 1;
        QTest::newRow("target reached, save failed") << JournalEnd::Target << 1;
        QTest::newRow("stopped, save failed") << JournalEnd::Stopped << 1;
        QTest::newRow("stopped, save failed, again at the next start") << JournalEnd::Stopped << 2;
    }
    void journal_goesAtTheRunsEndAndStaysWhileUnsaved()
    {
        QFETCH(JournalEnd, end);
        QFETCH(int, failedSaves);
        Harness h;
        const QString keywords = h.dir.path() + u"/Keywords"_s;
        if (failedSaves > 0) {
            QFile blocker(keywords);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        h.form->Text2Edit->setText(kSeed);
        h.pages.insert(kSeed, {u"鲜花A"_s, u"鲜花B"_s});
        if (end == JournalEnd::Target)
            h.form->Combo1->setEditText(u"2"_s);
        h.form->Command1->click();
        h.miner().Timer1.stop();
        QCOMPARE(h.journals().size(), 1);
        h.miner().Timer1_Timer(); // the seed's page: the target, if one is set
        switch (end) {
        case JournalEnd::Exhausted:
            while (h.form->Command1->text() != kIdle)
                h.miner().Timer1_Timer();
            break;
        case JournalEnd::Target:
            break;
        case JournalEnd::Stopped:
            h.form->Command1->click();
            break;
        case JournalEnd::ExitOk:
            h.desktop.exitAnswer = true;
            h.form->close();
            QCOMPARE(h.quitCalls, 1);
            QVERIFY(!QFileInfo::exists(h.resultPath(kSeed)));
            break;
        }
        QCOMPARE(h.form->Command1->text() == kIdle, end != JournalEnd::ExitOk);
        // Saved with keywords left to ask (a stop, the target): kept to go on from.
        const int kept = end == JournalEnd::Stopped || end == JournalEnd::Target ? 1 : 0;
        if (failedSaves == 0) {
            QCOMPARE(h.journals(), QStringList());
            QCOMPARE(h.keptRuns().size(), kept);
            return;
        }
        QCOMPARE(h.keptRuns().size(), 0);

        QCOMPARE(h.journals().size(), 1);
        if (failedSaves == 2) {
            restart(h);
            QCOMPARE(h.form->Label4->text(), u"上次采集意外中断，2个长尾词未能保存到 "_s +
                                                 QDir::toNativeSeparators(keywords) +
                                                 u"，下次启动时再试"_s);
            QCOMPARE(h.journals().size(), 1);
        }
        QVERIFY(QFile::remove(keywords));
        restart(h);
        QCOMPARE(h.form->Label4->text(), u"上次采集意外中断，已把2个长尾词追加保存到 "_s +
                                             QDir::toNativeSeparators(h.resultPath(kSeed)));
        QCOMPARE(h.resultLines(kSeed),
                 (QStringList{header(kSeed, 2), QString(), u"鲜花A"_s, u"鲜花B"_s}));
        QCOMPARE(h.journals(), QStringList());
        QCOMPARE(h.keptRuns().size(), kept);
        QVERIFY(h.desktop.messages.size() == 1); // the end's failure only: nothing is asked
    }

    // A power cut after the end must not lose both: the saved keywords are on the disk, and so
    // is the name of a file the save made, before the journal that could replay them goes.
    void savedHarvest_reachesTheDiskBeforeItsJournalGoes_data()
    {
        QTest::addColumn<SaveToDisk>("save");
        QTest::newRow("stopped, new result file") << SaveToDisk::StopNewFile;
        QTest::newRow("stopped, appended to the file") << SaveToDisk::StopExistingFile;
        QTest::newRow("queue used up, file replaced") << SaveToDisk::Overwrite;
        QTest::newRow("queue used up, the disk refuses") << SaveToDisk::OverwriteSyncRefused;
        QTest::newRow("recovered at the next start") << SaveToDisk::Recovery;
    }
    void savedHarvest_reachesTheDiskBeforeItsJournalGoes()
    {
        QFETCH(SaveToDisk, save);
        Harness h;
        const QString keywords = h.dir.path() + u"/Keywords"_s;
        const bool refused = save == SaveToDisk::OverwriteSyncRefused;
        if (save == SaveToDisk::StopExistingFile || save == SaveToDisk::Overwrite || refused) {
            QVERIFY(QDir().mkpath(keywords));
            QVERIFY(QFile(h.resultPath(kSeed)).open(QIODevice::WriteOnly));
        }
        h.form->Text2Edit->setText(kSeed);
        h.pages.insert(kSeed, {u"鲜花A"_s});
        if (save == SaveToDisk::Recovery) {
            Journal journal;
            QVERIFY(journal.start(h.journalDir(), h.dir.path(), kSeed));
            journal.record({u"鲜花A"_s}, 0);
            journal.close();
        }
        {
            const std::lock_guard<std::mutex> lock(g_diskLock);
            g_disk.clear();
        }
        g_recordDisk = true;
        g_refuseResultSync = refused;
        switch (save) {
        case SaveToDisk::Recovery:
            restart(h);
            break;
        case SaveToDisk::Overwrite:
        case SaveToDisk::OverwriteSyncRefused:
            runToEnd(h);
            break;
        default:
            h.form->Command1->click();
            h.miner().Timer1.stop();
            h.miner().Timer1_Timer();
            h.form->Command1->click();
        }
        g_recordDisk = false;
        g_refuseResultSync = false;
        bool removed = false;
        const QStringList before = diskBeforeJournalGoes(&removed);
        if (refused) { // not on the disk: the journal stays for the next start
            QVERIFY(!removed);
            QCOMPARE(h.journals().size(), 1);
            QVERIFY2(h.desktop.messages.value(0).startsWith(u"保存失败！"_s),
                     qPrintable(h.desktop.messages.value(0)));
            return;
        }
        QCOMPARE(h.resultLines(kSeed).last(), u"鲜花A"_s);
        QVERIFY(removed);
        const auto synced = [&](const auto &matches) {
            return std::any_of(before.cbegin(), before.cend(), [&](const QString &event) {
                return event.startsWith(u"sync "_s) && matches(event.mid(5));
            });
        };
        // A replacing save syncs its new file under a name of its own, then renames it.
        QVERIFY2(synced([&](const QString &path) { return path.startsWith(keywords + u'/'); }),
                 qPrintable(before.join(u'\n')));
        if (save != SaveToDisk::StopExistingFile)
            QVERIFY2(synced([&](const QString &path) { return path == keywords; }),
                     qPrintable(before.join(u'\n')));
    }

    void killedHarvest_isSavedAtTheNextStartLosingAtMostOneTick_data()
    {
        QTest::addColumn<int>("killAfter"); // keywords shown; 0: as the end removes its journal
        QRandomGenerator *random = QRandomGenerator::global();
        for (const int from : {1, 20, 100}) {
            const int n = from + int(random->bounded(2 * from + 10));
            QTest::addRow("after %d keywords", n) << n;
        }
        QTest::newRow("between the end's save and the journal's removal") << 0;
    }
    void killedHarvest_isSavedAtTheNextStartLosingAtMostOneTick()
    {
        QFETCH(int, killAfter);
        Harness h;
        h.engine.setHandler([](const QByteArray &target) {
            Response r;
            r.body = endlessPage(TestServer::queryKeyword(target));
            return r;
        });
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QByteArray out;
        bool killed = false;
        connect(&child, &QProcess::readyReadStandardOutput, this, [&] {
            out += child.readAllStandardOutput();
            const qsizetype shown = out.count("\n+") + (out.startsWith('+') ? 1 : 0);
            if (killAfter > 0 && shown >= killAfter && !killed) {
                killed = true;
                child.kill(); // SIGKILL
            }
        });
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kChildFlag), h.dir.path(), h.engine.url(u"/s?wd="_s),
                     killAfter > 0 ? u"0"_s : u"60"_s,
                     killAfter > 0 ? QString() : u"kill-at-removal"_s});
        QVERIFY(child.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(child.state(), QProcess::NotRunning, 120000);
        out += child.readAllStandardOutput();
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QStringList shown;
        qsizetype ticked = 0; // keywords shown before the last tick that returned
        for (const QByteArray &line : out.split('\n')) {
            if (line.startsWith('+'))
                shown << QString::fromUtf8(line.mid(1));
            else if (line == "T")
                ticked = shown.size();
        }
        QVERIFY(shown.size() >= killAfter);

        restart(h);
        const QStringList lines = h.resultLines(kSeed);
        QStringList saved;
        for (const QString &line : lines) {
            if (!line.isEmpty() && !line.startsWith(u"以下是与 {"_s))
                saved << line;
        }
        QCOMPARE(QSet<QString>(saved.cbegin(), saved.cend()).size(), saved.size());
        for (qsizetype i = 0; i < ticked; ++i)
            QVERIFY2(saved.contains(shown.at(i)), qPrintable(shown.at(i)));
        for (const QString &keyword : saved)
            QVERIFY2(shown.contains(keyword), qPrintable(keyword));
        QCOMPARE(h.journals(), QStringList());
        if (killAfter == 0) { // the end's own save was whole: nothing more to add or to say
            QCOMPARE(saved, shown);
            QCOMPARE(h.form->Label4->text(), QString());
        } else {
            QCOMPARE(h.form->Label4->text(),
                     u"上次采集意外中断，已把%1个长尾词追加保存到 "_s.arg(saved.size()) +
                         QDir::toNativeSeparators(h.resultPath(kSeed)));
        }

        // Kept, the run goes on where it was cut: with the keyword of the tick in progress,
        // asked again, or with the next one.
        QCOMPARE(h.keptRuns().size(), 1);
        const qsizetype asked = h.engine.requests().size(); // the seed's query included
        h.form->Text2Edit->setText(kSeed);
        h.desktop.continueAnswer = ContinueChoice::Continue;
        h.form->Command1->click();
        h.miner().Timer1.stop();
        QCOMPARE(h.form->List3->count(), saved.size());
        h.miner().Timer1_Timer();
        QCOMPARE(h.engine.requests().size(), asked + 1);
        const qsizetype next = saved.indexOf(h.queried().last());
        QVERIFY2(next == asked - 2 || (killAfter > 0 && next == asked - 1),
                 qPrintable(h.queried().last()));
        const QString question = h.desktop.questions.value(0);
        QVERIFY2(question.startsWith(
                     u"“鲜花”上次采集到%1个长尾词时"_s.arg(saved.size()) +
                     (killAfter > 0 ? u"意外中断（"_s : u"达到采集个数（2026/12/7 10:05:09）"_s)) &&
                     question.endsWith(u"），还有%1个长尾词没有查询。是否继续上次的采集？"_s.arg(
                         saved.size() - next)),
                 qPrintable(question));
        h.miner().abandon();
    }
};

// The same executable is the harvesting child when started with kChildFlag.
QTEST_MAIN_WRAPPER(FaultsTest, if (argc > 1 && qstrcmp(argv[1], kChildFlag) ==
                                                   0) return harvestChild(argc, argv);
                   QTEST_MAIN_SETUP())
#include "tst_faults.moc"
