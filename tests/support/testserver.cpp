#include "testserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutexLocker>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <future>
#include <limits>

#include <sys/socket.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr qint64 chunkBytes = 256 * 1024;
// While the request body is read slowly, the socket holds no more than this, so the client
// meets back-pressure instead of filling our memory.
constexpr qint64 pacedReadBuffer = 64 * 1024;

// Lets bytes through at rate bytes per second counted from the first take, without one
// everything. 50 ms worth may go ahead, so timer jitter does not drag the average below the rate.
struct Pace
{
    qint64 rate = 0;
    QElapsedTimer clock{};
    qint64 taken = 0;

    // How many of want may pass now; those are used up.
    qint64 take(qint64 want)
    {
        if (rate <= 0)
            return want;
        if (!clock.isValid())
            clock.start();
        const double due = double(rate) * (double(clock.nsecsElapsed()) / 1e9 + 0.05);
        const qint64 granted = std::clamp(qint64(due) - taken, qint64(0), want);
        taken += granted;
        return granted;
    }
};

} // namespace

// Reads requests one after the other and answers each in turn. Deletes itself when the socket
// closes. Clients are Qt's, which does not pipeline requests.
class TestServer::Connection : public QObject
{
public:
    Connection(QTcpSocket *socket, TestServer &server, QObject *parent)
        : QObject(parent)
        , m_socket(socket)
        , m_ssl(qobject_cast<QSslSocket *>(socket))
        , m_server(server)
    {
        ++m_server.m_openConnections;
        m_socket->setParent(this);
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(10ms);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            readMore();
            sendMore();
        });
        connect(m_socket, &QIODevice::readyRead, this, &Connection::readMore);
        connect(m_socket, &QIODevice::bytesWritten, this, &Connection::sendMore);
        if (m_ssl)
            connect(m_ssl, &QSslSocket::encryptedBytesWritten, this, &Connection::sendMore);
        connect(m_socket, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
        connect(m_socket, &QAbstractSocket::errorOccurred, this, &QObject::deleteLater);
    }

    ~Connection() override { --m_server.m_openConnections; }

private:
    // ignoring: stalled or closing, whatever comes is thrown away.
    enum class Phase { head, body, waiting, sending, ignoring };

    void readMore()
    {
        if (m_phase == Phase::ignoring)
            m_socket->skip(m_socket->bytesAvailable());
        // Line by line, so that none of a slowly read body is taken along with the head.
        while (m_phase == Phase::head && m_socket->canReadLine())
            readHeadLine(m_socket->readLine().trimmed());
        if (m_phase == Phase::body)
            readBody();
    }

    // The start line, a header, or the empty line that ends the head.
    void readHeadLine(const QByteArray &line)
    {
        if (m_request.method.isEmpty()) {
            const QList<QByteArray> start = line.split(' ');
            m_request = {.method = start.value(0), .path = start.value(1)};
        } else if (!line.isEmpty()) {
            const qsizetype colon = line.indexOf(':');
            m_request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        } else {
            m_bodyLength = m_request.header("Content-Length").toLongLong();
            m_close = m_request.header("Connection").toLower().contains("close");
            QMutexLocker lock(&m_server.m_mutex);
            const Handler handler = m_server.m_handler;
            lock.unlock(); // a handler may take long or read requests()
            m_response = handler ? handler(m_request) : Response{.status = 404};
            m_readPace = {.rate = m_response.bodyReadRate};
            if (m_readPace.rate > 0) {
                m_socket->setReadBufferSize(pacedReadBuffer);
                m_tick.start();
            }
            m_phase = Phase::body;
        }
    }

    void readBody()
    {
        while (m_request.bodyBytes < m_bodyLength) {
            const qint64 count = m_readPace.take(std::min(
                {m_bodyLength - m_request.bodyBytes, m_socket->bytesAvailable(), chunkBytes}));
            if (count == 0)
                return;
            m_request.bodyBytes += m_socket->skip(count);
        }
        m_socket->setReadBufferSize(0);
        m_tick.stop();
        {
            QMutexLocker lock(&m_server.m_mutex);
            m_server.m_requests.append(std::exchange(m_request, {}));
        }
        m_phase = m_response.drop || m_response.stall ? Phase::ignoring : Phase::waiting;
        if (m_response.drop)
            m_socket->disconnectFromHost();
        else if (m_response.stall)
            readMore();
        else
            QTimer::singleShot(m_response.delay, Qt::PreciseTimer, this, &Connection::startAnswer);
    }

    void startAnswer()
    {
        const Response &response = m_response;
        m_close = m_close || response.endless;
        const qint64 length = response.endless ? std::numeric_limits<qint64>::max()
                                               : response.zeros.value_or(response.body.size());
        m_sendLeft = std::min(length, response.resetAfter.value_or(length));
        m_phase = Phase::sending;

        // Clients read no reason phrase, so every status has the same.
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
        if (!response.endless)
            head += "Content-Length: " + QByteArray::number(length) + "\r\n";
        if (m_close)
            head += "Connection: close\r\n";
        for (const auto &[name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        m_socket->write(head + "\r\n");

        m_sendPace = {.rate = response.sendRate};
        if (m_sendPace.rate > 0)
            m_tick.start();
        sendMore();
    }

    void sendMore()
    {
        if (m_phase != Phase::sending)
            return;
        const bool generated = m_response.endless || m_response.zeros;
        while (m_sendLeft != 0) {
            // A client that hung up mid-answer: writes fail at once and nothing queues, so an
            // endless answer would spin here before the disconnect could end the connection.
            if (m_socket->state() != QAbstractSocket::ConnectedState) {
                m_tick.stop();
                return;
            }
            const qint64 queued =
                m_socket->bytesToWrite() + (m_ssl ? m_ssl->encryptedBytesToWrite() : 0);
            const qint64 room =
                std::min({m_server.m_sendQueueBytes - queued, chunkBytes, m_sendLeft});
            const qint64 count = room > 0 ? m_sendPace.take(room) : 0;
            if (count == 0)
                return; // bytesWritten or the tick calls again
            static const QByteArray zeros(chunkBytes, '\0');
            if (generated)
                m_socket->write(count == chunkBytes ? zeros : zeros.first(count));
            else
                m_socket->write(m_response.body.first(count));
            m_response.body.remove(0, count); // a generated answer's is empty already
            m_sendLeft -= count;
        }
        m_tick.stop();
        if (m_response.resetAfter) {
            if (m_socket->bytesToWrite() + (m_ssl ? m_ssl->encryptedBytesToWrite() : 0) > 0)
                return; // bytesWritten calls again once what was sent has left
            // No lingering: closing sends a reset, not an orderly end. (abort() would free a TLS
            // socket's state under a flush Qt has already queued.)
            const linger hard{.l_onoff = 1, .l_linger = 0};
            setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                       sizeof hard);
            m_phase = Phase::ignoring;
            m_socket->disconnectFromHost();
            return;
        }
        m_response = {};
        m_phase = m_close ? Phase::ignoring : Phase::head;
        if (m_close)
            m_socket->disconnectFromHost();
    }

    QTcpSocket *m_socket;
    QSslSocket *m_ssl;
    TestServer &m_server;
    QTimer m_tick; // while pacing
    Phase m_phase = Phase::head;
    Request m_request;
    Response m_response;
    bool m_close = false;
    qint64 m_bodyLength = 0;
    qint64 m_sendLeft = 0; // endless: the largest qint64
    Pace m_readPace;
    Pace m_sendPace;
};

QByteArray TestServer::Request::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.isNull() ? QByteArray("") : value;
    return {};
}

TestServer::TestServer(std::optional<QSslConfiguration> tls, const QHostAddress &address,
                       quint16 port)
{
    m_origin.setScheme(tls ? u"https"_s : u"http"_s);
    m_origin.setHost(address.toString());
    // The listener and every connection are made and destroyed on the server's thread.
    std::promise<QString> listening;
    auto started = listening.get_future();
    m_thread.reset(QThread::create(
        [this, tls = std::move(tls), address, port, listening = std::move(listening)]() mutable {
            // A TLS connection is handed over once its handshake is done.
            const std::unique_ptr<QTcpServer> listener(tls ? new QSslServer : new QTcpServer);
            if (tls)
                static_cast<QSslServer *>(listener.get())->setSslConfiguration(*tls);
            QObject::connect(listener.get(), &QTcpServer::pendingConnectionAvailable, [&] {
                while (QTcpSocket *socket = listener->nextPendingConnection())
                    new Connection(socket, *this, listener.get());
            });
            const bool ok = listener->listen(address, port);
            m_origin.setPort(listener->serverPort());
            listening.set_value(ok ? QString() : u"Not listening: "_s + listener->errorString());
            if (ok)
                QEventLoop().exec();
        }));
    m_thread->start();
    m_error = started.get();
}

TestServer::~TestServer()
{
    m_thread->quit();
    m_thread->wait();
}

void TestServer::setHandler(Handler handler)
{
    QMutexLocker lock(&m_mutex);
    m_handler = std::move(handler);
}

QList<TestServer::Request> TestServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

void TestServer::clearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}
} // namespace velmora
