#pragma once

// What the benchmarks share: their local search engine, run as a second copy of the benchmark
// so that the engine's work is not counted as Tailspade's, and the readings of their own cost.

#include "tests/testserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

// The engine's side: answers with handler until the process is ended; prints its port first.
// listening, if given, gets the server once it listens.
inline int serveForever(TestServer::Handler handler,
                        const std::function<void(TestServer &)> &listening = {})
{
    TestServer server;
    if (!server.listen())
        return 1;
    server.setHandler(std::move(handler));
    if (listening)
        listening(server);
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Starts this program again with --serve and args and returns the engine's port, 0 if it did
// not start.
inline quint16 startEngine(QProcess &engine, const QStringList &args = {})
{
    engine.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    engine.start(QCoreApplication::applicationFilePath(),
                 QStringList{QStringLiteral("--serve")} + args);
    if (!engine.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the search engine did not start\n");
        return 0;
    }
    return quint16(engine.readLine().trimmed().toUInt());
}

inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// CPU ticks of each live thread of this process, by thread id, with the thread's name.
struct ThreadCpu {
    QByteArray name;
    qint64 ticks = 0;
};
inline QHash<qint64, ThreadCpu> threadCpu()
{
    QHash<qint64, ThreadCpu> threads;
    for (const QString &tid :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/self/task/") + tid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        // After the name: state is field 3; utime and stime are fields 14 and 15.
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (rest.size() < 13)
            continue;
        threads.insert(tid.toLongLong(), {line.mid(open + 1, close - open - 1),
                                          rest[11].toLongLong() + rest[12].toLongLong()});
    }
    return threads;
}

// Shares of the CPU spent between two readings, grouped: the main thread, the software GL
// renderer's threads, and the others by name; the largest first, as "name 63%, ...".
inline QByteArray threadShares(const QHash<qint64, ThreadCpu> &before,
                               const QHash<qint64, ThreadCpu> &after)
{
    QHash<QByteArray, qint64> groups;
    qint64 total = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const qint64 spent = it->ticks - before.value(it.key()).ticks;
        QByteArray group = it.key() == getpid() ? QByteArrayLiteral("main") : it->name;
        if (group.startsWith("llvmpipe"))
            group = "llvmpipe-*";
        groups[group] += spent;
        total += spent;
    }
    QList<QPair<qint64, QByteArray>> sorted;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it)
        sorted.append({it.value(), it.key()});
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    QByteArray out;
    for (qsizetype i = 0; i < std::min<qsizetype>(4, sorted.size()) && total > 0; ++i)
        out += (i ? ", " : "") + sorted[i].second + ' ' +
               QByteArray::number(qRound(100.0 * sorted[i].first / total)) + '%';
    return out;
}
