#include "fetch/pagefetch.h"

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

// Errors that come with an HTTP status (404, 500, ...) still carry the page the server sent;
// every other error means the body is missing or cut short (Content-Length not met).
bool carriesPage(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return code == QNetworkReply::NoError ||
           (code >= QNetworkReply::ContentAccessDenied &&
            code <= QNetworkReply::UnknownContentError) ||
           (code >= QNetworkReply::InternalServerError &&
            code <= QNetworkReply::UnknownServerError);
}

// The application thread's manager, owned by the application; null elsewhere or without one.
QNetworkAccessManager *sharedManager()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    // Goes with the application; the pointer clears itself then.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(app);
    return manager;
}

QString fetchPage(const QString &url, int timeoutMs, const QString &charset)
{
    const QUrl target(url, QUrl::TolerantMode);
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
    bool abandoned = false;
    const auto abandon = [&abandoned, &loop] {
        abandoned = true;
        loop.quit();
    };
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, abandon);
    // Refuse an oversized page as soon as it says so, and one without a length as it grows.
    QObject::connect(r, &QNetworkReply::metaDataChanged, &loop, [r, abandon] {
        bool ok = false;
        const qint64 declared = r->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (ok && declared > kMaxBodyBytes)
            abandon();
    });
    QObject::connect(r, &QNetworkReply::readyRead, &loop, [r, abandon] {
        if (r->bytesAvailable() > kMaxBodyBytes)
            abandon();
    });

    if (!r->isFinished()) {
        deadline.start(std::max(timeoutMs, 0));
        // Runs the window's events meanwhile. Also ends when the application quits, since
        // QCoreApplication::exit() leaves every running loop; the reply is then unfinished.
        loop.exec();
    }
    if (abandoned || !r->isFinished()) {
        r->abort();
        return {};
    }
    if (!carriesPage(r->error()))
        return {};
    const QByteArray body = r->readAll();
    if (body.size() > kMaxBodyBytes)
        return {};
    return BytesToBstr(body, charset);
}

} // namespace

QString BytesToBstr(const QByteArray &body, const QString &Cset)
{
    if (body.isEmpty())
        return {};
    // Windows reads "gb2312" as code page 936 (GBK); Qt's gb2312 is strict EUC-CN and would
    // garble the traditional forms that real pages contain.
    const QByteArray name = Cset.compare("gb2312"_L1, Qt::CaseInsensitive) == 0
                                ? QByteArrayLiteral("GBK")
                                : Cset.toLatin1();
    QStringDecoder decoder(name.constData());
    if (name.isEmpty() || !decoder.isValid())
        return {};
    return decoder.decode(body);
}

QString getHTTPPage(const QString &url, int timeoutMs)
{
    return fetchPage(url, timeoutMs, u"gb2312"_s);
}

QString getHTTPPage1(const QString &url, int timeoutMs)
{
    return fetchPage(url, timeoutMs, u"UTF-8"_s);
}
