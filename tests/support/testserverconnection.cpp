#include "testserverconnection.h"

#include <QMutexLocker>
#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>
#include <limits>

using namespace std::chrono_literals;

namespace velmora::detail {

namespace {

constexpr qsizetype maxHeadBytes = 64 * 1024;
constexpr qint64 chunkBytes = 256 * 1024;
// While the request body is read slowly, the socket holds no more than this, so the client
// meets back-pressure instead of filling our memory.
constexpr qint64 pacedReadBuffer = 64 * 1024;
constexpr auto paceTick = 10ms;

const QByteArray &zeroChunk()
{
    static const QByteArray zeros(chunkBytes, '\0');
    return zeros;
}

QByteArray reasonFor(int status)
{
    static const QHash<int, QByteArray> reasons = {
        {200, "OK"}, {400, "Bad Request"}, {404, "Not Found"}, {501, "Not Implemented"}};
    return reasons.value(status, "Status");
}

} // namespace

TestServer::Response TestServerState::answer(const TestServer::Request &request) const
{
    const QByteArray path = request.path.split('?').first();
    TestServer::Handler scripted;
    {
        QMutexLocker lock(&mutex);
        const auto route = routes.constFind(path);
        if (route != routes.cend())
            return *route;
        scripted = handler;
    }
    // Called unlocked: a handler may take long or read requests().
    if (scripted)
        return scripted(request);
    return {.status = 404, .body = "Not found\n"};
}

// Allows a burst of 50 ms worth, so timer jitter does not drag the average below the rate.
Pace::Pace(qint64 bytesPerSecond)
    : m_rate(bytesPerSecond)
{
    m_clock.start();
}

qint64 Pace::take(qint64 want)
{
    if (m_rate <= 0)
        return want;
    const qint64 now = m_clock.nsecsElapsed();
    const double burst = std::max(double(m_rate) / 20, 1.0);
    m_allowance = std::min(m_allowance + double(now - m_last) * double(m_rate) / 1e9, burst);
    m_last = now;
    const qint64 granted = std::min(want, qint64(m_allowance));
    m_allowance -= double(granted);
    return granted;
}

TestServerConnection::TestServerConnection(QTcpSocket *socket, TestServerState &state,
                                           QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_ssl(qobject_cast<QSslSocket *>(socket))
    , m_state(state)
{
    ++m_state.openConnections;
    m_socket->setParent(this);
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(paceTick);
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
        connect(m_ssl, &QSslSocket::encryptedBytesWritten, this, &TestServerConnection::sendMore);
    connect(m_socket, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &QObject::deleteLater);
}

TestServerConnection::~TestServerConnection()
{
    --m_state.openConnections;
}

void TestServerConnection::readMore()
{
    if (m_phase == Phase::stalled || m_phase == Phase::closing)
        m_socket->skip(m_socket->bytesAvailable());
    else if (m_phase == Phase::body || (m_phase == Phase::head && readHead()))
        readBody();
    // While waiting or sending, a pipelined request waits its turn in the socket.
}

bool TestServerConnection::readHead()
{
    qsizetype end;
    while ((end = m_in.indexOf("\r\n\r\n")) < 0) {
        if (m_in.size() > maxHeadBytes)
            return refuse(400);
        const QByteArray more = m_socket->read(maxHeadBytes + 1 - m_in.size());
        if (more.isEmpty())
            return false;
        m_in += more;
    }
    QList<QByteArray> lines = m_in.left(end).split('\n');
    m_in.remove(0, end + 4);

    const QList<QByteArray> start = lines.takeFirst().trimmed().split(' ');
    bool valid = start.size() == 3 && start[2].startsWith("HTTP/1.");
    m_request = {.method = start.value(0), .path = start.value(1), .version = start.value(2)};
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        valid = valid && colon > 0;
        m_request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    if (!valid)
        return refuse(400);
    if (!m_request.header("Transfer-Encoding").isNull())
        return refuse(501); // only Content-Length bodies are read
    const QByteArray length = m_request.header("Content-Length");
    m_bodyLeft = length.isNull() ? 0 : length.toLongLong(&valid);
    if (!valid || m_bodyLeft < 0)
        return refuse(400);
    const QByteArray connection = m_request.header("Connection").toLower();
    m_close = m_request.version == "HTTP/1.0" ? !connection.contains("keep-alive")
                                              : connection.contains("close");

    m_response = m_state.answer(m_request);
    m_readPace = Pace(m_response.bodyReadRate);
    if (m_readPace.isLimited()) {
        m_socket->setReadBufferSize(pacedReadBuffer);
        m_tick.start();
    }
    m_phase = Phase::body;
    return true;
}

void TestServerConnection::readBody()
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
        const qsizetype room = TestServer::Request::bodyPrefixLimit - m_request.bodyPrefix.size();
        m_request.bodyPrefix += QByteArrayView(bytes).first(std::min(room, bytes.size()));
        m_bodyLeft -= bytes.size();
        m_request.bodyBytes += bytes.size();
    }
    finishRequest();
}

void TestServerConnection::finishRequest()
{
    m_socket->setReadBufferSize(0);
    m_tick.stop();
    {
        QMutexLocker lock(&m_state.mutex);
        m_state.requests.append(m_request);
    }
    if (m_response.drop) {
        m_phase = Phase::closing;
        m_socket->disconnectFromHost();
    } else if (m_response.stall) {
        m_phase = Phase::stalled;
        m_in.clear();
        readMore();
    } else if (m_response.delay > 0ms) {
        m_phase = Phase::waiting;
        QTimer::singleShot(m_response.delay, Qt::PreciseTimer, this,
                           &TestServerConnection::startAnswer);
    } else {
        startAnswer();
    }
}

// Answers a request that cannot be read with status and closes the connection.
bool TestServerConnection::refuse(int status)
{
    m_response = {.status = status};
    m_close = true;
    startAnswer();
    return false;
}

void TestServerConnection::startAnswer()
{
    const TestServer::Response &response = m_response;
    if (response.endless)
        m_close = true;
    m_sendLeft = response.endless ? std::numeric_limits<qint64>::max()
                                  : response.zeros.value_or(response.body.size());
    m_sent = 0;
    m_phase = Phase::sending;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonFor(response.status) + "\r\n";
    if (!response.endless)
        head += "Content-Length: " + QByteArray::number(m_sendLeft) + "\r\n";
    if (m_close)
        head += "Connection: close\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    m_socket->write(head);

    m_sendPace = Pace(response.sendRate);
    if (m_sendPace.isLimited())
        m_tick.start();
    sendMore();
}

void TestServerConnection::sendMore()
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
        if (generated)
            m_socket->write(count == chunkBytes ? zeroChunk() : zeroChunk().first(count));
        else
            m_socket->write(m_response.body.mid(m_sent, count));
        m_sent += count;
        m_sendLeft -= count;
    }
    finishAnswer();
}

void TestServerConnection::finishAnswer()
{
    m_tick.stop();
    m_response = {};
    if (m_close) {
        m_phase = Phase::closing;
        m_socket->disconnectFromHost();
        return;
    }
    m_phase = Phase::head;
    // Queued, so a run of pipelined requests does not recurse.
    QMetaObject::invokeMethod(this, &TestServerConnection::readMore, Qt::QueuedConnection);
}

} // namespace velmora::detail
