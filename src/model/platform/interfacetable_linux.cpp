#include "platform/interfacetable_linux.h"

#include <memory>

#include <ifaddrs.h>
#include <linux/if_link.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace velmora {

namespace {

struct FreeIfaddrs
{
    void operator()(ifaddrs *list) const { freeifaddrs(list); }
};
using IfaddrsList = std::unique_ptr<ifaddrs, FreeIfaddrs>;

IfaddrsList interfaceList()
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return nullptr;
    return IfaddrsList(list);
}

} // namespace

InterfaceCounters GetifaddrsInterfaceTable::counters() const
{
    InterfaceCounters counters;
    const IfaddrsList list = interfaceList();
    for (const ifaddrs *entry = list.get(); entry; entry = entry->ifa_next) {
        // Only link entries carry statistics. Links without a hardware address (tunnels,
        // modems in raw-IP mode) come without ifa_addr, yet are links all the same.
        if (!entry->ifa_name || !entry->ifa_data ||
            (entry->ifa_addr && entry->ifa_addr->sa_family != AF_PACKET))
            continue;
        const auto *stats = static_cast<const rtnl_link_stats *>(entry->ifa_data);
        counters.insert(QString::fromLocal8Bit(entry->ifa_name),
                        CounterPair{stats->rx_bytes, stats->tx_bytes});
    }
    return counters;
}

QList<InterfaceAddress> GetifaddrsInterfaceTable::upIPv4Addresses() const
{
    QList<InterfaceAddress> addresses;
    const IfaddrsList list = interfaceList();
    for (const ifaddrs *entry = list.get(); entry; entry = entry->ifa_next) {
        if (!entry->ifa_name || !entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET ||
            !(entry->ifa_flags & IFF_UP))
            continue;
        char host[NI_MAXHOST] = {};
        if (getnameinfo(entry->ifa_addr, sizeof(sockaddr_in), host, sizeof host, nullptr, 0,
                        NI_NUMERICHOST) != 0)
            continue;
        addresses.append({QString::fromLocal8Bit(entry->ifa_name), QString::fromLatin1(host)});
    }
    return addresses;
}

} // namespace velmora
