#include "platform/dnsconfig_linux.h"

#include "platform/resolveddns_linux.h"
#include "smallfile.h"

#include <QLoggingCategory>

#include <algorithm>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

Q_LOGGING_CATEGORY(lcDns, "velmora.dns")

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isNumericAddress(QByteArrayView token)
{
    // inet_pton needs a terminated string and knows nothing of zones.
    QByteArray address = token.toByteArray();
    if (const qsizetype percent = address.indexOf('%'); percent >= 0) {
        const QByteArrayView zone = QByteArrayView(address).sliced(percent + 1);
        const bool zoneIsName = !zone.isEmpty() && std::ranges::all_of(zone, [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-' || c == '.';
        });
        if (!zoneIsName)
            return false;
        address.truncate(percent);
        in6_addr ipv6;
        return inet_pton(AF_INET6, address.constData(), &ipv6) == 1;
    }
    in_addr ipv4;
    in6_addr ipv6;
    return inet_pton(AF_INET, address.constData(), &ipv4) == 1 ||
           inet_pton(AF_INET6, address.constData(), &ipv6) == 1;
}

// A resolver configuration is text; a NUL byte means something else is there.
std::optional<QByteArray> readSmallTextFile(const QString &path)
{
    std::expected<QByteArray, UnreadFile> content =
        readSmallFile(path, ResolvConfDnsConfig::maxFileBytes);
    if (!content || content->contains('\0'))
        return std::nullopt;
    return *std::move(content);
}

} // namespace

ResolvConfDnsConfig::ResolvConfDnsConfig()
    : ResolvConfDnsConfig(defaultResolvConfPath, defaultUpstreamPath)
{}

ResolvConfDnsConfig::ResolvConfDnsConfig(QString resolvConfPath, QString upstreamPath,
                                         QDBusConnection resolvedBus)
    : m_resolvConfPath(std::move(resolvConfPath))
    , m_upstreamPath(std::move(upstreamPath))
    , m_resolvedBus(std::move(resolvedBus))
{}

QStringList ResolvConfDnsConfig::servers() const
{
    const std::optional<QByteArray> content = readSmallTextFile(m_resolvConfPath);
    if (!content)
        return {};
    const QStringList servers = parseNameservers(*content);
    if (!namesOnlyResolvedStub(servers))
        return servers;
    // The upstream file lists every link's servers, also those that only answer for their
    // own domains; resolved knows which ones take the lookups that are not routed elsewhere.
    const std::expected<QStringList, QString> used =
        resolvedDnsServers(m_resolvedBus, resolvedTimeout);
    if (used && !used->isEmpty()) {
        m_resolvedProblem.clear();
        return *used;
    }
    if (!used && std::exchange(m_resolvedProblem, used.error()) != used.error())
        qCInfo(lcDns, "%s; reading %s instead", qPrintable(used.error()),
               qPrintable(m_upstreamPath));
    const std::optional<QByteArray> upstream = readSmallTextFile(m_upstreamPath);
    const QStringList upstreamServers = upstream ? parseNameservers(*upstream) : QStringList();
    // Still, the stub is what the system asks.
    return upstreamServers.isEmpty() ? servers : upstreamServers;
}

QStringList ResolvConfDnsConfig::parseNameservers(QByteArrayView content)
{
    static constexpr QByteArrayView keyword = "nameserver";
    QStringList servers;
    while (!content.isEmpty()) {
        const qsizetype end = content.indexOf('\n');
        QByteArrayView line = end < 0 ? content : content.first(end);
        content = end < 0 ? QByteArrayView() : content.sliced(end + 1);

        if (!line.startsWith(keyword) || line.size() == keyword.size() ||
            !isBlank(line[keyword.size()]))
            continue;
        line = line.sliced(keyword.size());
        while (!line.isEmpty() && isBlank(line.front()))
            line = line.sliced(1);
        qsizetype length = 0;
        while (length < line.size() && !isBlank(line[length]))
            ++length;
        const QByteArrayView address = line.first(length);
        if (isNumericAddress(address))
            servers.append(QString::fromLatin1(address));
    }
    return servers;
}

bool ResolvConfDnsConfig::namesOnlyResolvedStub(const QStringList &servers)
{
    return !servers.isEmpty() && std::ranges::all_of(servers, [](const QString &server) {
        return server == "127.0.0.53"_L1 || server == "127.0.0.54"_L1;
    });
}

} // namespace velmora
