#include "platform/routelookup_linux.h"

#include <QtEndian>

#include <memory>

#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netlink/attr.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/socket.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace velmora {

namespace {

struct Destination
{
    unsigned char family = AF_UNSPEC;
    QByteArray bytes; // in network order
};

Destination destination(const QHostAddress &address)
{
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 ipv4 = qToBigEndian(address.toIPv4Address());
        return {AF_INET, QByteArray(reinterpret_cast<const char *>(&ipv4), sizeof ipv4)};
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR ipv6 = address.toIPv6Address();
        return {AF_INET6, QByteArray(reinterpret_cast<const char *>(ipv6.c), sizeof ipv6.c)};
    }
    return {};
}

// The outgoing interface's index of the kernel's answer; 0 when it routes nowhere out.
int readAnswer(nl_msg *message, void *ifindex)
{
    nlmsghdr *header = nlmsg_hdr(message);
    nlattr *attributes[RTA_MAX + 1] = {};
    if (header->nlmsg_type != RTM_NEWROUTE ||
        nlmsg_parse(header, sizeof(rtmsg), attributes, RTA_MAX, nullptr) != 0)
        return NL_STOP;
    // A local route delivers to this machine itself, through the loopback.
    const auto *route = static_cast<const rtmsg *>(nlmsg_data(header));
    if (route->rtm_type == RTN_UNICAST && attributes[RTA_OIF])
        *static_cast<int *>(ifindex) = int(nla_get_u32(attributes[RTA_OIF]));
    return NL_STOP;
}

} // namespace

NetlinkRouteLookup::NetlinkRouteLookup(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{}

std::optional<QString> NetlinkRouteLookup::interfaceFor(const QHostAddress &address) const
{
    const Destination target = destination(address);
    if (target.family == AF_UNSPEC)
        return std::nullopt;
    const std::unique_ptr<nl_sock, decltype(&nl_socket_free)> socket(nl_socket_alloc(),
                                                                     &nl_socket_free);
    if (!socket || nl_connect(socket.get(), NETLINK_ROUTE) != 0)
        return std::nullopt;
    // One answer or an error is all the kernel sends: no acknowledgement to wait for after it.
    nl_socket_disable_auto_ack(socket.get());
    const timeval timeout{.tv_sec = time_t(m_timeout.count() / 1000),
                          .tv_usec = suseconds_t(m_timeout.count() % 1000 * 1000)};
    if (setsockopt(nl_socket_get_fd(socket.get()), SOL_SOCKET, SO_RCVTIMEO, &timeout,
                   sizeof timeout) != 0)
        return std::nullopt;

    const std::unique_ptr<nl_msg, decltype(&nlmsg_free)> request(
        nlmsg_alloc_simple(RTM_GETROUTE, 0), &nlmsg_free);
    rtmsg header{};
    header.rtm_family = target.family;
    header.rtm_dst_len = static_cast<unsigned char>(target.bytes.size() * 8);
    if (!request || nlmsg_append(request.get(), &header, sizeof header, NLMSG_ALIGNTO) != 0 ||
        nla_put(request.get(), RTA_DST, int(target.bytes.size()), target.bytes.constData()) != 0 ||
        nl_send_auto(socket.get(), request.get()) < 0)
        return std::nullopt;

    int ifindex = 0;
    // An unroutable address is answered with an error, which ends the wait as the answer does;
    // a timeout reads as no answer.
    if (nl_socket_modify_cb(socket.get(), NL_CB_VALID, NL_CB_CUSTOM, readAnswer, &ifindex) != 0 ||
        nl_recvmsgs_default(socket.get()) < 0 || ifindex <= 0)
        return std::nullopt;
    char name[IF_NAMESIZE] = {};
    if (!if_indextoname(unsigned(ifindex), name))
        return std::nullopt;
    return QString::fromLocal8Bit(name);
}

} // namespace velmora
