#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>

// A tiny HTTP/1.1 server on 127.0.0.1 (ephemeral port) for the tests and benchmarks.
// It runs in the thread that owns it; a fetch's nested event loop serves it.
class TestServer : public QObject {
    Q_OBJECT
public:
    using HeaderList = QList<QPair<QByteArray, QByteArray>>;
    struct Response {
        enum class Mode {
            Normal,        // headers and body at once
            Slow,          // the whole answer after delayMs
            Dribble,       // headers, then one body byte every delayMs
            CloseNoAnswer, // read the request, close without a byte
            Never,         // read the request, never answer, keep the connection open
            ResetMidBody,  // Content-Length of the whole body, half of it, then a reset
            Unterminated,  // headers without Content-Length, the body, connection kept open
            Held,          // answered like Normal once release() has been called
        };
        int status = 200;
        QByteArray body;
        HeaderList headers; // extra headers; a Content-Length or Connection here replaces ours
        Mode mode = Mode::Normal;
        int delayMs = 0;
    };
    // Called with the request target as received (path and query, still percent-encoded).
    using Handler = std::function<Response(const QByteArray &target)>;

    explicit TestServer(QObject *parent = nullptr);
    ~TestServer() override;

    bool listen(quint16 port = 0); // 127.0.0.1; port 0: any free one
    // Stops listening, as an engine that goes down does: connections are refused until the next
    // listen(). Connections already accepted go on.
    void close();
    // The same over TLS with tests/tls's certificate for 127.0.0.1; url() then gives https.
    // No client trusts that certificate unless it is added as an authority.
    bool listenTls();
    static QSslCertificate tlsCertificate();
    quint16 port() const;
    QString url(const QString &target) const; // "http(s)://127.0.0.1:<port>" + target

    void setHandler(Handler handler);
    // Targets of every request received, in order.
    const QList<QByteArray> &requests() const { return m_requests; }
    // Headers of every request received, in the order of requests(); names as sent.
    const QList<HeaderList> &requestHeaders() const { return m_requestHeaders; }
    // Connections accepted so far.
    int connectionCount() const { return m_connections; }
    // Answers every Held request, waiting or still to come.
    void release();
    // The wd= value of a "/s?wd=..." target, percent-decoded as UTF-8; empty for other targets.
    static QString queryKeyword(const QByteArray &target);

private:
    void onNewConnection();
    void onRequest(QTcpSocket *socket, const QByteArray &head);
    void answer(QTcpSocket *socket, const Response &response);

    std::unique_ptr<QTcpServer> m_server;
    Handler m_handler;
    QList<QByteArray> m_requests;
    QList<HeaderList> m_requestHeaders;
    int m_connections = 0;
    bool m_released = false;
    QList<QPair<QPointer<QTcpSocket>, Response>> m_held;
};
