#include "fetch/pagefetch.h"

#include "text/codepage.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Browsers give up after about this many hops; a redirect loop must end somewhere.
constexpr int kMaxRedirects = 20;

// The search engine serves its full result page only to browsers: announce Internet Explorer 11,
// whose HTTP stack Windows programs share.
constexpr auto kUserAgent = "Mozilla/5.0 (Windows NT 10.0; WOW64; Trident/7.0; rv:11.0) like Gecko";

// Qt turns an error status (400, 404, 407, 418, 500, ...) into an error code only once the
// whole answer is in, so such a reply carries its page. The errors of the connection itself,
// of redirects and of a body that breaks off (Content-Length not met, a broken chunk) come
// with or without a status and leave the page incomplete.
bool carriesPage(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError)
        return true;
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    if (error == QNetworkReply::ProxyAuthenticationRequiredError) // what a status 407 gives
        return true;
    return error >= QNetworkReply::ContentAccessDenied && error != QNetworkReply::ProtocolFailure;
}

FetchFailure failureOf(const QNetworkReply &reply)
{
    const bool answered = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
        return FetchFailure::Refused;
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyNotFoundError:
        return FetchFailure::HostNotFound;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return FetchFailure::Timeout;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
        return FetchFailure::Reset;
    case QNetworkReply::SslHandshakeFailedError:
        return FetchFailure::Tls;
    // What the socket's "network unreachable" and "host unreachable" become; once an answer
    // has begun, the connection broke off.
    case QNetworkReply::UnknownNetworkError:
        return answered ? FetchFailure::Reset : FetchFailure::Unreachable;
    default:
        return FetchFailure::Other;
    }
}

// The application thread's manager, owned by the application; null elsewhere or without one.
QNetworkAccessManager *sharedManager()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    // Goes with the application; the pointer clears itself then. Deleted first thing as the
    // application ends: its network thread, torn down once the application is gone, would
    // find no application to close its connections with and leave them behind.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(app);
        qAddPostRoutine([] { delete manager; });
    }
    return manager;
}

QString fetchPage(const QString &url, int timeoutMs, const QString &charset, FetchResult &result)
{
    const QUrl target(url, QUrl::TolerantMode);
    result = {FetchFailure::Other, 0, target, {}};
    FetchFailure &failure = result.failure;
    const QString scheme = target.scheme();
    if (!target.isValid() || target.host().isEmpty() ||
        (scheme != "http"_L1 && scheme != "https"_L1))
        return {};

    // No connection or cookie outlives the call: the connection is closed after the answer,
    // cookies are neither sent nor kept. A manager per call would do the same but starts and
    // stops a network thread every time, which was most of a fetch's cost.
    std::unique_ptr<QNetworkAccessManager> own;
    QNetworkAccessManager *manager = sharedManager();
    if (!manager || !target.userInfo().isEmpty()) { // credentials would stay in its cache
        own = std::make_unique<QNetworkAccessManager>();
        manager = own.get();
    }
    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    request.setRawHeader("Connection", "close");
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);

    const std::unique_ptr<QNetworkReply> reply(manager->get(request));
    QNetworkReply *const r = reply.get();

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    FetchFailure abandoned = FetchFailure::None;
    const auto abandon = [&abandoned, &loop](FetchFailure why) {
        abandoned = why;
        loop.quit();
    };
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop,
                     [abandon] { abandon(FetchFailure::Timeout); });
    // Refuse an oversized page as soon as it says so, and one without a length as it grows.
    QObject::connect(r, &QNetworkReply::metaDataChanged, &loop, [r, abandon] {
        bool ok = false;
        const qint64 declared = r->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (ok && declared > kMaxBodyBytes)
            abandon(FetchFailure::Oversized);
    });
    QObject::connect(r, &QNetworkReply::readyRead, &loop, [r, abandon] {
        if (r->bytesAvailable() > kMaxBodyBytes)
            abandon(FetchFailure::Oversized);
    });

    if (!r->isFinished()) {
        deadline.start(std::max(timeoutMs, 0));
        // Runs the window's events meanwhile. Also ends when the application quits, since
        // QCoreApplication::exit() leaves every running loop; the reply is then unfinished.
        loop.exec();
    }
    result.status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.url = r->url();
    result.retryAfter = r->rawHeader("Retry-After");
    if (abandoned != FetchFailure::None || !r->isFinished()) {
        r->abort();
        if (abandoned != FetchFailure::None)
            failure = abandoned;
        return {};
    }
    if (!carriesPage(*r)) {
        failure = failureOf(*r);
        return {};
    }
    const QByteArray body = r->readAll();
    if (body.size() > kMaxBodyBytes) {
        failure = FetchFailure::Oversized;
        return {};
    }
    // Qt may finish a reply whose connection broke off mid-body as if it were whole. The
    // declared length tells, unless the body came compressed (then it counts other bytes).
    bool declared = false;
    const qint64 length = r->header(QNetworkRequest::ContentLengthHeader).toLongLong(&declared);
    if (declared && body.size() < length && !r->hasRawHeader("Content-Encoding")) {
        failure = FetchFailure::Reset;
        return {};
    }
    failure = FetchFailure::None;
    return BytesToBstr(body, charset);
}

} // namespace

QString BytesToBstr(const QByteArray &body, const QString &Cset)
{
    if (body.isEmpty())
        return {};
    // Windows reads "gb2312" as code page 936 (GBK); Qt's gb2312 is strict EUC-CN and would
    // garble the traditional forms that real pages contain.
    if (Cset.compare("gb2312"_L1, Qt::CaseInsensitive) == 0 ||
        Cset.compare("gbk"_L1, Qt::CaseInsensitive) == 0)
        return fromGbk(body);
    const QByteArray name = Cset.toLatin1();
    QStringDecoder decoder(name.constData());
    if (name.isEmpty() || !decoder.isValid())
        return {};
    return decoder.decode(body);
}

QString getHTTPPage(const QString &url, int timeoutMs, FetchResult *result)
{
    FetchResult own;
    return fetchPage(url, timeoutMs, u"gb2312"_s, result ? *result : own);
}

QString getHTTPPage1(const QString &url, int timeoutMs, FetchResult *result)
{
    FetchResult own;
    return fetchPage(url, timeoutMs, u"UTF-8"_s, result ? *result : own);
}
