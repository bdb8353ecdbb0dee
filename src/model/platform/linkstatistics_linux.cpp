#include "platform/linkstatistics_linux.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace velmora {

namespace {

// The kernel fills a dump's datagrams up to 32 kB when the reader takes that much.
constexpr size_t bufferSize = 32 * 1024;

template<typename T> T copyOf(const char *data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

// Calls visit(type, data, size) for each attribute from offset on; false when one is cut short.
template<typename Visit>
bool forEachAttribute(const char *payload, size_t size, size_t offset, Visit visit)
{
    for (size_t at = offset; at + sizeof(rtattr) <= size;) {
        const auto attribute = copyOf<rtattr>(payload + at);
        if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > size - at)
            return false;
        visit(attribute.rta_type, payload + at + RTA_LENGTH(0),
              size_t(attribute.rta_len) - RTA_LENGTH(0));
        at += RTA_ALIGN(attribute.rta_len);
    }
    return true;
}

std::optional<CounterPair> stats64(const char *data, size_t size, int ifindex)
{
    if (size < sizeof(rtnl_link_stats64))
        return std::nullopt;
    const auto stats = copyOf<rtnl_link_stats64>(data);
    return CounterPair{stats.rx_bytes, stats.tx_bytes, ifindex, true};
}

// One RTM_NEWLINK answer (payload after the netlink header): its name and counts.
void readLink(const char *payload, size_t size, LinkDump &dump)
{
    if (size < NLMSG_ALIGN(sizeof(ifinfomsg)))
        return;
    const int ifindex = copyOf<ifinfomsg>(payload).ifi_index;
    QString name;
    std::optional<CounterPair> counts;
    const bool whole = forEachAttribute(
        payload, size, NLMSG_ALIGN(sizeof(ifinfomsg)),
        [&](quint16 type, const char *data, size_t dataSize) {
            if (type == IFLA_IFNAME) {
                name = QString::fromLocal8Bit(data, qsizetype(strnlen(data, dataSize)));
            } else if (type == IFLA_STATS64) {
                if (auto wide = stats64(data, dataSize, ifindex))
                    counts = wide;
            } else if (type == IFLA_STATS && dataSize >= sizeof(rtnl_link_stats) &&
                       !(counts && counts->is64Bit)) {
                // Only where the kernel gives no 64-bit counts.
                const auto stats = copyOf<rtnl_link_stats>(data);
                counts = CounterPair{stats.rx_bytes, stats.tx_bytes, ifindex, false};
            }
        });
    if (!whole || name.isEmpty())
        return;
    if (dump.names)
        dump.names->insert(ifindex, name);
    if (counts)
        dump.counters.insert(name, *counts);
}

// One RTM_NEWSTATS answer: counts under the name the link list gave its index.
void readStatistics(const char *payload, size_t size, LinkDump &dump)
{
    if (size < NLMSG_ALIGN(sizeof(if_stats_msg)))
        return;
    const int ifindex = int(copyOf<if_stats_msg>(payload).ifindex);
    std::optional<CounterPair> counts;
    const bool whole = forEachAttribute(payload, size, NLMSG_ALIGN(sizeof(if_stats_msg)),
                                        [&](quint16 type, const char *data, size_t dataSize) {
                                            if (type == IFLA_STATS_LINK_64)
                                                counts = stats64(data, dataSize, ifindex);
                                        });
    if (!whole || !counts)
        return;
    const QString name = dump.names ? dump.names->value(ifindex) : QString();
    if (name.isEmpty())
        dump.namesStale = true;
    else
        dump.counters.insert(name, *counts);
}

} // namespace

LinkDumpPart readLinkDump(QByteArrayView datagram, quint32 sequence, LinkDump &dump)
{
    const char *const data = datagram.data();
    const size_t size = size_t(datagram.size());
    for (size_t at = 0; at + sizeof(nlmsghdr) <= size;) {
        const auto header = copyOf<nlmsghdr>(data + at);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > size - at)
            return LinkDumpPart::failed;
        const char *payload = data + at + NLMSG_HDRLEN;
        const size_t payloadSize = header.nlmsg_len - NLMSG_HDRLEN;
        if (header.nlmsg_seq != sequence) {
            // The kernel's news of a link, or a stale answer.
            if (header.nlmsg_type == RTM_NEWLINK || header.nlmsg_type == RTM_DELLINK)
                dump.namesStale = true;
        } else if (header.nlmsg_type == NLMSG_DONE) {
            return LinkDumpPart::done;
        } else if (header.nlmsg_type == NLMSG_ERROR) {
            return LinkDumpPart::failed;
        } else if (header.nlmsg_type == RTM_NEWLINK) {
            readLink(payload, payloadSize, dump);
        } else if (header.nlmsg_type == RTM_NEWSTATS) {
            readStatistics(payload, payloadSize, dump);
        }
        at += NLMSG_ALIGN(header.nlmsg_len);
    }
    return LinkDumpPart::more;
}

LinkStatistics::~LinkStatistics()
{
    close();
}

bool LinkStatistics::open()
{
    if (m_socket >= 0)
        return true;
    m_socket = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_socket < 0)
        return false;
    // The kernel answers a dump at once; a second is plenty and never hangs the caller.
    const timeval timeout{.tv_sec = 1, .tv_usec = 0};
    setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    // Link news (made, gone, renamed) queues up here and is read with the next answer.
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK;
    if (bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close();
        return false;
    }
    m_buffer.resize(bufferSize);
    return true;
}

void LinkStatistics::close()
{
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    // News may have been missed while closed.
    m_namesKnown = false;
}

bool LinkStatistics::ask(quint16 type, LinkDump &dump)
{
    // The link dump asks for no extras (mask 0); the statistics dump for 64-bit counts only.
    struct
    {
        nlmsghdr header;
        union
        {
            ifinfomsg link;
            if_stats_msg statistics;
        } body;
        rtattr maskAttribute;
        quint32 mask;
    } request{};
    const bool links = type == RTM_GETLINK;
    request.header.nlmsg_len = links ? sizeof request : NLMSG_LENGTH(sizeof(if_stats_msg));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++m_sequence;
    if (links) {
        request.body.link.ifi_family = AF_UNSPEC;
        request.maskAttribute.rta_type = IFLA_EXT_MASK;
        request.maskAttribute.rta_len = RTA_LENGTH(sizeof request.mask);
    } else {
        request.body.statistics.family = AF_UNSPEC;
        request.body.statistics.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(m_socket, &request, request.header.nlmsg_len, 0,
               reinterpret_cast<sockaddr *>(&kernel), sizeof kernel) < 0)
        return false;
    for (;;) {
        // MSG_TRUNC has the full length returned, so a datagram too big for the buffer shows.
        const ssize_t got = recv(m_socket, m_buffer.data(), m_buffer.size(), MSG_TRUNC);
        if (got < 0 && errno == EINTR)
            continue;
        // Also when news overflowed the socket (ENOBUFS): what was missed is unknown.
        if (got <= 0 || size_t(got) > m_buffer.size())
            return false;
        switch (readLinkDump(QByteArrayView(m_buffer.data(), got), m_sequence, dump)) {
        case LinkDumpPart::more:
            continue;
        case LinkDumpPart::done:
            return true;
        case LinkDumpPart::failed:
            return false;
        }
    }
}

InterfaceCounters LinkStatistics::read()
{
    if (!open())
        return {};
    if (m_namesKnown) {
        LinkDump dump{.counters = {}, .names = &m_names, .namesStale = false};
        if (ask(RTM_GETSTATS, dump) && !dump.namesStale)
            return dump.counters;
        // What is left of a broken dump would be read as the next one's: start afresh. A
        // kernel without statistics dumps ends here every time, and reads the link list.
        close();
        if (!open())
            return {};
    }
    m_names.clear();
    LinkDump dump{.counters = {}, .names = &m_names, .namesStale = false};
    if (!ask(RTM_GETLINK, dump)) {
        close();
        return {};
    }
    // News seen while reading may be older or newer than the list: read it again next time.
    m_namesKnown = !dump.namesStale;
    return dump.counters;
}

} // namespace velmora
