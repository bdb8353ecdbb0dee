#pragma once

#include "curlhandles.h"
#include "measurementrunner.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace velmora {

// An easy handle set up for one request: the body asked for unencoded, the proxy Qt finds in
// the system's configuration, the peer's certificate checked against the system's authorities,
// redirects followed but never from HTTPS to plain HTTP. Whoever runs it sets the callbacks.
class CurlRequest
{
public:
    explicit CurlRequest(RequestOptions options);
    CurlRequest(const CurlRequest &) = delete;
    CurlRequest &operator=(const CurlRequest &) = delete;

    CURL *handle() const { return m_easy.get(); }
    // Why the handle must not be run, when libcurl refused a safeguard.
    const std::optional<QString> &setupProblem() const { return m_setupProblem; }
    const RequestOptions &options() const { return m_options; }
    // Why the handle's last transfer ended with code, for the user.
    QString errorText(CURLcode code) const;
    // The status of the last answer; 0 while none has come.
    long status() const;

private:
    void useSystemProxy();

    RequestOptions m_options;
    curl::Easy m_easy;
    curl::List m_headers;
    QByteArray m_proxy; // scheme://host:port, empty for none
    std::optional<QString> m_setupProblem;
    char m_error[CURL_ERROR_SIZE] = {};
};

// The text of a transfer the server refused with a status outside 200-299.
QString badServerResponseText(long status);

} // namespace velmora
