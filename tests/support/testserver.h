#pragma once

#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QSslConfiguration>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QThread;

namespace velmora {

// A local HTTP/1.1 server, plain or TLS, for tests. Its sockets live on a thread of its own,
// so the test's thread may block or run client code without starving it. Keeps connections
// alive, reads Content-Length request bodies (counting them, keeping none) and answers as its
// handler says, else 404.
class TestServer
{
public:
    using Header = std::pair<QByteArray, QByteArray>;

    // One request as read.
    struct Request
    {
        QByteArray method{};
        QByteArray path{};       // as sent, query included
        QList<Header> headers{}; // in order, names as sent
        qint64 bodyBytes = 0;    // request body bytes read

        // The value of the first header of that name, compared case-insensitively; a null array
        // when there is none.
        QByteArray header(QByteArrayView name) const;
    };

    // What to answer. The server adds Content-Length (except for endless) and, when it will
    // close the connection afterwards, "Connection: close"; headers come after those.
    struct Response
    {
        int status = 200;
        QList<Header> headers{};
        QByteArray body{};
        // When set, the body is this many zero bytes, made while sending, never held whole;
        // body is then ignored.
        std::optional<qint64> zeros{};
        // Zero bytes without end and without Content-Length, until the client goes away.
        bool endless = false;
        // Read the request, never answer, keep the connection open.
        bool stall = false;
        // Read the request, then close the connection without answering.
        bool drop = false;
        // Send the head and this many body bytes, then reset the connection (TCP RST).
        std::optional<qint64> resetAfter{};
        // Wait after reading the request, before the status line.
        std::chrono::milliseconds delay{0};
        // Body bytes per second sent at most; 0 is as fast as the client reads.
        qint64 sendRate = 0;
        // Request body bytes per second read at most; 0 is as fast as the client sends.
        qint64 bodyReadRate = 0;
    };

    // Called on the server's thread once a request's head is read, before its body is, so the
    // answer can set bodyReadRate; bodyBytes is not filled yet. It must do its
    // own locking for anything it shares with the test.
    using Handler = std::function<Response(const Request &)>;

    // Plain HTTP. Port 0 lets the system pick a free one.
    explicit TestServer(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0)
        : TestServer(std::nullopt, address, port)
    {}
    // TLS with tls as the server side's configuration (its certificate and key); plain without.
    explicit TestServer(std::optional<QSslConfiguration> tls,
                        const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    // Closes every connection and stops the thread.
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    bool isListening() const { return m_error.isEmpty(); }
    // Why listening failed; empty when it did not.
    QString errorString() const { return m_error; }
    // The URL of pathAndQuery on this server, e.g. http://127.0.0.1:PORT/path.
    QUrl url(QByteArrayView pathAndQuery = "/") const
    {
        return QUrl::fromEncoded(m_origin.toEncoded() + pathAndQuery.toByteArray());
    }

    // Answers every request, in place of 404. Thread-safe.
    void setHandler(Handler handler);
    // Answers every request with response.
    void respond(const Response &response)
    {
        setHandler([response](const Request &) { return response; });
    }

    // Every request read so far, in order of arrival, bodies complete. Thread-safe.
    QList<Request> requests() const;
    // Forgets the requests read so far, so that a long run does not keep every one. Thread-safe.
    void clearRequests();
    // Response bytes each connection keeps queued ahead of its socket at most; 1 MiB unless set,
    // enough to keep loopback busy between event loop passes. Less gets the first bytes of a
    // large TLS answer out sooner. Thread-safe.
    void setSendQueueLimit(qint64 bytes) { m_sendQueueBytes = bytes; }
    // Connections accepted and not yet closed.
    int openConnections() const { return m_openConnections; }

private:
    class Connection; // one accepted socket, on the server's thread

    // Shared with the server's thread.
    mutable QMutex m_mutex; // guards m_handler and m_requests
    Handler m_handler;
    QList<Request> m_requests;
    std::atomic<int> m_openConnections = 0;
    std::atomic<qint64> m_sendQueueBytes = 1024 * 1024;
    std::unique_ptr<QThread> m_thread;
    QUrl m_origin; // scheme, host and port
    QString m_error;
};

} // namespace velmora
