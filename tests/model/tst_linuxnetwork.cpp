// The model's Linux pieces on a real kernel, in a private network namespace where the tests
// make links and routes: the interface table, the path monitor, and the whole model on them.

#include "appmodel.h"
#include "fakeservices.h"
#include "interfacerules.h"
#include "platform/dnsconfig_linux.h"
#include "platform/interfacetable_linux.h"
#include "platform/pathmonitor_linux.h"
#include "platform/routelookup_linux.h"
#include "privatenetwork.h"
#include "testhelpers.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <ranges>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Addresses = QList<InterfaceAddress>;

namespace {

constexpr auto settle = 100ms;

// eth0 holds no address: frames for its neighbour entry cross the pair and go no further.
const QString veth = u"link add en0 type veth peer name eth0\nlink set lo up\nlink set en0 up\n"
                     "link set eth0 up\naddr add 10.1.0.1/24 dev en0\n"_s;

// A change, and what the model shows after it.
struct Change
{
    QString step;
    NetworkPath path = {.satisfied = true, .usesWiredEthernet = true, .interfaces = {u"en0"_s}};
    ConnectionKind kind = ConnectionKind::ethernet;
    QString localIP = u"10.1.0.1"_s;
    bool vpn = false;
    // Of the servers resolv.conf names, those shown (three) whose queries leave outside the VPN.
    QList<DnsRoute> outside = {};
};

} // namespace

Q_DECLARE_METATYPE(Change)

class TestLinuxNetwork : public QObject
{
    Q_OBJECT

    GetifaddrsInterfaceTable m_table;

public:
    static void initMain() { test::enterPrivateNetwork(); } // before any thread exists

private Q_SLOTS:
    void init()
    {
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
    }

    void cleanup()
    {
        test::ip(
            u"link del en0\nlink del eth0\nlink del wg0\nlink del tun0\nlink del wlan0\n"
            "link del wwan0\nroute flush table 100\nrule del table 100\nrule del pref 100\n"_s);
    }

    void modelFollowsEveryChange_data()
    {
        QTest::addColumn<Change>("change");
        QTest::newRow("link down, its routes gone unannounced")
            << Change{.step = u"link set en0 down\n"_s,
                      .path = {},
                      .kind = ConnectionKind::offline,
                      .localIP = QString()};
        // As Wi-Fi before authentication: carrier and an unflagged route, but not running.
        QTest::newRow("dormant") << Change{.step =
                                               u"link set en0 down\nlink set en0 mode dormant up\n"
                                               "route add default dev en0\n"_s,
                                           .path = {false, false, true, false, {u"en0"_s}}};
        // As wg-quick does it: all to the VPN's table but what main routes more narrowly.
        QTest::newRow("policy table")
            << Change{.step = u"addr add 10.9.0.2/32 dev wg0\nrule add not fwmark 0xca6c table "
                              "100\nrule add table main suppress_prefixlength 0 pref 100\n"_s,
                      .path = {true, false, true, false, {u"en0"_s, u"wg0"_s}},
                      .vpn = true,
                      .outside = {{u"2001:db8::53%en0"_s, u"en0"_s}, {u"10.1.0.53"_s, u"en0"_s}}};
        QTest::newRow("Wi-Fi and a modem join")
            << Change{.step = u"link add wlan0 type veth peer name wlan0p\nlink set wlan0p up\n"
                              "link add wwan0 type veth peer name wwan0p\nlink set wwan0p up\n"
                              "link set wlan0 up\nlink set wwan0 up\n"
                              "route add default dev wlan0 metric 1\n"
                              "route add default dev wwan0 metric 2\n"_s,
                      .path = {true, true, true, true, {u"en0"_s, u"wlan0"_s, u"wwan0"_s}},
                      .kind = ConnectionKind::wifi};
    }

    // One report for a change, with the local state read afresh (down to the DNS servers the
    // kernel routes past a VPN), and a lookup after it.
    void modelFollowsEveryChange()
    {
        QFETCH(Change, change);
        const auto &[step, path, kind, localIP, vpn, outside] = change;
        // No link-local addresses: their duplicate detection would end in changes of its own.
        QVERIFY(test::writeFile(u"/proc/sys/net/ipv6/conf/default/addr_gen_mode"_s, "1"));
        // wg0's default route is in a table no rule selects yet: it counts for nothing.
        VERIFY_IP(veth + u"addr add 2001:db8::1/64 dev en0 nodad valid_lft 500 preferred_lft 500\n"
                         "route add default via 10.1.0.2\nlink add wg0 type veth peer name wg0p\n"
                         "link set wg0 up\nroute add default dev wg0 table 100\n"_s);

        QTemporaryDir dir; // its net/ describes the real links as Ethernet, Wi-Fi and modem
        QVERIFY(QDir().mkpath(dir.filePath(u"net/wlan0/phy80211"_s)));
        QVERIFY(test::writeFile(dir.filePath(u"net/wwan0/uevent"_s), "DEVTYPE=wwan\n"));
        QVERIFY(test::writeFile(dir.filePath(u"net/en0/type"_s), "1\n"));
        const QString resolvConf = dir.filePath(u"resolv.conf"_s);
        QVERIFY(test::writeFile(resolvConf, "nameserver 192.0.2.53\nnameserver 2001:db8::53%en0\n"
                                            "nameserver 10.1.0.53\nnameserver 10.1.0.54\n"));
        fakes::Rig fakes;             // for what this test does not exercise
        for (int i = 1; i <= 20; ++i) // each lookup finds a new public address
            fakes.lookups->addresses.push_back(u"203.0.113.%1"_s.arg(i));
        const int &lookups = fakes.lookups->lookups;
        AppModel::Services services = fakes.services(fakes::quickTimings());
        auto *monitor =
            new NetlinkPathMonitor({.settleDelay = settle, .sysfsNetRoot = dir.filePath(u"net"_s)});
        services.monitor.reset(monitor);
        services.interfaces = std::make_unique<GetifaddrsInterfaceTable>();
        services.dns = std::make_unique<ResolvConfDnsConfig>(resolvConf, QString());
        services.routes = std::make_unique<NetlinkRouteLookup>();
        QSignalSpy reports(monitor, &PathMonitor::pathChanged);
        AppModel model(std::move(services));
        QVERIFY(reports.wait(3000));
        // The kernel's link watcher can announce carrier up to a second late, and the start's
        // lookups follow the reports.
        while (reports.wait(1100) && reports.size() < 5) {
        }
        QVERIFY(fakes::waitUntilIdle(model));
        reports.clear();
        const int lookupsBefore = lookups;

        QElapsedTimer sinceChange;
        sinceChange.start();
        VERIFY_IP(step);
        QVERIFY(reports.wait(3000));
        QCOMPARE_GE(sinceChange.elapsed(), settle.count() * 95 / 100); // coarse timers: 5 % early
        QCOMPARE(reports.last().at(0).value<NetworkPath>(), path);
        QCOMPARE(model.connectionKind(), kind);
        QCOMPARE(model.localIP().value_or(QString()), localIP);
        QCOMPARE(model.vpnLikely(), vpn);
        QCOMPARE(model.dnsOutsideVpn(), outside);
        QTRY_VERIFY_WITH_TIMEOUT(lookups > lookupsBefore, 4000);
        QVERIFY(fakes::waitUntilIdle(model));
        QCOMPARE(lookups, lookupsBefore + 1);
        QCOMPARE(model.lastGeo()->ip, u"203.0.113.%1"_s.arg(lookups));
    }

    // Last: it turns IPv6 off for every link made after it.
    void interfaceTableFollowsRealTraffic()
    {
        // Nothing but the test's frames on the pair: no IPv6 chatter, no address resolution.
        QVERIFY(test::writeFile(u"/proc/sys/net/ipv6/conf/default/disable_ipv6"_s, "1"));
        // Frames to the far end leave at once: its hardware address is known.
        const auto knowFarEnd = [] {
            return test::ip(u"neigh add 10.1.0.2 lladdr %1 dev en0 nud permanent\n"_s.arg(
                QString::fromLatin1(test::readFile(u"/sys/class/net/eth0/address"_s).trimmed())));
        };
        VERIFY_IP(veth +
                  u"tuntap add tun0 mode tun\nlink set tun0 up\naddr add 10.8.0.2/32 dev tun0\n"
                  "addr add 10.2.0.1/24 dev en0 label en0:1\n"_s);
        QCOMPARE(knowFarEnd(), QString());
        QCOMPARE(m_table.upIPv4Addresses(), (Addresses{{u"lo"_s, u"127.0.0.1"_s},
                                                       {u"en0"_s, u"10.1.0.1"_s, u"veth"_s},
                                                       {u"en0:1"_s, u"10.2.0.1"_s, u"veth"_s},
                                                       {u"tun0"_s, u"10.8.0.2"_s, u"tun"_s}}));

        const InterfaceCounters before = m_table.counters();
        const QByteArray payload(1000, 'v');
        QUdpSocket out;
        QVERIFY(out.bind(QHostAddress(u"10.1.0.1"_s)));
        const auto send = [&](int datagrams) {
            return std::ranges::all_of(std::views::iota(0, datagrams), [&](int) {
                return out.writeDatagram(payload, QHostAddress(u"10.1.0.2"_s), 9) == payload.size();
            });
        };
        QVERIFY(send(50));
        // Ethernet, IPv4 and UDP headers on each frame.
        const quint64 bytes = 50 * quint64(14 + 20 + 8 + payload.size());
        InterfaceCounters after;
        QTRY_VERIFY_WITH_TIMEOUT(
            (after = m_table.counters(), after[u"eth0"_s].rx - before[u"eth0"_s].rx >= bytes),
            5000);
        QCOMPARE(trafficDelta(trafficCounters(before), trafficCounters(after)),
                 (TrafficDelta{bytes, bytes}));

        // Made again under the same names, the pair counts afresh: its counts above the old
        // ones are not traffic since the last sample.
        VERIFY_IP(u"link del en0\n"_s + veth);
        QCOMPARE(knowFarEnd(), QString());
        QVERIFY(send(100));
        InterfaceCounters again;
        QTRY_VERIFY_WITH_TIMEOUT(
            (again = m_table.counters(), again[u"eth0"_s].rx > after[u"eth0"_s].rx), 5000);
        QCOMPARE(trafficDelta(trafficCounters(after), trafficCounters(again)), TrafficDelta{});
    }
};

QTEST_GUILESS_MAIN(TestLinuxNetwork)
#include "tst_linuxnetwork.moc"
