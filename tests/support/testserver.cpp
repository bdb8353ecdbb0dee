#include "testserver.h"

#include "testserverconnection.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMutexLocker>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <future>

using namespace std::chrono_literals;

namespace velmora {

namespace {

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

} // namespace

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
    // The listener and every connection are made and destroyed on the server's thread.
    std::promise<std::pair<quint16, QString>> listening;
    auto started = listening.get_future();
    m_thread.reset(QThread::create([state = m_state, tls = std::move(tls), address, port,
                                    listening = std::move(listening)]() mutable {
        Listener listener(*state, tls);
        const bool ok = listener.listen(address, port);
        listening.set_value(
            {listener.serverPort(),
             ok ? QString() : QStringLiteral("Not listening: ") + listener.errorString()});
        if (ok)
            QEventLoop().exec();
    }));
    m_thread->start();
    if (started.wait_for(30s) == std::future_status::ready)
        std::tie(m_port, m_error) = started.get();
    else
        m_error = QStringLiteral("The server thread did not start");
}

TestServer::~TestServer()
{
    m_thread->quit();
    if (!m_thread->wait(QDeadlineTimer(30s)))
        qFatal("TestServer: the server thread did not stop within 30 s");
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
