// Each service fault against the real clients and the services' real names, redirected to local
// stand-ins in private namespaces: what the lookup and the speed test say, and that the next
// attempt recovers once the fault is gone. (The widget looks up through the same client and
// shows any failure alike: tst_widget.)
#include "../model/privatenetwork.h"
#include "geoclient.h"
#include "speedtester.h"
#include "testcertificates.h"
#include "testhelpers.h"
#include "testserver.h"

#include <QTemporaryDir>
#include <QUrlQuery>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

using Response = TestServer::Response;
using Request = TestServer::Request;
enum class Cert { trusted, untrusted, wrongName, nobody };
// What goes wrong: the stand-in's answers, its certificate, the names, or the proxy.
struct Fault
{
    Response answer{}; // as it is, unless its status is 200: then the good answer with its pace
    Cert cert = Cert::trusted;
    bool unresolvable = false;
    QByteArray proxy{};
};

const QByteArray hosts = "127.0.0.1 localhost ipwho.is ipapi.co speed.cloudflare.com\n";

// The stand-ins' answer as the fault spoils it: a status replaces the answer.
Response answer(const Fault &fault, const Request &request)
{
    Response r = fault.answer;
    const QUrl url(QString::fromLatin1(request.path));
    if (r.status == 302)
        r.headers = {{"Location", "http://" + request.header("Host") + request.path}};
    if (r.status != 200)
        return r;
    if (url.path() == "/__down"_L1)
        r.zeros = QUrlQuery(url).queryItemValue(u"bytes"_s).toLongLong();
    else if (url.path() != "/__up"_L1)
        r.body = R"({"ip":"203.0.113.7","country_code":"DE","country":"Germany"})";
    return r;
}

// "ok" or the error of each measurement, one after the other as a speed-test run takes them.
// Stops when the tester is gone.
QCoro::Task<QString> speedRun(std::weak_ptr<SpeedTester> tester)
{
    QStringList steps;
    for (const auto &[name, step] : {std::pair{u"latency "_s, &SpeedMeasurements::latency},
                                     {u"download "_s, &SpeedMeasurements::download},
                                     {u"upload "_s, &SpeedMeasurements::upload}}) {
        const std::shared_ptr<SpeedTester> alive = tester.lock();
        if (!alive)
            break;
        const SpeedOutcome outcome = co_await (alive.get()->*step)();
        steps << name + (outcome ? u"ok"_s : outcome.error());
    }
    co_return steps.join(u", "_s);
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestFaultMatrix : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TestCertificates> m_certificates;

    // The lookup and a speed-test run at once, each bounded: what each says.
    QStringList attempt()
    {
        const GeoClient client;
        const auto tester = std::make_shared<SpeedTester>(SpeedTester::defaultBase(), 2s);
        QCoro::Task<GeoResult> lookup = client.lookup(); // under way at once, beside the run
        // Both providers' 15-second deadlines, and a margin.
        const auto speed = test::awaitWithin(speedRun(tester), 2 * 15'000 + 5000);
        const auto geo = test::awaitWithin(std::move(lookup), 2 * 15'000 + 5000);
        return {!geo              ? u"no end"_s
                : geo->hasValue() ? u"loaded "_s + (*geo)->ip
                                  : u"failed: "_s + geo->error().errorDescription(),
                speed.value_or(u"no end"_s)};
    }

    std::unique_ptr<TestServer> serve(const Fault &fault)
    {
        const std::optional<QSslConfiguration> tls[] = {
            m_certificates->serverConfiguration(), m_certificates->untrustedServerConfiguration(),
            m_certificates->wrongNameServerConfiguration(), std::nullopt};
        if (fault.cert == Cert::nobody)
            return nullptr;
        auto server =
            std::make_unique<TestServer>(tls[int(fault.cert)], QHostAddress::LocalHost, 443);
        server->setHandler([fault](const Request &request) { return answer(fault, request); });
        return server;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
        m_certificates = std::make_unique<TestCertificates>(
            QString::fromLatin1(hosts).trimmed().split(u' ').mid(2));
        QVERIFY2(m_certificates->isValid(), qPrintable(m_certificates->errorString()));
        VERIFY_IP(u"link set lo up\n"_s);
        QVERIFY(test::bindOver(m_dir.filePath(u"hosts"_s), "/etc/hosts", hosts));
        // A name server out of reach: no name resolves but by hosts.
        QVERIFY(test::bindOver(m_dir.filePath(u"resolv.conf"_s), "/etc/resolv.conf",
                               "nameserver 192.0.2.53\n"));
        // Nothing listens on port 80: a request sent in the clear fails its attempt.
        QVERIFY(test::bindOver(m_certificates->caDirectory(), "/etc/ssl/certs"));
    }

    void fault_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("lookup"); // a part of each provider's text
        QTest::addColumn<QString>("speed");  // what the run says, in part

        const QString measured = u"latency ok, download ok, upload ok"_s;
        QTest::newRow("name does not resolve")
            << Fault{.unresolvable = true} << u"not found"_s
            << u"latency Could not resolve host: speed.cloudflare.com"_s;
        QTest::newRow("connection refused")
            << Fault{.cert = Cert::nobody} << u"Connection refused"_s
            << u"latency Failed to connect to speed.cloudflare.com port 443"_s;
        QTest::newRow("reset mid-answer")
            << Fault{.answer = {.resetAfter = 20}} << u"Connection closed"_s << measured;
        QTest::newRow("unknown authority")
            << Fault{.cert = Cert::untrusted} << u"issuer certificate"_s
            << u"latency SSL certificate problem: unable to get local issuer"_s;
        QTest::newRow("wrong host name")
            << Fault{.cert = Cert::wrongName} << u"host name did not match"_s
            << u"latency SSL: no alternative certificate subject name matches"_s;
        QTest::newRow("429") << Fault{.answer = {.status = 429}} << u"HTTP 429 from "_s
                             << u"download Bad server response (HTTP 429)"_s;
        QTest::newRow("redirect to http://")
            << Fault{.answer = {.status = 302}} << u"HTTP 302 from "_s
            << u"latency Refused a redirect to an insecure"_s;
        QTest::newRow("one byte a second") << Fault{.answer = {.sendRate = 1}}
                                           << u"Timed out: no complete answer from"_s << measured;
        QTest::newRow("endless answer")
            << Fault{.answer = {.endless = true}} << u"is larger than 1048576 bytes"_s
            << u"latency Timed out: the request took longer than 10 seconds"_s;
        QTest::newRow("proxy refuses")
            << Fault{.proxy = "http://127.0.0.1:9"} << u"Proxy connection refused"_s
            << u"latency Proxy http://127.0.0.1:9: Failed to connect"_s;
    }

    void fault()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, lookup);
        QFETCH(QString, speed);

        std::unique_ptr<TestServer> server = serve(fault);
        QVERIFY(!server || server->isListening());
        if (fault.unresolvable)
            QVERIFY(test::writeFile(m_dir.filePath(u"hosts"_s), "127.0.0.1 localhost\n"));
        for (const char *name : {"http_proxy", "https_proxy"})
            qputenv(name, fault.proxy);
        const QStringList failed = attempt();

        // The fault goes away.
        QVERIFY(test::writeFile(m_dir.filePath(u"hosts"_s), hosts));
        for (const char *name : {"http_proxy", "https_proxy"})
            qunsetenv(name);
        server.reset(); // frees the port
        server = serve({});
        QVERIFY(server->isListening());
        const QStringList next = attempt();

        // Both providers failed, each for this reason.
        QVERIFY2(failed[0].startsWith(u"failed: Lookup failed: ipwho.is: "_s) &&
                     failed[0].count(lookup) == 2,
                 qPrintable(failed[0]));
        QVERIFY2(failed[1].contains(speed), qPrintable(failed[1]));
        QCOMPARE(next,
                 QStringList({u"loaded 203.0.113.7"_s, u"latency ok, download ok, upload ok"_s}));
    }
};

int main(int argc, char **argv)
{
    test::enterPrivateNetwork(); // before any thread exists
    QCoreApplication app(argc, argv);
    TestFaultMatrix test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_faultmatrix.moc"
