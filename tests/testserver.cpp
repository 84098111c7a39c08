#include "tests/testserver.h"

#include <QFile>
#include <QHostAddress>
#include <QSslKey>
#include <QSslServer>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A request head larger than this is not a request any test sends; drop the connection.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return QByteArrayLiteral("OK");
    case 301:
        return QByteArrayLiteral("Moved Permanently");
    case 302:
        return QByteArrayLiteral("Found");
    case 404:
        return QByteArrayLiteral("Not Found");
    case 500:
        return QByteArrayLiteral("Internal Server Error");
    default:
        return QByteArrayLiteral("Status");
    }
}

bool hasHeader(const TestServer::HeaderList &headers, QByteArrayView name)
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray responseHead(const TestServer::Response &response, bool withLength)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonPhrase(response.status) + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    if (withLength && !hasHeader(response.headers, "Content-Length"))
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (!hasHeader(response.headers, "Connection"))
        head += "Connection: close\r\n";
    head += "\r\n";
    return head;
}

struct Connection {
    QByteArray head;
    bool answered = false;
};

} // namespace

TestServer::TestServer(QObject *parent)
    : QObject(parent)
    , m_server(std::make_unique<QTcpServer>())
{
    connect(m_server.get(), &QTcpServer::newConnection, this, &TestServer::onNewConnection);
}

TestServer::~TestServer()
{
    m_server->close();
    // Sockets go first and quietly: their handlers refer to members that are about to die.
    const auto sockets = m_server->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket *socket : sockets) {
        socket->disconnect();
        socket->abort();
        delete socket;
    }
}

bool TestServer::listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

void TestServer::close()
{
    m_server->close();
}

QSslCertificate TestServer::tlsCertificate()
{
    QFile file(QStringLiteral(TAILSPADE_TEST_TLS_DIR "/localhost.crt"));
    return file.open(QIODevice::ReadOnly) ? QSslCertificate(file.readAll()) : QSslCertificate();
}

bool TestServer::listenTls()
{
    QFile keyFile(QStringLiteral(TAILSPADE_TEST_TLS_DIR "/localhost.key"));
    if (!keyFile.open(QIODevice::ReadOnly))
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(tlsCertificate());
    configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(configuration);
    // A TLS connection is pending only once its handshake is done.
    connect(server.get(), &QTcpServer::pendingConnectionAvailable, this,
            &TestServer::onNewConnection);
    m_server = std::move(server);
    return listen();
}

quint16 TestServer::port() const
{
    return m_server->serverPort();
}

QString TestServer::url(const QString &target) const
{
    const bool tls = qobject_cast<QSslServer *>(m_server.get());
    return (tls ? u"https://127.0.0.1:"_s : u"http://127.0.0.1:"_s) + QString::number(port()) +
           target;
}

void TestServer::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

void TestServer::release()
{
    m_released = true;
    const auto held = std::exchange(m_held, {});
    for (const auto &[socket, response] : held) {
        if (socket)
            answer(socket, response);
    }
}

QString TestServer::queryKeyword(const QByteArray &target)
{
    const qsizetype mark = target.indexOf('?');
    if (mark < 0 || target.left(mark) != "/s")
        return {};
    // QUrlQuery leaves '+' alone: the client sends a literal plus as %2B and a space as %20.
    const QUrlQuery query(QString::fromUtf8(target.mid(mark + 1)));
    if (!query.hasQueryItem(u"wd"_s))
        return {};
    return query.queryItemValue(u"wd"_s, QUrl::FullyDecoded);
}

void TestServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connections;
        auto state = std::make_shared<Connection>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, state] {
            const QByteArray incoming = socket->readAll();
            if (state->answered)
                return; // one request per connection; anything after it is ignored
            state->head += incoming;
            const qsizetype end = state->head.indexOf("\r\n\r\n");
            if (end < 0) {
                if (state->head.size() > kMaxHeadBytes)
                    socket->abort();
                return;
            }
            state->answered = true;
            const QByteArray head = std::exchange(state->head, {}).left(end);
            onRequest(socket, head);
        });
    }
}

void TestServer::onRequest(QTcpSocket *socket, const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/")) {
        Response bad;
        bad.status = 400;
        answer(socket, bad);
        return;
    }
    HeaderList headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const QByteArray target = requestLine.at(1);
    m_requests.append(target);
    m_requestHeaders.append(headers);

    const Response response = m_handler ? m_handler(target) : Response{404, {}, {}, {}, 0};
    if (response.mode == Response::Mode::Held && !m_released)
        m_held.append({QPointer<QTcpSocket>(socket), response});
    else
        answer(socket, response);
}

void TestServer::answer(QTcpSocket *socket, const Response &response)
{
    using Mode = Response::Mode;
    if (socket->state() != QAbstractSocket::ConnectedState)
        return; // the client gave up first
    switch (response.mode) {
    case Mode::Normal:
    case Mode::Held:
        socket->write(responseHead(response, true) + response.body);
        socket->disconnectFromHost(); // closes once everything is written
        break;
    case Mode::Slow:
        QTimer::singleShot(response.delayMs, Qt::PreciseTimer, socket, [this, socket, response] {
            Response now = response;
            now.mode = Mode::Normal;
            answer(socket, now);
        });
        break;
    case Mode::Dribble: {
        socket->write(responseHead(response, true));
        auto *timer = new QTimer(socket); // owned by the socket, dies with it
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = response.body] {
            if (*sent < body.size()) {
                socket->write(body.mid(*sent, 1));
                ++*sent;
            }
            if (*sent >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(response.delayMs);
        break;
    }
    case Mode::CloseNoAnswer:
        socket->disconnectFromHost();
        break;
    case Mode::Never:
        break;
    case Mode::ResetMidBody:
        socket->write(responseHead(response, true) + response.body.left(response.body.size() / 2));
        socket->flush(); // abort() drops whatever is still buffered
        socket->abort();
        socket->deleteLater();
        break;
    case Mode::Unterminated:
        socket->write(responseHead(response, false) + response.body);
        break;
    }
}
