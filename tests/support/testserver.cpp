#include "testserver.h"

#include "testserverconnection.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMutexLocker>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <future>

using namespace std::chrono_literals;

namespace velmora {

namespace {

constexpr auto waitPollInterval = 2ms;

class Listener : public QTcpServer
{
public:
    Listener(detail::TestServerState &state, const std::optional<QSslConfiguration> &tls)
        : m_state(state)
        , m_tls(tls)
    {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket *socket = m_tls ? new QSslSocket : new QTcpSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (m_tls) {
            auto *ssl = static_cast<QSslSocket *>(socket);
            ssl->setSslConfiguration(*m_tls);
            ssl->startServerEncryption();
        }
        new detail::TestServerConnection(socket, m_state, this);
    }

private:
    detail::TestServerState &m_state;
    std::optional<QSslConfiguration> m_tls;
};

struct Started
{
    bool listening = false;
    quint16 port = 0;
    QString error;
};

} // namespace

namespace detail {

// Runs the listener and every connection; they are made and destroyed on this thread.
class TestServerThread : public QThread
{
public:
    TestServerThread(std::shared_ptr<TestServerState> state, std::optional<QSslConfiguration> tls,
                     QHostAddress address, quint16 port)
        : m_state(std::move(state))
        , m_tls(std::move(tls))
        , m_address(std::move(address))
        , m_port(port)
    {}

    std::future<Started> started() { return m_started.get_future(); }

protected:
    void run() override
    {
        Listener listener(*m_state, m_tls);
        const bool listening = listener.listen(m_address, m_port);
        m_started.set_value(
            {listening, listener.serverPort(), listening ? QString() : listener.errorString()});
        if (listening)
            exec();
    }

private:
    std::shared_ptr<TestServerState> m_state;
    std::optional<QSslConfiguration> m_tls;
    QHostAddress m_address;
    quint16 m_port;
    std::promise<Started> m_started;
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

TestServer::TestServer(const QSslConfiguration &tls, const QHostAddress &address, quint16 port)
    : TestServer(std::optional(tls), address, port)
{}

TestServer::TestServer(std::optional<QSslConfiguration> tls, const QHostAddress &address,
                       quint16 port)
    : m_state(std::make_shared<detail::TestServerState>())
    , m_tls(tls.has_value())
    , m_address(address)
{
    m_thread = std::make_unique<detail::TestServerThread>(m_state, std::move(tls), address, port);
    std::future<Started> started = m_thread->started();
    m_thread->start();
    if (started.wait_for(30s) != std::future_status::ready) {
        m_error = QStringLiteral("The server thread did not start");
        return;
    }
    const Started result = started.get();
    m_port = result.port;
    m_error = result.error;
    if (!result.listening && m_error.isEmpty())
        m_error = QStringLiteral("Not listening");
}

TestServer::~TestServer()
{
    m_thread->quit();
    if (!m_thread->wait(QDeadlineTimer(30s)))
        qFatal("TestServer: the server thread did not stop within 30 s");
}

bool TestServer::isListening() const
{
    return m_error.isEmpty();
}

QString TestServer::errorString() const
{
    return m_error;
}

quint16 TestServer::port() const
{
    return m_port;
}

QUrl TestServer::url(QByteArrayView pathAndQuery) const
{
    QUrl origin;
    origin.setScheme(m_tls ? QStringLiteral("https") : QStringLiteral("http"));
    origin.setHost(m_tls && m_address == QHostAddress::LocalHost ? QStringLiteral("localhost")
                                                                 : m_address.toString());
    origin.setPort(m_port);
    return QUrl::fromEncoded(origin.toEncoded() + pathAndQuery.toByteArray());
}

void TestServer::respond(const QByteArray &path, const Response &response)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->routes.insert(path, response);
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

bool TestServer::waitForRequests(qsizetype count, std::chrono::milliseconds timeout) const
{
    const auto enough = [&] {
        QMutexLocker lock(&m_state->mutex);
        return m_state->requests.size() >= count;
    };
    if (enough())
        return true;
    // Polls from a running event loop rather than sleeping between passes (as QTest::qWaitFor
    // does), so client work on this thread keeps its full speed meanwhile.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (enough())
            loop.quit();
    });
    poll.start(waitPollInterval);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return enough();
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
