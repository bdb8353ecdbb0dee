#include "platform/pathmonitor_linux.h"

#include "platform/netlinkfacts_linux.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include <net/if.h>
#include <netlink/cache.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/nexthop.h>
#include <netlink/route/route.h>
#include <netlink/route/rtnl.h>
#include <netlink/route/rule.h>
#include <netlink/socket.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace velmora {

namespace {

Q_LOGGING_CATEGORY(lcPath, "velmora.path")

// How long to wait before trying again when the kernel could not be asked at all.
constexpr auto retryDelay = 2s;

struct FreeCache
{
    void operator()(nl_cache *cache) const { nl_cache_free(cache); }
};
using Cache = std::unique_ptr<nl_cache, FreeCache>;

struct PutLink
{
    void operator()(rtnl_link *link) const { rtnl_link_put(link); }
};

// The prefix length of a unicast IPv4 or IPv6 route, or -1 for any other route.
int unicastPrefixLength(rtnl_route *route)
{
    const int family = rtnl_route_get_family(route);
    if ((family != AF_INET && family != AF_INET6) || rtnl_route_get_type(route) != RTN_UNICAST)
        return -1;
    nl_addr *destination = rtnl_route_get_dst(route);
    return destination ? int(nl_addr_get_prefixlen(destination)) : 0;
}

// The routing tables lookups can reach: main, and every table a rule sends them to.
std::set<quint32> consultedTables(nl_cache *rules)
{
    std::set<quint32> tables{RT_TABLE_MAIN};
    for (nl_object *object = nl_cache_get_first(rules); object;
         object = nl_cache_get_next(object)) {
        auto *rule = reinterpret_cast<rtnl_rule *>(object);
        if (rtnl_rule_get_action(rule) == FR_ACT_TO_TBL)
            tables.insert(rtnl_rule_get_table(rule));
    }
    return tables;
}

bool linkCarries(nl_cache *links, int ifindex, QString *name)
{
    const std::unique_ptr<rtnl_link, PutLink> link(rtnl_link_get(links, ifindex));
    if (!link)
        return false;
    if (const char *linkName = rtnl_link_get_name(link.get()))
        *name = QString::fromLocal8Bit(linkName);
    // The kernel sets IFF_RUNNING only while the link's operational state is up (or unknown,
    // as for tunnels that do not report one).
    const unsigned flags = rtnl_link_get_flags(link.get());
    return (flags & IFF_UP) && (flags & IFF_RUNNING);
}

std::optional<QByteArray> readSysfsFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(64 * 1024);
}

} // namespace

void NetlinkPathMonitor::FreeSocket::operator()(nl_sock *socket) const
{
    nl_socket_free(socket);
}

NetlinkPathMonitor::NetlinkPathMonitor(QObject *parent)
    : NetlinkPathMonitor(Options{}, parent)
{}

NetlinkPathMonitor::NetlinkPathMonitor(Options options, QObject *parent)
    : PathMonitor(parent)
    , m_options(std::move(options))
    , m_settle(this)
    , m_reopen(this)
{
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &NetlinkPathMonitor::readAndReport);
    m_reopen.setInterval(retryDelay);
    connect(&m_reopen, &QTimer::timeout, this, [this] {
        if (!openNotifications())
            return;
        m_reopen.stop();
        // Whatever changed while nobody listened.
        scheduleRead();
    });
}

NetlinkPathMonitor::~NetlinkPathMonitor()
{
    closeNotifications();
}

void NetlinkPathMonitor::start()
{
    if (m_started)
        return;
    m_started = true;
    // Subscribe before the first read, so that no change between the two goes unseen.
    if (!openNotifications())
        m_reopen.start();
    m_settle.start(0ms);
}

bool NetlinkPathMonitor::openNotifications()
{
    std::unique_ptr<nl_sock, FreeSocket> socket(nl_socket_alloc());
    if (!socket)
        return false;
    int error = nl_connect(socket.get(), NETLINK_ROUTE);
    if (error == 0)
        error = nl_socket_add_memberships(
            socket.get(), RTNLGRP_LINK, RTNLGRP_IPV4_IFADDR, RTNLGRP_IPV6_IFADDR,
            RTNLGRP_IPV4_ROUTE, RTNLGRP_IPV6_ROUTE, RTNLGRP_IPV4_RULE, RTNLGRP_IPV6_RULE, 0);
    if (error == 0)
        error = nl_socket_set_nonblocking(socket.get());
    if (error != 0) {
        qCWarning(lcPath, "Cannot watch network changes: %s", nl_geterror(error));
        return false;
    }
    const int fd = nl_socket_get_fd(socket.get());
    if (m_options.receiveBufferBytes > 0) {
        const int bytes = m_options.receiveBufferBytes;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    m_socket = std::move(socket);
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read, this);
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            &NetlinkPathMonitor::drainNotifications);
    return true;
}

void NetlinkPathMonitor::closeNotifications()
{
    // May run inside the notifier's own signal, so it must not be deleted right away.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    m_socket.reset();
}

void NetlinkPathMonitor::drainNotifications()
{
    // The messages' content does not matter: any of them means "read again".
    alignas(nlmsghdr) char buffer[16 * 1024];
    const int fd = nl_socket_get_fd(m_socket.get());
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t received = recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                          reinterpret_cast<sockaddr *>(&sender), &senderSize);
        if (received >= 0) {
            // Other processes can write to this socket too; only the kernel's word counts.
            if (sender.nl_pid == 0)
                scheduleRead();
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        // Notifications were lost: only a fresh read can tell what changed.
        scheduleRead();
        if (errno == ENOBUFS)
            continue;
        qCWarning(lcPath, "Network change notifications failed (%s); reopening", strerror(errno));
        closeNotifications();
        m_reopen.start();
        return;
    }
}

void NetlinkPathMonitor::scheduleRead()
{
    // Not restarted by later notifications: a steady stream of them must not postpone the
    // read indefinitely.
    if (!m_settle.isActive())
        m_settle.start(m_options.settleDelay);
}

void NetlinkPathMonitor::readAndReport()
{
    std::optional<State> state = readState(m_options.sysfsNetRoot);
    if (!state) {
        qCWarning(lcPath, "Cannot read the network state; trying again");
        m_settle.start(retryDelay);
        return;
    }
    if (state == m_lastRead)
        return;
    m_lastRead = std::move(state);
    Q_EMIT pathChanged(m_lastRead->path);
}

std::optional<NetworkPath> NetlinkPathMonitor::readPath(const QString &sysfsNetRoot)
{
    std::optional<State> state = readState(sysfsNetRoot);
    return state ? std::optional(state->path) : std::nullopt;
}

std::optional<NetlinkPathMonitor::State> NetlinkPathMonitor::readState(const QString &sysfsNetRoot)
{
    std::unique_ptr<nl_sock, FreeSocket> socket(nl_socket_alloc());
    if (!socket || nl_connect(socket.get(), NETLINK_ROUTE) != 0)
        return std::nullopt;
    nl_cache *linkCache = nullptr;
    if (rtnl_link_alloc_cache(socket.get(), AF_UNSPEC, &linkCache) != 0)
        return std::nullopt;
    const Cache links(linkCache);
    nl_cache *addressCache = nullptr;
    if (rtnl_addr_alloc_cache(socket.get(), &addressCache) != 0)
        return std::nullopt;
    const Cache addresses(addressCache);
    nl_cache *routeCache = nullptr;
    if (rtnl_route_alloc_cache(socket.get(), AF_UNSPEC, 0, &routeCache) != 0)
        return std::nullopt;
    const Cache routes(routeCache);
    nl_cache *ruleCache = nullptr;
    if (rtnl_rule_alloc_cache(socket.get(), AF_UNSPEC, &ruleCache) != 0)
        return std::nullopt;
    const Cache rules(ruleCache);
    const std::set<quint32> tables = consultedTables(rules.get());

    State state{.path = {},
                .facts = netlinkFacts(links.get(), addresses.get(), routes.get(), rules.get())};
    NetworkPath &path = state.path;
    for (nl_object *object = nl_cache_get_first(routes.get()); object;
         object = nl_cache_get_next(object)) {
        auto *route = reinterpret_cast<rtnl_route *>(object);
        // A VPN takes all traffic with a default route of its own table, chosen by a rule
        // (as wg-quick does), or with two routes of half the space each, which win over the
        // default by being longer (as OpenVPN does).
        const int prefixLength = unicastPrefixLength(route);
        const quint32 table = rtnl_route_get_table(route);
        if (prefixLength < 0 || prefixLength > 1 || !tables.contains(table))
            continue;
        const bool isMainDefault = table == RT_TABLE_MAIN && prefixLength == 0;
        const int nexthops = rtnl_route_get_nnexthops(route);
        for (int i = 0; i < nexthops; ++i) {
            rtnl_nexthop *nexthop = rtnl_route_nexthop_n(route, i);
            // A single-path route carries its next hop's flags in the route's own.
            const unsigned flags = rtnl_route_nh_get_flags(nexthop) |
                                   (nexthops == 1 ? rtnl_route_get_flags(route) : 0u);
            QString name;
            const bool carries =
                linkCarries(links.get(), rtnl_route_nh_get_ifindex(nexthop), &name);
            if (name.isEmpty())
                continue;
            if (!path.interfaces.contains(name))
                path.interfaces.append(name);
            if (isMainDefault && carries && !(flags & (RTNH_F_LINKDOWN | RTNH_F_DEAD)))
                path.satisfied = true;
        }
    }
    path.interfaces.sort();
    for (const QString &name : std::as_const(path.interfaces)) {
        switch (interfaceKind(sysfsNetRoot, name)) {
        case InterfaceKind::wifi:
            path.usesWifi = true;
            break;
        case InterfaceKind::cellular:
            path.usesCellular = true;
            break;
        case InterfaceKind::wiredEthernet:
            path.usesWiredEthernet = true;
            break;
        case InterfaceKind::other:
            break;
        }
    }
    return state;
}

NetlinkPathMonitor::InterfaceKind NetlinkPathMonitor::interfaceKind(const QString &sysfsNetRoot,
                                                                    const QString &name)
{
    // Kernel names never hold these, but the name ends up in a path.
    if (name.isEmpty() || name == "."_L1 || name == ".."_L1 || name.contains(u'/'))
        return InterfaceKind::other;
    const QString directory = sysfsNetRoot + u'/' + name + u'/';
    if (QFileInfo::exists(directory + "wireless"_L1) ||
        QFileInfo::exists(directory + "phy80211"_L1))
        return InterfaceKind::wifi;
    if (const auto uevent = readSysfsFile(directory + "uevent"_L1)) {
        const QList<QByteArray> lines = uevent->split('\n');
        if (lines.contains("DEVTYPE=wwan"))
            return InterfaceKind::cellular;
    }
    if (const auto type = readSysfsFile(directory + "type"_L1); type && type->trimmed() == "1")
        return InterfaceKind::wiredEthernet;
    return InterfaceKind::other;
}

} // namespace velmora
