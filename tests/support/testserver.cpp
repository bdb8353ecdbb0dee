#include "testserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <future>
#include <limits>

#include <sys/socket.h>

using namespace std::chrono_literals;

namespace velmora {

namespace detail {
// What a TestServer's thread and the test's thread share.
struct TestServerState
{
    mutable QMutex mutex; // guards handler and requests
    TestServer::Handler handler;
    QList<TestServer::Request> requests;
    std::atomic<qint64> bytesSent = 0;
    std::atomic<int> openConnections = 0;
    std::atomic<qint64> sendQueueBytes = 1024 * 1024; // see TestServer::setSendQueueLimit

    // By handler, else 404.
    TestServer::Response answer(const TestServer::Request &request) const
    {
        QMutexLocker lock(&mutex);
        const TestServer::Handler scripted = handler;
        lock.unlock(); // a handler may take long or read requests()
        return scripted ? scripted(request) : TestServer::Response{.status = 404};
    }
};

namespace {

constexpr qsizetype headChunkBytes = 64 * 1024;
constexpr qint64 chunkBytes = 256 * 1024;
// While the request body is read slowly, the socket holds no more than this, so the client
// meets back-pressure instead of filling our memory.
constexpr qint64 pacedReadBuffer = 64 * 1024;

// Lets bytes through at rate bytes per second, without one everything. Allows a burst of 50 ms
// worth, so timer jitter does not drag the average below the rate.
struct Pace
{
    qint64 rate = 0;
    QElapsedTimer clock{};
    qint64 last = 0;
    double allowance = 0;

    // How many of want may pass now; those are used up.
    qint64 take(qint64 want)
    {
        if (rate <= 0)
            return want;
        if (!clock.isValid())
            clock.start();
        const qint64 now = clock.nsecsElapsed();
        const double burst = std::max(double(rate) / 20, 1.0);
        allowance = std::min(allowance + double(now - last) * double(rate) / 1e9, burst);
        last = now;
        const qint64 granted = std::min(want, qint64(allowance));
        allowance -= double(granted);
        return granted;
    }
};

} // namespace

// One accepted socket: reads requests one after the other and answers each in turn. Deletes
// itself when the socket closes. Clients are Qt's, which does not pipeline requests.
class TestServerConnection : public QObject
{
public:
    TestServerConnection(QTcpSocket *socket, TestServerState &state, QObject *parent)
        : QObject(parent)
        , m_socket(socket)
        , m_ssl(qobject_cast<QSslSocket *>(socket))
        , m_state(state)
    {
        ++m_state.openConnections;
        m_socket->setParent(this);
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(10ms);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            readMore();
            sendMore();
        });
        connect(m_socket, &QIODevice::readyRead, this, &TestServerConnection::readMore);
        connect(m_socket, &QIODevice::bytesWritten, this, [this](qint64 bytes) {
            m_state.bytesSent += bytes;
            sendMore();
        });
        if (m_ssl)
            connect(m_ssl, &QSslSocket::encryptedBytesWritten, this,
                    &TestServerConnection::sendMore);
        connect(m_socket, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
        connect(m_socket, &QAbstractSocket::errorOccurred, this, &QObject::deleteLater);
    }

    ~TestServerConnection() override { --m_state.openConnections; }

private:
    // ignoring: stalled or closing, whatever comes is thrown away.
    enum class Phase { head, body, waiting, sending, ignoring };

    void readMore()
    {
        if (m_phase == Phase::ignoring)
            m_socket->skip(m_socket->bytesAvailable());
        else if (m_phase == Phase::body || (m_phase == Phase::head && readHead()))
            readBody();
    }

    bool readHead()
    {
        qsizetype end;
        // In bounded reads, so that little of a slowly read body is taken along with the head.
        while ((end = m_in.indexOf("\r\n\r\n")) < 0) {
            const QByteArray more = m_socket->read(headChunkBytes);
            if (more.isEmpty())
                return false;
            m_in += more;
        }
        QList<QByteArray> lines = m_in.left(end).split('\n');
        m_in.remove(0, end + 4);
        const QList<QByteArray> start = lines.takeFirst().trimmed().split(' ');
        m_request = {.method = start.value(0), .path = start.value(1)};
        for (const QByteArray &line : lines) {
            const qsizetype colon = line.indexOf(':');
            m_request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        m_bodyLeft = m_request.header("Content-Length").toLongLong();
        m_close = m_request.header("Connection").toLower().contains("close");

        m_response = m_state.answer(m_request);
        m_readPace = {.rate = m_response.bodyReadRate};
        if (m_readPace.rate > 0) {
            m_socket->setReadBufferSize(pacedReadBuffer);
            m_tick.start();
        }
        m_phase = Phase::body;
        return true;
    }

    void readBody()
    {
        while (m_bodyLeft > 0) {
            // Bytes that came with the head are taken first.
            const bool fromSocket = m_in.isEmpty();
            const qint64 available = fromSocket ? m_socket->bytesAvailable() : m_in.size();
            const qint64 count = m_readPace.take(std::min({m_bodyLeft, available, chunkBytes}));
            if (count == 0)
                return;
            const QByteArray bytes = fromSocket ? m_socket->read(count) : m_in.first(count);
            m_in.remove(0, fromSocket ? 0 : count);
            m_bodyLeft -= bytes.size();
            m_request.bodyBytes += bytes.size();
        }
        m_socket->setReadBufferSize(0);
        m_tick.stop();
        {
            QMutexLocker lock(&m_state.mutex);
            m_state.requests.append(m_request);
        }
        if (m_response.drop || m_response.stall) {
            m_phase = Phase::ignoring;
            if (m_response.drop)
                m_socket->disconnectFromHost();
            else
                readMore();
        } else {
            m_phase = Phase::waiting;
            QTimer::singleShot(m_response.delay, Qt::PreciseTimer, this,
                               &TestServerConnection::startAnswer);
        }
    }

    void startAnswer()
    {
        const TestServer::Response &response = m_response;
        m_close = m_close || response.endless;
        const qint64 length = response.endless ? std::numeric_limits<qint64>::max()
                                               : response.zeros.value_or(response.body.size());
        m_sendLeft = std::min(length, response.resetAfter.value_or(length));
        m_sent = 0;
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
            const qint64 room = std::min({m_state.sendQueueBytes - queued, chunkBytes, m_sendLeft});
            const qint64 count = room > 0 ? m_sendPace.take(room) : 0;
            if (count == 0)
                return; // bytesWritten or the tick calls again
            static const QByteArray zeros(chunkBytes, '\0');
            if (generated)
                m_socket->write(count == chunkBytes ? zeros : zeros.first(count));
            else
                m_socket->write(m_response.body.mid(m_sent, count));
            m_sendLeft -= count;
            m_sent += count;
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
    TestServerState &m_state;
    QTimer m_tick; // while pacing
    Phase m_phase = Phase::head;
    QByteArray m_in;
    TestServer::Request m_request;
    TestServer::Response m_response;
    bool m_close = false;
    qint64 m_bodyLeft = 0;
    qint64 m_sendLeft = 0; // endless: the largest qint64
    qint64 m_sent = 0;     // body bytes of this answer so far
    Pace m_readPace;
    Pace m_sendPace;
};
} // namespace detail

QByteArray TestServer::Request::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.isNull() ? QByteArray("") : value;
    }
    return {};
}

TestServer::TestServer(const QHostAddress &address, quint16 port)
    : TestServer(std::nullopt, address, port)
{}

TestServer::TestServer(std::optional<QSslConfiguration> tls, const QHostAddress &address,
                       quint16 port)
    : m_state(std::make_shared<detail::TestServerState>())
    , m_tls(tls.has_value())
    , m_address(address)
{
    // The listener and every connection are made and destroyed on the server's thread.
    std::promise<std::pair<quint16, QString>> listening;
    auto started = listening.get_future();
    m_thread.reset(QThread::create([state = m_state, tls = std::move(tls), address, port,
                                    listening = std::move(listening)]() mutable {
        // A TLS connection is handed over once its handshake is done.
        const auto ssl = tls ? new QSslServer : nullptr;
        const std::unique_ptr<QTcpServer> listener(ssl ? ssl : new QTcpServer);
        if (ssl)
            ssl->setSslConfiguration(*tls);
        QObject::connect(listener.get(), &QTcpServer::pendingConnectionAvailable, [&] {
            while (QTcpSocket *socket = listener->nextPendingConnection()) {
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                new detail::TestServerConnection(socket, *state, listener.get());
            }
        });
        const bool ok = listener->listen(address, port);
        listening.set_value(
            {listener->serverPort(),
             ok ? QString() : QStringLiteral("Not listening: ") + listener->errorString()});
        if (ok)
            QEventLoop().exec();
    }));
    m_thread->start();
    std::tie(m_port, m_error) = started.get();
}

TestServer::~TestServer()
{
    m_thread->quit();
    m_thread->wait();
}

QUrl TestServer::url(QByteArrayView pathAndQuery) const
{
    QUrl origin;
    origin.setScheme(m_tls ? QStringLiteral("https") : QStringLiteral("http"));
    origin.setHost(m_address.toString());
    origin.setPort(m_port);
    return QUrl::fromEncoded(origin.toEncoded() + pathAndQuery.toByteArray());
}

void TestServer::setHandler(Handler handler)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->handler = std::move(handler);
}

QList<TestServer::Request> TestServer::requests() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->requests;
}

void TestServer::clearRequests()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->requests.clear();
}

void TestServer::setSendQueueLimit(qint64 bytes)
{
    m_state->sendQueueBytes = bytes;
}

qint64 TestServer::bytesSent() const
{
    return m_state->bytesSent;
}

int TestServer::openConnections() const
{
    return m_state->openConnections;
}
} // namespace velmora
