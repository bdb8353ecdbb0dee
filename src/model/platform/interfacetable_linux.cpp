#include "platform/interfacetable_linux.h"

#include <functional>
#include <memory>

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netlink/cache.h>
#include <netlink/netlink.h>
#include <netlink/route/link.h>
#include <netlink/socket.h>
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

// Calls visit for every link the kernel lists; nothing when it cannot be asked.
void forEachLink(const std::function<void(rtnl_link *)> &visit)
{
    const std::unique_ptr<nl_sock, decltype(&nl_socket_free)> socket(nl_socket_alloc(),
                                                                     &nl_socket_free);
    nl_cache *links = nullptr;
    if (!socket || nl_connect(socket.get(), NETLINK_ROUTE) != 0 ||
        rtnl_link_alloc_cache(socket.get(), AF_UNSPEC, &links) != 0)
        return;
    const std::unique_ptr<nl_cache, decltype(&nl_cache_free)> cache(links, &nl_cache_free);
    for (nl_object *object = nl_cache_get_first(links); object; object = nl_cache_get_next(object))
        visit(reinterpret_cast<rtnl_link *>(object));
}

QString linkName(rtnl_link *link)
{
    const char *name = rtnl_link_get_name(link);
    return name ? QString::fromLocal8Bit(name) : QString();
}

} // namespace

InterfaceCounters GetifaddrsInterfaceTable::counters() const
{
    return m_statistics.read();
}

QList<InterfaceAddress> GetifaddrsInterfaceTable::upIPv4Addresses() const
{
    QHash<QString, QString> kinds;
    forEachLink([&kinds](rtnl_link *link) {
        if (const char *kind = rtnl_link_get_type(link))
            kinds.insert(linkName(link), QString::fromLatin1(kind));
    });
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
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        // An address with a label ("en0:1") is listed under the label, which begins with
        // the link's name and a colon.
        addresses.append({name, QString::fromLatin1(host), kinds.value(name.section(u':', 0, 0))});
    }
    return addresses;
}

} // namespace velmora
