#pragma once

#include <QMetaType>
#include <QString>

namespace velmora {

// How many DNS servers the popover shows, from the first; only those are judged.
inline constexpr qsizetype shownDnsServers = 3;

// A DNS server and the interface its queries leave through.
struct DnsRoute
{
    QString server;
    QString interface;

    friend bool operator==(const DnsRoute &, const DnsRoute &) = default;
};

} // namespace velmora

Q_DECLARE_METATYPE(velmora::DnsRoute)
