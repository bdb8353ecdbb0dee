#include "platform/pathmonitor_linux.h"
#include "privatenetwork.h"
#include "testhelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Kind = NetlinkPathMonitor::InterfaceKind;

namespace velmora {
char *toString(const NetworkPath &p)
{
    return QTest::toString(u"{satisfied %1, wifi %2, wired %3, cellular %4, [%5]}"_s.arg(
        QString::number(p.satisfied), QString::number(p.usesWifi),
        QString::number(p.usesWiredEthernet), QString::number(p.usesCellular),
        p.interfaces.join(u", "_s)));
}
} // namespace velmora

namespace {

// peer0 is the far end of en0: downing it takes en0's carrier.
const QString en0 = u"link add en0 type veth peer name peer0\nlink set en0 up\nlink set peer0 up\n"
                    "addr add 10.1.0.1/24 dev en0\n"_s;
constexpr auto settle = 100ms;
constexpr int boundMs = 3000; // on every wait for a report that must come

NetworkPath wired(bool satisfied, const QStringList &interfaces = {})
{
    return {satisfied, false, !interfaces.isEmpty(), false, interfaces};
}

NetworkPath lastReport(const QSignalSpy &spy)
{
    return spy.isEmpty() ? NetworkPath{} : spy.last().at(0).value<NetworkPath>();
}

std::unique_ptr<NetlinkPathMonitor> startMonitor(NetlinkPathMonitor::Options options = {
                                                     .settleDelay = settle})
{
    auto monitor = std::make_unique<NetlinkPathMonitor>(std::move(options));
    monitor->start();
    return monitor;
}

quint64 netlinkDrops() // the most any netlink socket of the namespace has dropped
{
    quint64 drops = 0;
    for (const QByteArray &line : test::readFile(u"/proc/net/netlink"_s).split('\n'))
        drops = std::max(drops, line.simplified().split(' ').value(8).toULongLong());
    return drops;
}

} // namespace

class TestPathMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void interfaceKind()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(u"net"_s);
        QVERIFY(QDir().mkpath(root + u"/wl/wireless"_s)); // phy80211, uevent: kindsFromSysfsRoot
        QVERIFY(test::writeFile(root + u"/tun/type"_s, "65534\n"));
        QVERIFY(test::writeFile(dir.filePath(u"x/type"_s), "1\n")); // outside the root
        QCOMPARE(NetlinkPathMonitor::interfaceKind(root, u"wl"_s), Kind::wifi);
        QCOMPARE(NetlinkPathMonitor::interfaceKind(root, u"tun"_s), Kind::other);
        QCOMPARE(NetlinkPathMonitor::interfaceKind(root, u"../x"_s), Kind::other);
    }

    void init()
    {
        if (!test::noPrivateNetwork.isEmpty() &&
            qstrcmp(QTest::currentTestFunction(), "interfaceKind") != 0)
            QSKIP(qPrintable(test::noPrivateNetwork));
    }

    void cleanup()
    {
        test::ip(u"link del en0\nlink del en1\nlink del wlan0\nlink del wwan0\n"
                 "route flush table 100\nroute del unreachable ::/0\n"_s);
    }

    void firstReportShowsState_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<NetworkPath>("expected");
        const QStringList onEn0{u"en0"_s};
        QTest::newRow("no default route") << en0 << wired(false);
        QTest::newRow("IPv4 default")
            << en0 + u"route add default via 10.1.0.2\n"_s << wired(true, onEn0);
        QTest::newRow("IPv6 default") << en0 + u"route add ::/0 dev en0\n"_s << wired(true, onEn0);
        QTest::newRow("other table")
            << en0 + u"route add default dev en0 table 100\n"_s << wired(false);
        QTest::newRow("unreachable") << en0 + u"route add unreachable ::/0\n"_s << wired(false);
        // As Wi-Fi before authentication: carrier and an unflagged route, but not running.
        QTest::newRow("dormant") << QString(en0).replace(u"en0 up"_s, u"en0 mode dormant up"_s) +
                                        u"route add default dev en0\n"_s
                                 << wired(false, onEn0);
        QTest::newRow("multipath, one leg down")
            << en0 + u"link add en1 type veth peer name peer1\nlink set en1 up\n"
                     "route add default nexthop dev en0 nexthop dev en1\n"_s
            << wired(true, {u"en0"_s, u"en1"_s});
    }

    void firstReportShowsState()
    {
        QFETCH(QString, setup);
        QFETCH(NetworkPath, expected);
        VERIFY_IP(setup);
        // Carrier changes reach flags and routes through the kernel's link watcher, later.
        QVERIFY(QTest::qWaitFor(
            [&] { return NetlinkPathMonitor::readPath(u"/sys/class/net"_s) == expected; },
            boundMs));
        const auto monitor = startMonitor();
        QSignalSpy reports(monitor.get(), &PathMonitor::pathChanged);
        QVERIFY(reports.isEmpty()); // never from within start()
        QVERIFY(reports.wait(boundMs));
        QCOMPARE(lastReport(reports), expected);
    }

    void reportsChangesOnly()
    {
        VERIFY_IP(en0);
        const auto monitor = startMonitor();
        QSignalSpy reports(monitor.get(), &PathMonitor::pathChanged);
        QVERIFY(reports.wait(boundMs));
        const std::pair<QString, std::optional<NetworkPath>> steps[] = {
            {u"addr add 10.5.0.1/24 dev en0\nroute add 10.9.0.0/16 via 10.1.0.9\n"_s, std::nullopt},
            // A burst: the path flips twice within the settling delay, one report.
            {u"route add ::/0 dev en0\nroute del ::/0\nroute add default via 10.1.0.2\n"_s,
             wired(true, {u"en0"_s})},
            {u"link set peer0 down\n"_s, wired(false, {u"en0"_s})},
            {u"link set peer0 up\n"_s, wired(true, {u"en0"_s})},
            {u"link set en0 down\n"_s, wired(false)}, // the route goes without notification
            {u"link set en0 up\n"_s, std::nullopt},
        };
        for (const auto &[change, expected] : steps) {
            QElapsedTimer sinceChange;
            sinceChange.start();
            VERIFY_IP(change);
            QVERIFY2(reports.wait(expected ? boundMs : 4 * int(settle.count())) ==
                         expected.has_value(),
                     qPrintable(change));
            if (expected) // coarse timers fire up to 5 % early
                QCOMPARE_GE(sinceChange.elapsed(), settle.count() * 95 / 100);
            QCOMPARE(lastReport(reports), expected.value_or(lastReport(reports)));
        }
        QCOMPARE(reports.size(), 5);
    }

    void kindsFromSysfsRoot()
    {
        QTemporaryDir sysfs; // describes real links as Wi-Fi, modem and Ethernet
        QVERIFY(QDir().mkpath(sysfs.filePath(u"wlan0/phy80211"_s)));
        QVERIFY(test::writeFile(sysfs.filePath(u"wwan0/uevent"_s), "DEVTYPE=wwan\n"));
        QVERIFY(test::writeFile(sysfs.filePath(u"en0/type"_s), "1\n"));
        VERIFY_IP(
            en0 +
            u"link add wlan0 type veth peer name wlan0p\nlink set wlan0p up\n"
            "link add wwan0 type veth peer name wwan0p\nlink set wwan0p up\nlink set wlan0 up\n"
            "link set wwan0 up\nroute add default dev wlan0 metric 1\n"
            "route add default dev wwan0 metric 2\nroute add default dev en0 metric 3\n"_s);
        const auto monitor = startMonitor({.settleDelay = settle, .sysfsNetRoot = sysfs.path()});
        QSignalSpy reports(monitor.get(), &PathMonitor::pathChanged);
        const NetworkPath expected{true, true, true, true, {u"en0"_s, u"wlan0"_s, u"wwan0"_s}};
        QTRY_COMPARE_WITH_TIMEOUT(lastReport(reports), expected, boundMs);
    }

    void overflowIsNotSilence()
    {
        VERIFY_IP(en0);
        const auto monitor =
            startMonitor({.settleDelay = settle, .receiveBufferBytes = 1}); // the least allowed
        QSignalSpy reports(monitor.get(), &PathMonitor::pathChanged);
        QVERIFY(reports.wait(boundMs));
        const quint64 dropsBefore = netlinkDrops();
        // Notifications pile up while the event loop waits for ip, and are lost.
        QString storm;
        for (int i = 1; i <= 200; ++i)
            storm += u"addr add 10.7.0.%1/32 dev en0\n"_s.arg(i);
        VERIFY_IP(storm + u"route add default via 10.1.0.2\n"_s);
        QVERIFY(reports.wait(boundMs));
        QVERIFY2(netlinkDrops() > dropsBefore, "the notification socket did not overflow");
        QCOMPARE(lastReport(reports), wired(true, {u"en0"_s}));
        VERIFY_IP(u"route del default\n"_s);
        QVERIFY(reports.wait(boundMs)); // still listening
        QCOMPARE(lastReport(reports), wired(false));
    }
};

PRIVATE_NETWORK_TEST_MAIN(TestPathMonitor)
#include "tst_pathmonitor.moc"
