#include "interfacerules.h"
#include "platform/interfacetable_linux.h"
#include "privatenetwork.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTest>
#include <QUdpSocket>

Q_DECLARE_METATYPE(velmora::InterfaceAddress)

using namespace velmora;
using namespace Qt::StringLiterals;

using Addresses = QList<InterfaceAddress>;

// eth0 holds no address: frames for its neighbour entry cross the pair and go no further.
const QString veth = u"link add en0 type veth peer name eth0\nlink set lo up\nlink set en0 up\n"
                     "link set eth0 up\naddr add 10.1.0.1/24 dev en0\n"_s;

class TestInterfaceTable : public QObject
{
    Q_OBJECT

    GetifaddrsInterfaceTable m_table;

private Q_SLOTS:
    void init()
    {
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
    }

    void cleanup() { test::ip(u"link del en0\nlink del wg0\nlink del tun0\n"_s); }

    void countersFollowRealTraffic()
    {
        // Nothing but the test's frames on the pair: no IPv6 chatter, no address resolution.
        QFile noIPv6(u"/proc/sys/net/ipv6/conf/default/disable_ipv6"_s);
        QVERIFY(noIPv6.open(QIODevice::WriteOnly) && noIPv6.write("1") == 1);
        noIPv6.close();
        VERIFY_IP(veth + u"tuntap add tun0 mode tun\n"_s); // no hardware address, no ifa_addr
        QFile mac(u"/sys/class/net/eth0/address"_s);
        QVERIFY(mac.open(QIODevice::ReadOnly));
        VERIFY_IP(u"neigh add 10.1.0.2 lladdr %1 dev en0 nud permanent\n"_s.arg(
            QString::fromLatin1(mac.readAll().trimmed())));

        const InterfaceCounters before = m_table.counters();
        QStringList names = before.keys();
        names.sort();
        QCOMPARE(names, (QStringList{u"en0"_s, u"eth0"_s, u"lo"_s, u"tun0"_s}));
        constexpr int count = 50;
        const QByteArray payload(1000, 'v');
        QUdpSocket out;
        QUdpSocket loopback; // real traffic, but never counted
        QVERIFY(out.bind(QHostAddress(u"10.1.0.1"_s)) && loopback.bind(QHostAddress::LocalHost));
        for (int i = 0; i < count; ++i) {
            QCOMPARE(out.writeDatagram(payload, QHostAddress(u"10.1.0.2"_s), 9), payload.size());
            QCOMPARE(loopback.writeDatagram(payload, QHostAddress::LocalHost, loopback.localPort()),
                     payload.size());
        }
        // Ethernet, IPv4 and UDP headers on each frame; loopback has no Ethernet header.
        const quint64 bytes = count * quint64(14 + 20 + 8 + payload.size());
        InterfaceCounters after;
        QTRY_VERIFY_WITH_TIMEOUT(
            (after = m_table.counters(), after[u"eth0"_s].rx - before[u"eth0"_s].rx >= bytes),
            5000);
        QVERIFY(after[u"lo"_s].tx - before[u"lo"_s].tx >= bytes - count * 14);
        const TrafficDelta delta = trafficDelta(trafficCounters(before), trafficCounters(after));
        QCOMPARE(delta.sent, bytes);
        QCOMPARE(delta.received, bytes);
    }

    void upIPv4Addresses_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<Addresses>("addresses");
        const InterfaceAddress lo{u"lo"_s, u"127.0.0.1"_s};
        QTest::newRow("lo, wg0, en0 twice")
            << u"link add wg0 type veth peer name wg0p\nlink set wg0 up\naddr add 10.8.0.2/32 dev wg0\n"_s +
                   veth + u"addr add 10.2.0.1/24 dev en0 label en0:1\n"_s
            << Addresses{lo,
                         {u"wg0"_s, u"10.8.0.2"_s},
                         {u"en0"_s, u"10.1.0.1"_s},
                         {u"en0:1"_s, u"10.2.0.1"_s}};
        QTest::newRow("en0 down") << veth + u"link set en0 down\n"_s << Addresses{lo};
    }

    void upIPv4Addresses()
    {
        QFETCH(QString, setup);
        QFETCH(Addresses, addresses);
        VERIFY_IP(setup);
        QCOMPARE(m_table.upIPv4Addresses(), addresses);
    }
};

PRIVATE_NETWORK_TEST_MAIN(TestInterfaceTable)
#include "tst_interfacetable.moc"
