#include "desktopsession.h"
#include "interfacerules.h"
#include "platform/dnsconfig_linux.h"
#include "platform/linkstatistics_linux.h"
#include "platform/loginitem_linux.h"
#include "testhelpers.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <array>

#include <linux/rtnetlink.h>
#include <sys/socket.h>

Q_DECLARE_METATYPE(velmora::InterfaceAddress)
Q_DECLARE_METATYPE(velmora::LinkDumpPart)

using namespace velmora;
using namespace Qt::StringLiterals;

using Addresses = QList<InterfaceAddress>;
using Status = LoginItem::Status;

namespace {

// An entry of resolved's DNS property, a(iiay).
struct ResolvedServer
{
    int ifindex = 0;
    int family = AF_INET;
    QByteArray address;
};

QDBusArgument &operator<<(QDBusArgument &argument, const ResolvedServer &server)
{
    argument.beginStructure();
    argument << server.ifindex << server.family << server.address;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ResolvedServer &)
{
    return argument;
}

// systemd-resolved on a bus: its Manager's DNS property as dns, link 2 a default route for
// lookups, link 3 not. On a thread of its own, as the calls it answers block theirs.
class ResolvedStandIn final : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        const QString manager = u"org.freedesktop.resolve1.Manager"_s;
        const QString link = u"/org/freedesktop/resolve1/link/_3"_s; // and the index's digits
        const auto get = [&](const QString &interface, const QString &property) {
            return call.interface() == u"org.freedesktop.DBus.Properties"_s &&
                   call.member() == u"Get"_s &&
                   call.arguments() == QVariantList{interface, property};
        };
        QVariant answer;
        if (call.interface() == manager && call.member() == u"GetLink"_s)
            answer =
                QVariant::fromValue(QDBusObjectPath(link + call.arguments().value(0).toString()));
        else if (call.path() == u"/org/freedesktop/resolve1"_s && get(manager, u"DNS"_s))
            answer = QVariant::fromValue(QDBusVariant(dns));
        else if (call.path().startsWith(link) &&
                 get(u"org.freedesktop.resolve1.Link"_s, u"DefaultRoute"_s))
            answer = QVariant::fromValue(QDBusVariant(call.path() == link + u'2'));
        else
            return false;
        return bus.send(call.createReply(answer));
    }

    QVariant dns;
};

} // namespace

Q_DECLARE_METATYPE(ResolvedServer)

// The model's rules and files: which interfaces count, their address and traffic, the DNS
// servers as the system's files name them, and the autostart entry for launch at login.
class TestModelRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countsTraffic()
    {
        for (const char *name : {"en0", "pdp_ip0", "eth0", "wlp2s0", "wwan0"})
            QVERIFY2(velmora::countsTraffic(QString::fromLatin1(name)), name);
        for (const char *name : {"lo", "veth1", "pdp_i", "EN0"})
            QVERIFY2(!velmora::countsTraffic(QString::fromLatin1(name)), name);
    }

    // The local address shown, and whether a VPN is likely.
    void localAddressAndVpn_data()
    {
        QTest::addColumn<Addresses>("addresses");
        QTest::addColumn<QString>("localIP");
        QTest::addColumn<bool>("vpn");
        QTest::newRow("bridge100, eth0: preferred wherever listed")
            << Addresses{{u"bridge100"_s, u"192.168.2.1"_s}, {u"eth0"_s, u"10.0.0.7"_s}}
            << u"10.0.0.7"_s << false;
        QTest::newRow("wg0, tun0, tap0, ppp0") << Addresses{{u"wg0"_s, u"10.9.0.2"_s},
                                                            {u"tun0"_s, u"10.1.0.2"_s},
                                                            {u"tap0"_s, u"10.1.1.2"_s},
                                                            {u"ppp0"_s, u"100.64.0.9"_s}}
                                               << u"100.64.0.9"_s << true;
        // Beside the loopback, which never counts: a VPN by its name or its kernel link kind.
        const auto office = [](const QString &name, const QString &kind, bool vpn) {
            QTest::addRow("%s, kind '%s'", qPrintable(name), qPrintable(kind))
                << Addresses{{u"lo"_s, u"127.0.0.1"_s}, {name, u"10.8.0.2"_s, kind}}
                << u"10.8.0.2"_s << vpn;
        };
        office(u"zt7nnig26"_s, u"veth"_s, true);
        for (const QString &kind : {u"wireguard"_s, u"tun"_s})
            office(u"office"_s, kind, true);
        for (const QString &kind : {QString(), u"tunnel"_s, u"wireguard0"_s})
            office(u"office"_s, kind, false);
    }

    void localAddressAndVpn()
    {
        QFETCH(Addresses, addresses);
        QFETCH(QString, localIP);
        QFETCH(bool, vpn);
        QCOMPARE(chooseLocalIP(addresses).value_or(QString()), localIP);
        QCOMPARE(velmora::vpnLikely(addresses), vpn);
    }

    void trafficDelta_data()
    {
        QTest::addColumn<InterfaceCounters>("previous");
        QTest::addColumn<InterfaceCounters>("current");
        QTest::addColumn<QList<quint64>>("moved"); // received, sent
        constexpr quint32 top = 0xFFFF'FFFF;
        QTest::newRow("wrapped: 2^32 - 296 to 500")
            << InterfaceCounters{{u"en0"_s, {top - 295, top}}}
            << InterfaceCounters{{u"en0"_s, {500, 0}}} << QList<quint64>{796, 1};
        QTest::newRow("sum past 32 bits, names in one sample only")
            << InterfaceCounters{{u"en0"_s, {0, 0}}, {u"wlan0"_s, {10, 0}}, {u"en5"_s, {1, 1}}}
            << InterfaceCounters{{u"en0"_s, {top, 3}}, {u"wlan0"_s, {9, 4}}, {u"en6"_s, {9, 9}}}
            << QList<quint64>{2ULL * top, 7};
        // 64-bit counts (the kernel's): beyond 2^32 in one sample, and on a link whose counts
        // were reset.
        QTest::newRow("64-bit: beyond 2^32, reset")
            << InterfaceCounters{{u"en0"_s, {9, 1, 2, true}}, {u"eth0"_s, {1000, 1000, 4, true}}}
            << InterfaceCounters{{u"en0"_s, {5'000'000'009, 1, 2, true}},
                                 {u"eth0"_s, {10, 2000, 4, true}}}
            << QList<quint64>{5'000'000'000, 1000};
    }

    void trafficDelta()
    {
        QFETCH(InterfaceCounters, previous);
        QFETCH(InterfaceCounters, current);
        QFETCH(QList<quint64>, moved);
        const TrafficDelta delta = velmora::trafficDelta(previous, current);
        QCOMPARE((QList<quint64>{delta.received, delta.sent}), moved);
    }

    void linkDump_data() // answers to dump 1; index 7 is named en7 beforehand
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<LinkDumpPart>("part");
        QTest::addColumn<bool>("namesStale");
        QTest::addColumn<InterfaceCounters>("counters");
        // Netlink messages and attributes: a header, then the body padded to four bytes.
        const auto framed = [](const auto &head, const QByteArray &body) {
            return QByteArray(reinterpret_cast<const char *>(&head), sizeof head) + body +
                   QByteArray(-body.size() & 3, 0);
        };
        const auto message = [&](quint16 type, const QByteArray &body, quint32 seq = 1) {
            return framed(nlmsghdr{quint32(NLMSG_LENGTH(body.size())), type, 0, seq, 0}, body);
        };
        const auto attribute = [&](quint16 type, const auto &body) {
            return framed(rtattr{quint16(RTA_LENGTH(sizeof body)), type}, framed(body, {}));
        };
        const auto link = [&](int index, const QByteArray &attributes, quint32 seq = 1) {
            return message(RTM_NEWLINK, framed(ifinfomsg{0, 0, 0, index, 0, 0}, attributes), seq);
        };
        // Statistics: received and sent bytes are the third and fourth counts.
        const std::array<quint64, sizeof(rtnl_link_stats64) / 8> big{0, 0, 1ULL << 40, 6};
        const std::array<quint32, sizeof(rtnl_link_stats) / 4> small{0, 0, 7, 8};
        const QByteArray en0 = attribute(IFLA_IFNAME, "en0"), wide = attribute(IFLA_STATS64, big);
        const QByteArray counted = attribute(IFLA_STATS_LINK_64, big);
        QTest::newRow("64-bit counts, 32-bit ones, a short message, the end")
            << link(2, en0 + wide) +
                   link(3, attribute(IFLA_IFNAME, "en1") + attribute(IFLA_STATS, small)) +
                   message(RTM_NEWLINK, "ab") + message(NLMSG_DONE, QByteArray(4, 0))
            << LinkDumpPart::done << false
            << InterfaceCounters{{u"en0"_s, {1ULL << 40, 6, 2, true}},
                                 {u"en1"_s, {7, 8, 3, false}}};
        QTest::newRow("statistics too short, cut short; statistics "
                      "of a named index and of an unnamed one; an error")
            << link(4, en0 + attribute(IFLA_STATS64, small)) + link(6, en0 + wide.first(20)) +
                   message(RTM_NEWSTATS, framed(if_stats_msg{0, 0, 0, 7, 0}, counted)) +
                   message(RTM_NEWSTATS, framed(if_stats_msg{0, 0, 0, 9, 0}, counted)) +
                   message(NLMSG_ERROR, framed(nlmsgerr{-1, {}}, {}))
            << LinkDumpPart::failed << true
            << InterfaceCounters{{u"en7"_s, {1ULL << 40, 6, 7, true}}};
        QTest::newRow("link news, another dump's answer, a message beyond the datagram")
            << link(8, en0, 0) + link(8, en0 + wide, 99) + link(8, en0 + wide).chopped(8)
            << LinkDumpPart::failed << true << InterfaceCounters{};
    }

    void linkDump()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(LinkDumpPart, part);
        QFETCH(bool, namesStale);
        QFETCH(InterfaceCounters, counters);
        QHash<int, QString> names{{7, u"en7"_s}};
        LinkDump dump{.counters = {}, .names = &names, .namesStale = false};
        QCOMPARE(readLinkDump(datagram, 1, dump), part);
        QCOMPARE(dump.counters, counters);
        QCOMPARE(dump.namesStale, namesStale);
    }

    void dnsServers_data()
    {
        QTest::addColumn<QByteArray>("resolvConf"); // null: a link to /dev/zero, which never ends
        QTest::addColumn<QVariant>("dns"); // resolved's DNS property; none: resolved not on the bus
        QTest::addColumn<QStringList>("servers");
        // The upstream file, as resolved writes it, names 192.168.1.1 and 2001:db8::1.
        const QStringList upstream{u"192.168.1.1"_s, u"2001:db8::1"_s};
        const QByteArray stub = "nameserver 127.0.0.53\n"_ba;
        using Servers = QList<ResolvedServer>;

        QTest::newRow("comments, other keywords, tabs, CRLF, zones, trailing text")
            << "# nameserver 1.1.1.1\n; nameserver 1.0.0.1\nsearch "
               "lan\nnameserver\t2001:db8::53\r\n"
               "nameserver fe80::1%wlp2s0  # link\n"_ba
            << QVariant() << QStringList{u"2001:db8::53"_s, u"fe80::1%wlp2s0"_s};
        // As the C library reads them, none of these names a server.
        QTest::newRow("not nameserver lines")
            << " nameserver 10.0.0.5\nnameservers 10.0.0.6\nnameserver10.0.0.7\n"
               "nameserver dns.example\nnameserver 300.1.1.1\nnameserver 1.2.3\n"
               "nameserver fe80::1%a/b\nnameserver <b>1.1.1.1</b>\n"_ba
            << QVariant() << QStringList();
        QTest::newRow("binary garbage") << "\x7f"
                                           "ELF\x02\x01\0\0\nnameserver 10.0.0.1\n\xff"_ba
                                        << QVariant() << QStringList();
        QTest::newRow("too large")
            << "nameserver 10.0.0.1\n"_ba + QByteArray(ResolvConfDnsConfig::maxFileBytes, '#')
            << QVariant() << QStringList();
        QTest::newRow("endless device") << QByteArray() << QVariant() << QStringList();
        QTest::newRow("resolved: global, default-route link")
            << stub
            << QVariant::fromValue(
                   Servers{{0, AF_INET, "\x09\x09\x09\x09"_ba},
                           {3, AF_INET, "\x0a\x00\x00\x03"_ba},
                           {2, AF_INET6, QByteArray::fromHex("20010db8000200000000000000000001")},
                           {2, AF_INET, "\x0a\x00\x00\x01"_ba}})
            << QStringList{u"9.9.9.9"_s, u"2001:db8:2::1"_s, u"10.0.0.1"_s};
        QTest::newRow("resolved: IPv4 address in 3 bytes")
            << stub << QVariant::fromValue(Servers{{2, AF_INET, "\x0a\x00\x01"_ba}}) << upstream;
    }

    void dnsServers()
    {
        QFETCH(QByteArray, resolvConf);
        QFETCH(QVariant, dns);
        QFETCH(QStringList, servers);
        QTest::failOnWarning(QRegularExpression(u"."_s)); // an answer misread says so
        qDBusRegisterMetaType<ResolvedServer>();
        qDBusRegisterMetaType<QList<ResolvedServer>>();
        DesktopSession session; // its bus stands in for the system bus
        DESKTOP_SESSION_START(session, Bus);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        QDBusConnection resolved = QDBusConnection::connectToBus(session.busAddress(), tag);
        ResolvedStandIn standIn;
        standIn.dns = dns;
        QVERIFY(resolved.registerVirtualObject(u"/org/freedesktop/resolve1"_s, &standIn,
                                               QDBusConnection::SubPath));
        QThread thread;
        standIn.moveToThread(&thread);
        thread.start();
        const auto stop = qScopeGuard([&] { thread.quit(), thread.wait(); });
        QVERIFY(!dns.isValid() || resolved.registerService(u"org.freedesktop.resolve1"_s));

        QTemporaryDir dir;
        const QString paths[] = {dir.filePath(u"resolv.conf"_s), dir.filePath(u"upstream"_s)};
        QVERIFY(resolvConf.isNull() ? test::makeOddFile(paths[0], S_IFLNK)
                                    : test::writeFile(paths[0], resolvConf));
        QVERIFY(test::writeFile(paths[1], "nameserver 192.168.1.1\nnameserver 2001:db8::1\n"));
        const auto bus = QDBusConnection::connectToBus(session.busAddress(), tag + u'2');
        QCOMPARE(ResolvConfDnsConfig(paths[0], paths[1], bus).servers(), servers);
    }

    void existingAutostartEntry_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Status>("status");
        QTest::addColumn<bool>("ours"); // removed by unregistering
        const QByteArray entry = "[Desktop Entry]\nType=Application\nExec=@\n";
        QTest::newRow("none") << QByteArray() << Status::notRegistered << true;
        QTest::newRow("hidden") << entry + "Hidden=true\n" << Status::requiresApproval << true;
        QTest::newRow("spaces, arguments, key of another group")
            << "[Desktop Entry]\nExec = @ --hidden %u\n[Desktop Action quit]\nHidden=true\n"_ba
            << Status::enabled << true;
        QTest::newRow("another program")
            << "[Desktop Entry]\nExec=/usr/bin/other\n"_ba << Status::notRegistered << false;
        QTest::newRow("ours, program gone")
            << "[Desktop Entry]\nExec=@\n"_ba << Status::notFound << false;
    }

    void existingAutostartEntry()
    {
        QFETCH(QByteArray, content);
        QFETCH(Status, status);
        QFETCH(bool, ours);
        QTemporaryDir dir; // the configuration folder, and bin/ with the program
        const QString program = dir.filePath(u"bin/velmora"_s);
        const QString entryPath = dir.filePath(u"autostart/velmora.desktop"_s);
        QVERIFY(content.isNull() ||
                test::writeFile(entryPath, content.replace('@', program.toUtf8())));
        const bool gone = status == Status::notFound;
        QVERIFY(gone || test::writeFile(program, "#!/bin/sh\n", true));

        // While the program is gone, both changes are refused and the entry stays as it is.
        XdgAutostartLoginItem autostart({.programPath = program, .configHome = dir.path()});
        QCOMPARE(autostart.status(), status);
        QCOMPARE(bool(autostart.unregisterItem()), !gone);
        QCOMPARE(test::readFile(entryPath), ours ? QByteArray() : content);
        QCOMPARE(bool(autostart.registerItem()), !gone); // else a fresh entry, whatever was there
        QCOMPARE(autostart.status(), gone ? status : Status::enabled);
        QVERIFY(test::readFile(entryPath).startsWith(
            gone ? content : "[Desktop Entry]\nType=Application\n"_ba));
    }
};

QTEST_GUILESS_MAIN(TestModelRules)
#include "tst_modelrules.moc"
