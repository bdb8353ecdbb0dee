#include "interfacerules.h"

#include <QTest>

Q_DECLARE_METATYPE(velmora::CounterPair)
Q_DECLARE_METATYPE(velmora::InterfaceAddress)

using namespace velmora;
using namespace Qt::StringLiterals;

using Addresses = QList<InterfaceAddress>;

class TestInterfaceRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countsTraffic()
    {
        for (const char *name : {"en0", "enp3s0", "pdp_ip0", "eth0", "wlp2s0", "wwan0"})
            QVERIFY2(velmora::countsTraffic(QString::fromLatin1(name)), name);
        for (const char *name :
             {"lo", "utun0", "tun0", "wg0", "bridge100", "veth1", "pdp_i", "EN0"})
            QVERIFY2(!velmora::countsTraffic(QString::fromLatin1(name)), name);
        QCOMPARE(trafficCounters({{u"en0"_s, {1, 2}}, {u"lo"_s, {3, 4}}}).keys(),
                 QStringList{u"en0"_s});
    }

    void localAddressAndVpn_data()
    {
        QTest::addColumn<Addresses>("addresses");
        QTest::addColumn<QString>("localIP");
        QTest::addColumn<bool>("vpn");
        const InterfaceAddress lo0{u"lo0"_s, u"127.0.0.1"_s},
            bridge{u"bridge100"_s, u"192.168.2.1"_s};
        QTest::newRow("lo0, utun2")
            << Addresses{lo0, {u"utun2"_s, u"10.8.0.3"_s}} << u"—"_s << true;
        QTest::newRow("lo0, bridge100") << Addresses{lo0, bridge} << bridge.address << false;
        for (const char *name : {"en0", "eth0", "wlp2s0"}) // preferred wherever listed
            QTest::addRow("bridge100, %s", name)
                << Addresses{bridge, {QString::fromLatin1(name), u"10.0.0.7"_s}} << u"10.0.0.7"_s
                << false;
        QTest::newRow("wg0, tun0, tap0, ppp0") << Addresses{{u"wg0"_s, u"10.9.0.2"_s},
                                                            {u"tun0"_s, u"10.1.0.2"_s},
                                                            {u"tap0"_s, u"10.1.1.2"_s},
                                                            {u"ppp0"_s, u"100.64.0.9"_s}}
                                               << u"100.64.0.9"_s << true;
    }

    void localAddressAndVpn()
    {
        QFETCH(Addresses, addresses);
        QFETCH(QString, localIP);
        QFETCH(bool, vpn);
        QCOMPARE(chooseLocalIP(addresses), localIP);
        QCOMPARE(vpnLikely(addresses), vpn);
    }

    void trafficDelta_data()
    {
        QTest::addColumn<InterfaceCounters>("previous");
        QTest::addColumn<InterfaceCounters>("current");
        QTest::addColumn<quint64>("received");
        QTest::addColumn<quint64>("sent");
        constexpr quint32 top = 0xFFFF'FFFF;
        QTest::newRow("wrapped: 2^32 - 296 to 500")
            << InterfaceCounters{{u"en0"_s, {top - 295, top}}}
            << InterfaceCounters{{u"en0"_s, {500, 0}}} << 796ULL << 1ULL;
        QTest::newRow("sum past 32 bits, names in one sample only")
            << InterfaceCounters{{u"en0"_s, {0, 0}}, {u"wlan0"_s, {10, 0}}, {u"en5"_s, {1, 1}}}
            << InterfaceCounters{{u"en0"_s, {top, 3}}, {u"wlan0"_s, {9, 4}}, {u"en6"_s, {9, 9}}}
            << 2ULL * top << 7ULL;
    }

    void trafficDelta()
    {
        QFETCH(InterfaceCounters, previous);
        QFETCH(InterfaceCounters, current);
        QFETCH(quint64, received);
        QFETCH(quint64, sent);
        const TrafficDelta delta = velmora::trafficDelta(previous, current);
        QCOMPARE(delta.received, received);
        QCOMPARE(delta.sent, sent);
    }
};

QTEST_GUILESS_MAIN(TestInterfaceRules)
#include "tst_interfacerules.moc"
