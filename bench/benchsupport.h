#pragma once

// What the benchmarks share: their local search engine, run as a second copy of the benchmark
// so that the engine's work is not counted as Tailspade's, and the readings of their own cost.

#include "tests/testserver.h"

#include <QCoreApplication>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>

// The engine's side: answers with handler until the process is ended; prints its port first.
inline int serveForever(TestServer::Handler handler)
{
    TestServer server;
    if (!server.listen())
        return 1;
    server.setHandler(std::move(handler));
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Starts this program again with --serve and returns the engine's port, 0 if it did not start.
inline quint16 startEngine(QProcess &engine)
{
    engine.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    engine.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
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
