#include "platform/netlinkfacts_linux.h"

#include <algorithm>

#include <linux/if.h>
#include <linux/if_addr.h>
#include <netlink/addr.h>
#include <netlink/cache.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/nexthop.h>
#include <netlink/route/route.h>
#include <netlink/route/rule.h>

namespace velmora {

namespace {

QByteArray text(const nl_addr *address)
{
    if (!address)
        return "-";
    char buffer[128];
    return nl_addr2str(address, buffer, sizeof buffer);
}

QByteArray text(const char *name)
{
    return name ? QByteArray(name) : QByteArray("-");
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

template<typename Object, typename Describe>
void describeAll(nl_cache *cache, QByteArrayList *facts, Describe describe)
{
    for (nl_object *object = nl_cache_get_first(cache); object; object = nl_cache_get_next(object))
        facts->append(describe(reinterpret_cast<Object *>(object)));
}

QByteArray linkFact(rtnl_link *link)
{
    // Up, running and carrier decide whether a link carries traffic; the rest of its flags
    // (promiscuous, all-multicast) do not.
    const unsigned flags =
        rtnl_link_get_flags(link) & (IFF_UP | IFF_RUNNING | IFF_LOWER_UP | IFF_DORMANT);
    return "link " + number(rtnl_link_get_ifindex(link)) + ' ' + text(rtnl_link_get_name(link)) +
           " kind " + text(rtnl_link_get_type(link)) + " flags " + number(flags) + " state " +
           number(rtnl_link_get_operstate(link));
}

QByteArray addressFact(rtnl_addr *address)
{
    // A deprecated address is no longer chosen as a source; whether an address is still being
    // checked for duplicates, and its lifetimes, change without the network changing.
    const bool deprecated = rtnl_addr_get_flags(address) & IFA_F_DEPRECATED;
    return "addr " + number(rtnl_addr_get_ifindex(address)) + ' ' +
           text(rtnl_addr_get_local(address)) + " peer " + text(rtnl_addr_get_peer(address)) +
           " scope " + number(rtnl_addr_get_scope(address)) + (deprecated ? " deprecated" : "");
}

QByteArray routeFact(rtnl_route *route)
{
    // Not whether hardware has taken the route over: traffic goes the same way.
    constexpr unsigned nexthopFlags =
        RTNH_F_DEAD | RTNH_F_PERVASIVE | RTNH_F_ONLINK | RTNH_F_LINKDOWN | RTNH_F_UNRESOLVED;
    const int nexthops = rtnl_route_get_nnexthops(route);
    QByteArray fact =
        "route " + number(rtnl_route_get_family(route)) + " table " +
        number(rtnl_route_get_table(route)) + " type " + number(rtnl_route_get_type(route)) + ' ' +
        text(rtnl_route_get_dst(route)) + " from " + text(rtnl_route_get_src(route)) + " src " +
        text(rtnl_route_get_pref_src(route)) + " metric " + number(rtnl_route_get_priority(route)) +
        " scope " + number(rtnl_route_get_scope(route)) + " tos " +
        number(rtnl_route_get_tos(route));
    for (int i = 0; i < nexthops; ++i) {
        rtnl_nexthop *nexthop = rtnl_route_nexthop_n(route, i);
        // A single-path route carries its next hop's flags in the route's own.
        const unsigned flags = (rtnl_route_nh_get_flags(nexthop) |
                                (nexthops == 1 ? rtnl_route_get_flags(route) : 0u)) &
                               nexthopFlags;
        fact += " via " + text(rtnl_route_nh_get_gateway(nexthop)) + " dev " +
                number(rtnl_route_nh_get_ifindex(nexthop)) + " weight " +
                number(rtnl_route_nh_get_weight(nexthop)) + " flags " + number(flags);
    }
    return fact;
}

QByteArray ruleFact(rtnl_rule *rule)
{
    return "rule " + number(rtnl_rule_get_family(rule)) + " prio " +
           number(rtnl_rule_get_prio(rule)) + " action " + number(rtnl_rule_get_action(rule)) +
           " table " + number(rtnl_rule_get_table(rule)) + " from " +
           text(rtnl_rule_get_src(rule)) + " to " + text(rtnl_rule_get_dst(rule)) + " iif " +
           text(rtnl_rule_get_iif(rule)) + " oif " + text(rtnl_rule_get_oif(rule)) + " mark " +
           number(rtnl_rule_get_mark(rule)) + '/' + number(rtnl_rule_get_mask(rule)) + " goto " +
           number(rtnl_rule_get_goto(rule)) + " tos " + number(rtnl_rule_get_dsfield(rule));
}

} // namespace

QByteArrayList netlinkFacts(nl_cache *links, nl_cache *addresses, nl_cache *routes, nl_cache *rules)
{
    QByteArrayList facts;
    describeAll<rtnl_link>(links, &facts, linkFact);
    describeAll<rtnl_addr>(addresses, &facts, addressFact);
    describeAll<rtnl_route>(routes, &facts, routeFact);
    describeAll<rtnl_rule>(rules, &facts, ruleFact);
    std::sort(facts.begin(), facts.end());
    return facts;
}

} // namespace velmora
