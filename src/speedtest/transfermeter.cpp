#include "transfermeter.h"

#include <linux/tcp.h> // the tcp_info with byte counts
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace velmora {

namespace {

struct SocketCounts
{
    qint64 sent = 0;
    qint64 acknowledged = 0;
};

std::optional<SocketCounts> countsOf(curl_socket_t socket)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (socket == CURL_SOCKET_BAD || getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return std::nullopt;
    return SocketCounts{qint64(info.tcpi_bytes_sent), qint64(info.tcpi_bytes_acked)};
}

int localPortOf(curl_socket_t socket)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    return -1;
}

} // namespace

TransferMeter::TransferMeter(CurlRequest &request)
    : m_request(request)
{
    CURL *easy = request.handle();
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TransferMeter::received);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    if (request.options().uploadBytes) {
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &TransferMeter::readZeros);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
        curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &TransferMeter::opened);
        curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, this);
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &TransferMeter::connected);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    }
}

size_t TransferMeter::received(char *, size_t size, size_t count, void *meter)
{
    auto *self = static_cast<TransferMeter *>(meter);
    // The answer to an upload is not what is measured.
    if (!self->m_request.options().uploadBytes)
        self->m_bytes += qint64(size * count);
    return size * count;
}

size_t TransferMeter::readZeros(char *buffer, size_t size, size_t count, void *meter)
{
    auto *self = static_cast<TransferMeter *>(meter);
    if (self->m_sentBeforeBody < 0) {
        const std::optional<SocketCounts> counts = countsOf(self->m_socket);
        self->m_sentBeforeBody = counts ? counts->sent : 0;
    }
    self->countAcknowledged();
    const qint64 left = *self->m_request.options().uploadBytes - self->m_bodyRead;
    const size_t length = size_t(std::min<qint64>(left, qint64(size * count)));
    std::memset(buffer, 0, length);
    self->m_bodyRead += qint64(length);
    return length;
}

int TransferMeter::opened(void *meter, curl_socket_t socket, curlsocktype purpose)
{
    if (purpose != CURLSOCKTYPE_IPCXN)
        return CURL_SOCKOPT_OK;
    static_cast<TransferMeter *>(meter)->m_opened.push_back(socket);
    // An upload ended at the cap is closed with a reset: a graceful close would go on sending
    // what the socket still holds, on a slow uplink seconds of traffic after the test.
    const linger reset{.l_onoff = 1, .l_linger = 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    return CURL_SOCKOPT_OK;
}

int TransferMeter::connected(void *meter, char *, char *, int, int localPort)
{
    auto *self = static_cast<TransferMeter *>(meter);
    // Of the sockets tried, the one the connection was made on.
    for (const curl_socket_t socket : self->m_opened) {
        if (localPortOf(socket) == localPort)
            self->m_socket = socket;
    }
    self->m_opened.clear();
    return CURL_PREREQFUNC_OK;
}

void TransferMeter::countAcknowledged()
{
    const std::optional<SocketCounts> counts = countsOf(m_socket);
    if (!counts || m_sentBeforeBody < 0)
        return;
    m_bytes = std::clamp(counts->acknowledged - m_sentBeforeBody, m_bytes, m_bodyRead);
}

TransferOutcome TransferMeter::run(TransferLoop &loop, std::chrono::milliseconds cap,
                                   std::chrono::milliseconds deadline)
{
    const auto start = TransferLoop::Clock::now();
    const TransferLoop::Ending ending =
        loop.run(m_request.handle(), start + std::min(cap, deadline));
    const double seconds =
        std::chrono::duration<double>(TransferLoop::Clock::now() - start).count();
    const bool upload = m_request.options().uploadBytes.has_value();
    if (upload)
        countAcknowledged();

    QString error;
    const QString host = m_request.options().url.host();
    switch (ending.how) {
    case TransferLoop::End::completed:
        if (const long status = m_request.status(); status != 0 && (status < 200 || status > 299))
            error = badServerResponseText(status);
        else if (ending.code != CURLE_OK)
            error = m_request.errorText(ending.code);
        else if (upload)
            m_bytes = m_bodyRead; // answered: the server has all of it
        break;
    case TransferLoop::End::deadline:
        // Nothing moved at all is no rate of 0: the service did not answer in time.
        if (cap <= deadline)
            error = QStringLiteral("Timed out: no data %1 %2 in %3 seconds")
                        .arg(upload ? QStringLiteral("to") : QStringLiteral("from"),
                             host.isEmpty() ? QStringLiteral("the server") : host,
                             QString::number(double(cap.count()) / 1000));
        else
            error = QStringLiteral("Timed out: the transfer took longer than %1 seconds")
                        .arg(std::chrono::duration_cast<std::chrono::seconds>(deadline).count());
        break;
    case TransferLoop::End::stopped:
        error = stoppedText();
        break;
    }
    if (!error.isEmpty() && m_bytes == 0)
        return std::unexpected(error);
    return TransferFigures{m_bytes, seconds};
}

} // namespace velmora
