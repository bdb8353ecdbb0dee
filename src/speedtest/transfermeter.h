#pragma once

#include "curlrequest.h"
#include "transferloop.h"

#include <QString>

#include <chrono>
#include <expected>
#include <vector>

namespace velmora {

// What one transfer moved and for how long.
struct TransferFigures
{
    qint64 bytes = 0;
    double seconds = 0;
};

using TransferOutcome = std::expected<TransferFigures, QString>;

// Counts the bytes of one transfer as they move, without keeping them: for a GET the body
// received, for a POST the body bytes the server's side has acknowledged, so what still waits
// in socket buffers on a slow uplink is not counted as sent. The body of a POST is streamed
// zeros. Used on one thread.
class TransferMeter
{
public:
    // Installs its callbacks on request's handle.
    explicit TransferMeter(CurlRequest &request);
    TransferMeter(const TransferMeter &) = delete;
    TransferMeter &operator=(const TransferMeter &) = delete;

    // Runs the transfer from now until it completes or the cap is reached, whichever comes
    // first: then the figures so far. Fails only when nothing was counted: with the transfer's
    // error, a bad-server-response error for a status outside 200-299, a time-out when the cap
    // found nothing, or as stopped. deadline ends it with an error if the cap has not.
    TransferOutcome run(TransferLoop &loop, std::chrono::milliseconds cap,
                        std::chrono::milliseconds deadline);

    qint64 bytes() const { return m_bytes; }

private:
    static size_t received(char *data, size_t size, size_t count, void *meter);
    static size_t readZeros(char *buffer, size_t size, size_t count, void *meter);
    static int opened(void *meter, curl_socket_t socket, curlsocktype purpose);
    static int connected(void *meter, char *, char *, int, int localPort);
    void countAcknowledged();

    CurlRequest &m_request;
    qint64 m_bytes = 0;
    qint64 m_bodyRead = 0; // body bytes handed to libcurl
    // The connection's socket and what went out on it before the body.
    curl_socket_t m_socket = CURL_SOCKET_BAD;
    qint64 m_sentBeforeBody = -1;
    std::vector<curl_socket_t> m_opened; // until the connection is up
};

} // namespace velmora
