// The model unattended on a real kernel: a private network namespace whose default route
// comes and goes, with the geolocation providers stood in for by a local server.

#include "appmodel.h"
#include "fakeservices.h"
#include "flag.h"
#include "platform/dnsconfig_linux.h"
#include "platform/interfacetable_linux.h"
#include "platform/pathmonitor_linux.h"
#include "privatenetwork.h"
#include "testhelpers.h"
#include "testserver.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString em = u"\u2014"_s;

// Both providers' requests go to the local stand-in, through the real live fetch.
Fetch towards(const TestServer &server)
{
    return [&server](QUrl url) { return GeoClient::liveFetch(server.url(url.path().toUtf8())); };
}

} // namespace

class TestModelOnline : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheNetwork()
    {
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
        VERIFY_IP(
            u"link set lo up\nlink add eth0 type veth peer name peer0\nlink set eth0 up\n"
            "link set peer0 up\naddr add 10.99.0.2/24 dev eth0\naddr add 10.99.0.1/24 dev peer0\n"_s);

        // What the providers say: the public address, or nothing reachable (503).
        std::atomic<int> phase = 0;
        TestServer server;
        server.setHandler([&phase](const TestServer::Request &request) {
            TestServer::Response response;
            if (phase == 2) {
                response.status = 503;
                return response;
            }
            const bool primary = request.path == "/";
            response.body = primary
                                ? (phase == 0 ? R"({"ip":"203.0.113.1","country_code":"DE"})"_ba
                                              : R"({"ip":"198.51.100.2","country_code":"TR"})"_ba)
                                : R"({"error":true})"_ba;
            return response;
        });
        QVERIFY(server.isListening());

        QTemporaryDir etc;
        const QString resolv = etc.filePath(u"resolv.conf"_s);
        QVERIFY(test::writeFile(resolv, "nameserver 192.0.2.53\nnameserver 2001:db8::53\n"));

        fakes::Rig fakes; // for what this test does not exercise; the real pieces replace the rest
        AppModel::Services services = fakes.services({.refreshInterval = 3'600s,
                                                      .trafficInterval = 1s,
                                                      .pathSettle = 500ms,
                                                      .copiedFor = 1s});
        services.client = GeoClient(towards(server));
        services.monitor =
            std::make_unique<NetlinkPathMonitor>(NetlinkPathMonitor::Options{.settleDelay = 100ms});
        services.interfaces = std::make_unique<GetifaddrsInterfaceTable>();
        services.dns = std::make_unique<ResolvConfDnsConfig>(resolv, etc.filePath(u"none"_s));

        AppModel model(std::move(services));
        QStringList changes;
        model.setOnIPChange(
            [&](const GeoInfo &old, const GeoInfo &now) { changes << old.ip + u'>' + now.ip; });
        QCOMPARE(model.connectionType(), em);

        // No default route yet.
        QTRY_COMPARE_WITH_TIMEOUT(model.connectionType(), u"Offline"_s, 3000);
        QVERIFY(!model.isOnline());
        QCOMPARE(model.localIP(), u"10.99.0.2"_s);
        QCOMPARE(model.dnsServers(), (QStringList{u"192.0.2.53"_s, u"2001:db8::53"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(model.geoState().kind(), GeoState::Kind::loaded, 5000);
        QCOMPARE(model.lastGeo()->ip, u"203.0.113.1"_s);

        // Online over Ethernet; the address has changed meanwhile.
        phase = 1;
        QTRY_VERIFY_WITH_TIMEOUT(!model.isRefreshing(), 5000);
        VERIFY_IP(u"route add default via 10.99.0.1 dev eth0\n"_s);
        QTRY_VERIFY_WITH_TIMEOUT(model.isOnline(), 3000);
        QCOMPARE(model.connectionType(), u"Ethernet"_s);
        QTRY_COMPARE_WITH_TIMEOUT(model.lastGeo()->ip, u"198.51.100.2"_s, 5000);
        QCOMPARE(changes, QStringList{u"203.0.113.1>198.51.100.2"_s});
        QCOMPARE(model.menuBarLabel(), Flag::emoji(u"TR"_s));

        // The peer goes away: the route stays, but leads nowhere; the lookup that follows says so.
        phase = 2;
        VERIFY_IP(u"link set peer0 down\n"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!model.isOnline(), 5000);
        QCOMPARE(model.connectionType(), u"Ethernet"_s);
        QTRY_COMPARE_WITH_TIMEOUT(model.geoState().kind(), GeoState::Kind::failed, 5000);
        QCOMPARE(model.geoState().message(), u"No network connection"_s);
        QCOMPARE(model.lastGeo()->ip, u"198.51.100.2"_s);
        QCOMPARE(model.menuBarLabel(), Flag::offline());
        QCOMPARE(changes.size(), 1);

        VERIFY_IP(u"route del default\n"_s);
        QTRY_COMPARE_WITH_TIMEOUT(model.connectionType(), u"Offline"_s, 5000);
    }
};

PRIVATE_NETWORK_TEST_MAIN(TestModelOnline)
#include "tst_modelonline.moc"
