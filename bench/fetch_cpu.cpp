// CPU cost of a page fetch: one fetch that waits 2 s for a slow server (the wait must be
// idle), and the mean cost of 1000 fetches against an instant local server. The server runs
// in a child process so that only the fetching side is measured.
#include "fetch/pagefetch.h"
#include "tests/testserver.h"

#include "bench/benchsupport.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTextStream>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFetches = 1000;
constexpr int kSlowMs = 2000;

int serve()
{
    // A result page of realistic size, in GBK.
    const QByteArray body =
        QByteArray::fromHex("3c703ecfcabba820f572bba820b7b1f3773c2f703e").repeated(5000);
    return serveForever([&body](const QByteArray &target) {
        TestServer::Response response;
        response.body = body;
        if (target.startsWith("/slow")) {
            response.mode = TestServer::Response::Mode::Slow;
            response.delayMs = kSlowMs;
        }
        return response;
    });
}

// For comparison: the same GET through one long-lived manager.
QByteArray sharedManagerGet(QNetworkAccessManager &manager, const QUrl &url)
{
    QNetworkRequest request(url);
    request.setRawHeader("Connection", "close");
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    return reply->readAll();
}

template <typename Fetch> void measure(const char *label, Fetch fetch)
{
    QElapsedTimer wall;
    wall.start();
    const double before = cpuSeconds();
    int empty = 0;
    for (int i = 0; i < kFetches; ++i)
        empty += fetch(i) ? 0 : 1;
    const double cpu = cpuSeconds() - before;
    std::printf("%-32s %d fetches: CPU %.3f ms/call, wall %.3f ms/call, %d empty\n", label,
                kFetches, cpu * 1000 / kFetches, double(wall.elapsed()) / kFetches, empty);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == "--serve"_L1)
        return serve();

    QProcess server;
    const quint16 port = startEngine(server);
    if (port == 0)
        return 1;
    const QString base = u"http://127.0.0.1:"_s + QString::number(port);

    getHTTPPage(base + u"/warm-up"_s);

    QElapsedTimer wall;
    wall.start();
    const double before = cpuSeconds();
    const QString slow = getHTTPPage(base + u"/slow"_s);
    const double cpu = cpuSeconds() - before;
    std::printf("one fetch waiting %d ms: wall %lld ms, CPU %.2f ms, %lld chars\n", kSlowMs,
                wall.elapsed(), cpu * 1000, qint64(slow.size()));

    const QString page = base + u"/s?wd=%E9%B2%9C%E8%8A%B1"_s;
    measure("getHTTPPage (GET and decode)", [&](int) { return !getHTTPPage(page).isEmpty(); });
    const QByteArray gbk =
        QByteArray::fromHex("3c703ecfcabba820f572bba820b7b1f3773c2f703e").repeated(5000);
    measure("decoding the page only",
            [&](int) { return !BytesToBstr(gbk, u"gb2312"_s).isEmpty(); });
    QNetworkAccessManager shared;
    const QUrl url(page);
    measure("one shared manager (raw GET)",
            [&](int) { return !sharedManagerGet(shared, url).isEmpty(); });

    server.kill();
    server.waitForFinished();
    return 0;
}
