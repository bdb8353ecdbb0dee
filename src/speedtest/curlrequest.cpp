#include "curlrequest.h"

#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>

namespace velmora {

namespace {

// Debian's hashed directory of trusted authorities, the one Qt reads too; a directory rather
// than the bundle file, so it can be replaced whole.
constexpr const char *systemAuthorities = "/etc/ssl/certs";
// Larger reads than libcurl's default 16 KB: fewer passes at gigabit rates.
constexpr long receiveBufferBytes = 100 * 1024;

QString hostOf(const QUrl &url)
{
    const QString host = url.host();
    return host.isEmpty() ? QStringLiteral("the server") : host;
}

// A host as it stands in a URL: an IPv6 address in brackets, a name in its ASCII form.
QByteArray urlHost(const QString &host)
{
    const QHostAddress address(host);
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return '[' + QUrl::toPercentEncoding(address.toString(), ":") + ']';
    return QUrl::toAce(host);
}

} // namespace

CurlRequest::CurlRequest(RequestOptions options)
    : m_options(std::move(options))
{
    curl::ensureGlobalInit();
    m_easy.reset(curl_easy_init());
    CURL *easy = m_easy.get();
    const bool secure = m_options.url.scheme() == u"https";

    curl_easy_setopt(easy, CURLOPT_URL, m_options.url.toEncoded().constData());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_error);
    // Signals are no way to time out on a thread among others.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Without these limits a redirect could lead anywhere libcurl goes: no request without them.
    if (curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https") !=
            CURLE_OK)
        m_setupProblem = QStringLiteral("This libcurl (%1) cannot limit protocols; 7.85 or later "
                                        "is needed")
                             .arg(QString::fromLatin1(curl_version_info(CURLVERSION_NOW)->version));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, receiveBufferBytes);

    // Inactivity: connecting, or less than a byte a second for that long.
    const long inactivity = long(m_options.inactivity.count());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, inactivity);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, inactivity);

    curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(easy, CURLOPT_CAPATH, systemAuthorities);
    if (!m_options.extraAuthorities.isEmpty()) {
        curl_blob blob{m_options.extraAuthorities.data(), size_t(m_options.extraAuthorities.size()),
                       CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
    useSystemProxy();

    // Compressed answers would make the bytes counted differ from the bytes moved.
    curl_slist *headers = curl_slist_append(nullptr, "Accept-Encoding: identity");
    if (m_options.uploadBytes) {
        headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
        // No pause for a "100 Continue" few servers send: it would count as upload time.
        headers = curl_slist_append(headers, "Expect:");
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(*m_options.uploadBytes));
    }
    m_headers.reset(headers);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
}

void CurlRequest::useSystemProxy()
{
    // As the rest of the program reaches the network: through the proxy Qt would use.
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(m_options.url));
    const QNetworkProxy proxy = proxies.value(0);
    QByteArray scheme;
    if (proxy.type() == QNetworkProxy::HttpProxy)
        scheme = "http";
    else if (proxy.type() == QNetworkProxy::Socks5Proxy)
        scheme = proxy.capabilities().testFlag(QNetworkProxy::HostNameLookupCapability) ? "socks5h"
                                                                                        : "socks5";
    // An empty proxy keeps libcurl from reading the environment its own, different way.
    if (!scheme.isEmpty() && !proxy.hostName().isEmpty())
        m_proxy =
            scheme + "://" + urlHost(proxy.hostName()) + ':' + QByteArray::number(proxy.port());
    curl_easy_setopt(m_easy.get(), CURLOPT_PROXY, m_proxy.constData());
    if (!m_proxy.isEmpty() && !proxy.user().isEmpty()) {
        curl_easy_setopt(m_easy.get(), CURLOPT_PROXYUSERNAME, proxy.user().toUtf8().constData());
        curl_easy_setopt(m_easy.get(), CURLOPT_PROXYPASSWORD,
                         proxy.password().toUtf8().constData());
    }
}

QString CurlRequest::errorText(CURLcode code) const
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("Timed out: no data from %1 for %2 seconds")
            .arg(hostOf(m_options.url))
            .arg(m_options.inactivity.count());
    case CURLE_UNSUPPORTED_PROTOCOL:
        // The first URL's protocol is always allowed: this is a redirect refused.
        return QStringLiteral("Refused a redirect to an insecure or unsupported protocol");
    default:
        break;
    }
    QString text = QString::fromUtf8(m_error[0] != '\0' ? m_error : curl_easy_strerror(code));
    // Through a proxy, the connection that failed was the one to the proxy.
    if (code == CURLE_COULDNT_CONNECT && !m_proxy.isEmpty())
        text.prepend(QStringLiteral("Proxy %1: ").arg(QString::fromLatin1(m_proxy)));
    return text;
}

long CurlRequest::status() const
{
    long status = 0;
    curl_easy_getinfo(m_easy.get(), CURLINFO_RESPONSE_CODE, &status);
    return status;
}

QString badServerResponseText(long status)
{
    return QStringLiteral("Bad server response (HTTP %1)").arg(status);
}

} // namespace velmora
