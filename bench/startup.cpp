#include "bench/startup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

// The strip's frame in the window at 96 dots per inch; its top two rows are the page's green
// rule, drawn across its whole width.
constexpr int kStripX = 0, kStripY = 280, kStripWidth = 729, kStripHeight = 49;
constexpr quint32 kRule = 0x2e8b57;
constexpr qint64 kLimitMs = 60000;

struct ProcStat {
    qint64 parent = 0;
    qint64 ticks = 0;      // its own CPU
    qint64 childTicks = 0; // of the children it has waited for
    int threads = 0;
};

std::optional<ProcStat> procStat(qint64 pid)
{
    QFile file(u"/proc/%1/stat"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = file.readAll();
    const qsizetype close = line.lastIndexOf(')');
    // After the name: the state, then the parent; utime, stime, cutime and cstime are fields
    // 14 to 17, the thread count field 20.
    const QList<QByteArray> f = line.mid(close + 2).split(' ');
    if (close < 0 || f.size() < 18)
        return std::nullopt;
    return ProcStat{f[1].toLongLong(), f[11].toLongLong() + f[12].toLongLong(),
                    f[13].toLongLong() + f[14].toLongLong(), f[17].toInt()};
}

// The program's processes: itself and every descendant.
QList<qint64> processTree(qint64 root)
{
    QHash<qint64, QList<qint64>> children;
    for (const QString &name : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 pid = name.toLongLong(&isPid);
        if (!isPid)
            continue;
        if (const std::optional<ProcStat> s = procStat(pid))
            children[s->parent].append(pid);
    }
    QList<qint64> tree{root};
    for (qsizetype i = 0; i < tree.size(); ++i)
        tree += children.value(tree[i]);
    return tree;
}

qint64 treeTicks(const QList<qint64> &tree)
{
    qint64 ticks = 0;
    for (const qint64 pid : tree)
        if (const std::optional<ProcStat> s = procStat(pid))
            ticks += s->ticks + (pid == tree.first() ? s->childTicks : 0);
    return ticks;
}

qint64 pssKb(qint64 pid)
{
    QFile file(u"/proc/%1/smaps_rollup"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith("Pss:"))
            return line.mid(4).simplified().split(' ').value(0).toLongLong();
    return 0;
}

using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

xcb_atom_t atom(xcb_connection_t *x, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

qint64 windowPid(xcb_connection_t *x, xcb_window_t window, xcb_atom_t pidAtom)
{
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(x, xcb_get_property(x, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                               nullptr),
        &std::free);
    if (!reply || xcb_get_property_value_length(reply.get()) != 4)
        return 0;
    return *static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
}

// The program's window among the one just mapped and its children (a window manager maps its
// frame around it).
xcb_window_t programWindow(xcb_connection_t *x, xcb_window_t mapped, qint64 pid)
{
    static const xcb_atom_t pidAtom = atom(x, "_NET_WM_PID");
    if (windowPid(x, mapped, pidAtom) == pid)
        return mapped;
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(x, xcb_query_tree(x, mapped), nullptr), &std::free);
    if (!tree)
        return XCB_WINDOW_NONE;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
        if (windowPid(x, children[i], pidAtom) == pid)
            return children[i];
    return XCB_WINDOW_NONE;
}

// Whether the strip shows the page: the rule green at both ends, and text on it.
bool pageDrawn(xcb_connection_t *x, xcb_window_t window)
{
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> image(
        xcb_get_image_reply(x,
                            xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, window, kStripX, kStripY,
                                          kStripWidth, kStripHeight, ~0u),
                            nullptr),
        &std::free);
    if (!image || xcb_get_image_data_length(image.get()) != kStripWidth * kStripHeight * 4)
        return false;
    const auto *pixels = reinterpret_cast<const quint32 *>(xcb_get_image_data(image.get()));
    const auto rgb = [&](int px, int py) { return pixels[py * kStripWidth + px] & 0xffffff; };
    if (rgb(0, 0) != kRule || rgb(kStripWidth - 1, 1) != kRule)
        return false;
    int dark = 0;
    for (int py = 4; py < kStripHeight; ++py)
        for (int px = 0; px < kStripWidth; ++px) {
            const quint32 p = rgb(px, py);
            dark += (p >> 16) < 0x80 && ((p >> 8) & 0xff) < 0x80 && (p & 0xff) < 0x80;
        }
    return dark >= 50;
}

} // namespace

std::optional<StartFigures> startOnce(const QString &program, const QProcessEnvironment &env)
{
    // One connection for every start: an X server without clients resets, and refuses new
    // ones meanwhile.
    static const Connection x(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    if (xcb_connection_has_error(x.get())) {
        std::fprintf(stderr, "no X display\n");
        return std::nullopt;
    }
    static const bool watching = [] {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x.get())).data->root;
        const quint32 mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(x.get(), root, XCB_CW_EVENT_MASK, &mask);
        return xcb_flush(x.get()) > 0;
    }();
    if (!watching)
        return std::nullopt;
    while (xcb_generic_event_t *event = xcb_poll_for_event(x.get())) // the last start's
        std::free(event);

    // A home of its own: no kept run of the user's to ask about, no caches from an earlier run.
    QTemporaryDir home;
    QProcessEnvironment own = env;
    own.insert(u"HOME"_s, home.path());
    for (const char *dir : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        own.insert(QString::fromLatin1(dir), home.path() + u'/' + QString::fromLatin1(dir));
    QProcess run;
    run.setProcessEnvironment(own);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    run.start(program, {});
    if (!run.waitForStarted()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(run.errorString()));
        return std::nullopt;
    }
    const qint64 pid = run.processId();

    StartFigures figures;
    xcb_window_t window = XCB_WINDOW_NONE;
    while (window == XCB_WINDOW_NONE && clock.elapsed() < kLimitMs) {
        pollfd fd{xcb_get_file_descriptor(x.get()), POLLIN, 0};
        poll(&fd, 1, 50);
        while (xcb_generic_event_t *event = xcb_poll_for_event(x.get())) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && window == XCB_WINDOW_NONE) {
                figures.mappedMs = double(clock.nsecsElapsed()) / 1e6;
                window = programWindow(
                    x.get(), reinterpret_cast<xcb_map_notify_event_t *>(event)->window, pid);
            }
            std::free(event);
        }
    }
    bool drawn = false;
    while (window != XCB_WINDOW_NONE && !drawn && clock.elapsed() < kLimitMs) {
        drawn = pageDrawn(x.get(), window);
        if (drawn)
            figures.drawnMs = double(clock.nsecsElapsed()) / 1e6;
        else
            usleep(2000);
    }

    // Idle: half a second in which its processes take at most a tick each tenth of a second.
    QList<qint64> tree;
    qint64 ticks = -1, quietFrom = 0;
    int quiet = 0;
    while (drawn && quiet < 5 && clock.elapsed() < kLimitMs) {
        tree = processTree(pid);
        const qint64 now = treeTicks(tree);
        if (now - ticks <= 1) {
            ++quiet;
        } else {
            quiet = 0;
            quietFrom = now;
        }
        ticks = now;
        usleep(100000);
    }
    figures.cpuMs = double(quietFrom) * 1000.0 / double(sysconf(_SC_CLK_TCK));
    for (const qint64 p : tree) {
        figures.pssMiB += double(pssKb(p)) / 1024.0;
        figures.threads += procStat(p).value_or(ProcStat{}).threads;
    }
    figures.processes = int(tree.size());

    for (const qint64 p : processTree(pid))
        kill(pid_t(p), SIGKILL);
    run.waitForFinished();
    if (!drawn || quiet < 5) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(program),
                     window == XCB_WINDOW_NONE ? "no window"
                     : drawn                   ? "never idle"
                                               : "no page");
        return std::nullopt;
    }
    return figures;
}
