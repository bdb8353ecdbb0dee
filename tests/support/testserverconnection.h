#pragma once

#include "testserver.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QTimer>

#include <atomic>

class QSslSocket;
class QTcpSocket;

namespace velmora::detail {

// What a TestServer's thread and the test's thread share.
struct TestServerState
{
    mutable QMutex mutex; // guards routes, handler and requests
    QHash<QByteArray, TestServer::Response> routes;
    TestServer::Handler handler;
    QList<TestServer::Request> requests;
    std::atomic<qint64> bytesSent = 0;
    std::atomic<int> openConnections = 0;
    std::atomic<qint64> sendQueueBytes = 1024 * 1024; // see TestServer::setSendQueueLimit

    // By route, else by handler, else 404.
    TestServer::Response answer(const TestServer::Request &request) const;
};

// Lets bytes through at a rate; without one, everything.
class Pace
{
public:
    explicit Pace(qint64 bytesPerSecond = 0);

    bool isLimited() const { return m_rate > 0; }
    // How many of want may pass now; those are used up.
    qint64 take(qint64 want);

private:
    qint64 m_rate;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_allowance = 0;
};

// One accepted socket: reads requests one after the other and answers each in turn. Deletes
// itself when the socket closes.
class TestServerConnection : public QObject
{
public:
    TestServerConnection(QTcpSocket *socket, TestServerState &state, QObject *parent);
    ~TestServerConnection() override;

private:
    enum class Phase { head, body, waiting, sending, stalled, closing };

    void readMore();
    bool readHead();
    void readBody();
    void finishRequest();
    bool refuse(int status);
    void startAnswer();
    void sendMore();
    void finishAnswer();

    QTcpSocket *m_socket;
    QSslSocket *m_ssl;
    TestServerState &m_state;
    QTimer m_tick;
    Phase m_phase = Phase::head;
    QByteArray m_in;
    TestServer::Request m_request;
    TestServer::Response m_response;
    bool m_close = false;
    qint64 m_bodyLeft = 0;
    qint64 m_sendLeft = 0; // endless: the largest qint64
    qint64 m_sent = 0;
    Pace m_readPace;
    Pace m_sendPace;
};

} // namespace velmora::detail
