#include "testserverconnection.h"

#include <QMutexLocker>
#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>

using namespace std::chrono_literals;

namespace velmora::detail {

namespace {

constexpr qsizetype maxHeadBytes = 64 * 1024;
// Unanswered bytes kept queued per socket; enough to keep loopback busy between event loop
// passes without holding much of a large body.
constexpr qint64 sendQueueBytes = 1024 * 1024;
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
        {200, "OK"},
        {204, "No Content"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {304, "Not Modified"},
        {400, "Bad Request"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {429, "Too Many Requests"},
        {431, "Request Header Fields Too Large"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {503, "Service Unavailable"},
    };
    return reasons.value(status, "Status");
}

} // namespace

TestServer::Response TestServerState::answer(const TestServer::Request &request) const
{
    const qsizetype query = request.path.indexOf('?');
    const QByteArray path = query < 0 ? request.path : request.path.left(query);
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
    switch (m_phase) {
    case Phase::head:
        if (!readHead())
            return;
        [[fallthrough]];
    case Phase::body:
        readBody();
        return;
    case Phase::stalled:
    case Phase::closing:
        m_socket->skip(m_socket->bytesAvailable());
        return;
    case Phase::waiting:
    case Phase::sending: // a pipelined request waits its turn in the socket
        return;
    }
}

bool TestServerConnection::readHead()
{
    qsizetype end;
    while ((end = m_in.indexOf("\r\n\r\n")) < 0) {
        if (m_in.size() > maxHeadBytes) {
            refuse(431);
            return false;
        }
        const QByteArray more = m_socket->read(maxHeadBytes + 1 - m_in.size());
        if (more.isEmpty())
            return false;
        m_in += more;
    }
    const QList<QByteArray> lines = m_in.left(end).split('\n');
    m_in.remove(0, end + 4);

    m_request = {};
    m_request.receivedAt = std::chrono::steady_clock::now();
    const QList<QByteArray> start = lines.first().trimmed().split(' ');
    if (start.size() != 3 || !start[2].startsWith("HTTP/1.")) {
        refuse(400);
        return false;
    }
    m_request.method = start[0];
    m_request.path = start[1];
    m_request.version = start[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0) {
            refuse(400);
            return false;
        }
        m_request.headers.append(
            {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    if (!m_request.header("Transfer-Encoding").isNull()) {
        refuse(501); // only Content-Length bodies are read
        return false;
    }
    bool validLength = true;
    const QByteArray length = m_request.header("Content-Length");
    m_bodyLeft = length.isNull() ? 0 : length.toLongLong(&validLength);
    if (!validLength || m_bodyLeft < 0) {
        refuse(400);
        return false;
    }
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
        const qint64 available = m_in.size() + m_socket->bytesAvailable();
        const qint64 count = m_readPace.take(std::min({m_bodyLeft, available, chunkBytes}));
        if (count == 0)
            return;
        // Bytes that came with the head are taken first; the rest is skipped in the socket
        // once the prefix is full.
        const qint64 buffered = std::min<qint64>(count, m_in.size());
        keep(QByteArrayView(m_in).first(buffered));
        m_in.remove(0, buffered);
        qint64 fromSocket = count - buffered;
        const qint64 wanted = std::min<qint64>(fromSocket, TestServer::Request::bodyPrefixLimit -
                                                               m_request.bodyPrefix.size());
        if (wanted > 0) {
            keep(m_socket->read(wanted));
            fromSocket -= wanted;
        }
        m_socket->skip(fromSocket);
        m_bodyLeft -= count;
        m_request.bodyBytes += count;
    }
    finishRequest();
}

void TestServerConnection::keep(QByteArrayView bytes)
{
    const qsizetype room = TestServer::Request::bodyPrefixLimit - m_request.bodyPrefix.size();
    m_request.bodyPrefix += bytes.first(std::min(room, bytes.size()));
}

void TestServerConnection::finishRequest()
{
    m_socket->setReadBufferSize(0);
    {
        QMutexLocker lock(&m_state.mutex);
        m_state.requests.append(m_request);
    }
    if (m_response.drop) {
        m_phase = Phase::closing;
        m_tick.stop();
        m_socket->disconnectFromHost();
        return;
    }
    if (m_response.stall) {
        m_phase = Phase::stalled;
        m_tick.stop();
        m_in.clear();
        readMore();
        return;
    }
    m_phase = Phase::waiting;
    if (m_response.delay > 0ms)
        QTimer::singleShot(m_response.delay, Qt::PreciseTimer, this,
                           &TestServerConnection::startAnswer);
    else
        startAnswer();
}

// Answers a request that cannot be read with status and closes the connection.
void TestServerConnection::refuse(int status)
{
    m_response = {.status = status};
    m_close = true;
    startAnswer();
}

void TestServerConnection::startAnswer()
{
    const TestServer::Response &response = m_response;
    if (response.endless)
        m_close = true;
    m_sendLeft = response.endless ? -1 : response.zeros.value_or(response.body.size());
    m_sent = 0;
    m_phase = Phase::sending;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      (response.reason.isEmpty() ? reasonFor(response.status) : response.reason) +
                      "\r\n";
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
        const qint64 queued =
            m_socket->bytesToWrite() + (m_ssl ? m_ssl->encryptedBytesToWrite() : 0);
        qint64 count = std::min(sendQueueBytes - queued, chunkBytes);
        if (m_sendLeft > 0)
            count = std::min(count, m_sendLeft);
        count = count > 0 ? m_sendPace.take(count) : 0;
        if (count == 0)
            return; // bytesWritten or the tick calls again
        if (generated)
            m_socket->write(count == chunkBytes ? zeroChunk() : zeroChunk().first(count));
        else
            m_socket->write(m_response.body.mid(m_sent, count));
        m_sent += count;
        if (m_sendLeft > 0)
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
