#pragma once

#include "platform/dnsconfig.h"

#include <QByteArrayView>
#include <QDBusConnection>
#include <QString>

#include <chrono>

namespace velmora {

// The resolver configuration file. When it names only the local stub of systemd-resolved,
// the servers are those resolved sends ordinary lookups to, as it tells on resolvedBus; when
// it cannot tell, those of the stub's upstream file; when that names none either, the stub.
class ResolvConfDnsConfig final : public DnsConfig
{
public:
    ResolvConfDnsConfig();
    ResolvConfDnsConfig(QString resolvConfPath, QString upstreamPath,
                        QDBusConnection resolvedBus = QDBusConnection::systemBus());

    // A file that is missing, not a regular file, larger than maxFileBytes or not text
    // (it holds a NUL byte) yields no servers.
    QStringList servers() const override;

    // The addresses of the "nameserver" lines, in file order. As the C library's resolver
    // reads it: the keyword starts the line, lines starting with '#' or ';' are comments,
    // text after the address is ignored. Lines whose address is not a numeric IPv4 or IPv6
    // address (an IPv6 one may carry a "%zone") are skipped.
    static QStringList parseNameservers(QByteArrayView content);
    // Whether servers is not empty and holds nothing but the stub's addresses.
    static bool namesOnlyResolvedStub(const QStringList &servers);

    static inline const QString defaultResolvConfPath = QStringLiteral("/etc/resolv.conf");
    static inline const QString defaultUpstreamPath =
        QStringLiteral("/run/systemd/resolve/resolv.conf");
    static constexpr qint64 maxFileBytes = 1024 * 1024;
    // The longest wait for resolved's answers on each call of servers().
    static constexpr std::chrono::milliseconds resolvedTimeout{500};

private:
    QString m_resolvConfPath;
    QString m_upstreamPath;
    QDBusConnection m_resolvedBus;
    // Why resolved could not tell last time, so that each reason is logged once in a row.
    mutable QString m_resolvedProblem;
};

} // namespace velmora
