#include "geoclient.h"
#include "networkaccess.h"
#include "testcertificates.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <QCoro/QCoroTask>

#include <atomic>
#include <memory>
#include <optional>

using namespace std::chrono_literals;
using namespace velmora;

Q_DECLARE_METATYPE(velmora::TestServer::Response)

namespace velmora {
// Lets QCOMPARE show what failed.
char *toString(const GeoError &error)
{
    return QTest::toString(
        QStringLiteral("%1: %2").arg(int(error.kind())).arg(error.errorDescription()));
}
} // namespace velmora

namespace {

using Response = TestServer::Response;
using Outcome = std::shared_ptr<std::optional<FetchResult>>;

// Owns nothing but the shared outcome, so a fetch still running after a failed test has
// somewhere valid to write.
QCoro::Task<> fetchInto(QUrl url, Outcome outcome)
{
    *outcome = co_await GeoClient::liveFetch(std::move(url));
}

// liveFetch run to its end, or nothing when it has not ended within bound.
std::optional<FetchResult> fetch(const QUrl &url, std::chrono::milliseconds bound = 10s)
{
    const auto outcome = std::make_shared<std::optional<FetchResult>>();
    // Should this return early, the coroutine runs on by itself.
    [[maybe_unused]] const QCoro::Task<> running = fetchInto(url, outcome);
    if (!QTest::qWaitFor([&] { return outcome->has_value(); }, int(bound.count())))
        return std::nullopt;
    return std::move(*outcome);
}

// What Qt itself reports for a GET of url, to compare transport failures with.
std::pair<QNetworkReply::NetworkError, QString> qtFailure(const QUrl &url)
{
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(10'000))
        return {QNetworkReply::UnknownNetworkError, QStringLiteral("no answer within 10 s")};
    return {reply->error(), reply->errorString()};
}

// For QVERIFY2, which builds its message whether or not the check fails.
QString failureOf(const FetchResult &result)
{
    return result ? QString() : result.error().errorDescription();
}

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

} // namespace

class TestLiveFetch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void success_data();
    void success();
    void requestIsPlainGet();
    void noCaching();
    void failingStatus_data();
    void failingStatus();
    void stalledServerTimesOut();
    void httpsWithTrustedAuthority_data();
    void httpsWithTrustedAuthority();
    void transportFailureKeepsQtText_data();
    void transportFailureKeepsQtText();
    void bodyBound_data();
    void bodyBound();

private:
    std::optional<TestCertificates> m_certificates;
};

void TestLiveFetch::initTestCase()
{
    m_certificates.emplace();
    QVERIFY2(m_certificates->isValid(), qPrintable(m_certificates->errorString()));
    m_certificates->trustInThisProcess();
}

void TestLiveFetch::init()
{
    // Qt warns, for one, when an aborted reply is read.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
}

void TestLiveFetch::success_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QByteArray>("body");

    const QByteArray json = R"({"ip":"192.0.2.1","success":true})";
    QTest::newRow("200 JSON") << Response{.body = json} << json;
    QTest::newRow("every byte value") << Response{.body = everyByteValue()} << everyByteValue();
    QTest::newRow("201") << Response{.status = 201, .body = "made"} << QByteArray("made");
    QTest::newRow("204 empty") << Response{.status = 204} << QByteArray();
    QTest::newRow("299") << Response{.status = 299, .body = "edge"} << QByteArray("edge");
    QTest::newRow("many reads") << Response{.zeros = 600'000} << QByteArray(600'000, '\0');
    QTest::newRow("slowly, in pieces")
        << Response{.body = QByteArray(48 * 1024, 'x'), .sendRate = 256 * 1024}
        << QByteArray(48 * 1024, 'x');
}

void TestLiveFetch::success()
{
    QFETCH(Response, response);
    QFETCH(QByteArray, body);

    TestServer server;
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    server.respond("/json/", response);

    const auto result = fetch(server.url("/json/"));
    QVERIFY(result);
    QVERIFY2(result->hasValue(), qPrintable(failureOf(*result)));
    QCOMPARE(**result, body);
}

void TestLiveFetch::requestIsPlainGet()
{
    TestServer server;
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    server.respond("/json/", {.body = "{}"});

    const auto result = fetch(server.url("/json/?fields=ip,country"));
    QVERIFY(result && result->hasValue());

    const QList<TestServer::Request> requests = server.requests();
    QCOMPARE(requests.size(), 1);
    const TestServer::Request &request = requests.first();
    QCOMPARE(request.method, "GET");
    QCOMPARE(request.path, "/json/?fields=ip,country");
    QCOMPARE(request.header("User-Agent"), "Velmora/1.0");
    QCOMPARE(request.bodyBytes, qint64(0));
}

void TestLiveFetch::noCaching()
{
    TestServer server;
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    auto served = std::make_shared<std::atomic<int>>(0);
    server.setHandler([served](const TestServer::Request &) {
        return Response{.headers = {{"Cache-Control", "public, max-age=3600"},
                                    {"ETag", "\"v1\""},
                                    {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}},
                        .body = QByteArray::number(++*served)};
    });

    const auto first = fetch(server.url());
    const auto second = fetch(server.url());
    QVERIFY(first && first->hasValue());
    QVERIFY(second && second->hasValue());
    // A cached or revalidated answer would repeat "1".
    QCOMPARE(**first, "1");
    QCOMPARE(**second, "2");

    const QList<TestServer::Request> requests = server.requests();
    QCOMPARE(requests.size(), 2);
    QVERIFY(requests[1].header("If-None-Match").isNull());
    QVERIFY(requests[1].header("If-Modified-Since").isNull());
}

void TestLiveFetch::failingStatus_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<int>("status");

    QTest::newRow("300") << Response{.status = 300} << 300;
    QTest::newRow("301 without Location") << Response{.status = 301} << 301;
    QTest::newRow("302 without Location") << Response{.status = 302} << 302;
    QTest::newRow("304 unasked") << Response{.status = 304} << 304;
    QTest::newRow("400") << Response{.status = 400, .body = "bad"} << 400;
    QTest::newRow("403") << Response{.status = 403} << 403;
    QTest::newRow("404") << Response{.status = 404, .body = "not here"} << 404;
    QTest::newRow("429 with a JSON reason")
        << Response{.status = 429, .body = R"({"success":false,"message":"slow down"})"} << 429;
    QTest::newRow("500") << Response{.status = 500} << 500;
    QTest::newRow("503") << Response{.status = 503, .headers = {{"Retry-After", "120"}}} << 503;
    QTest::newRow("599") << Response{.status = 599} << 599;
    // The status is the reason, not the size of the error page that came with it.
    QTest::newRow("404 with an endless body") << Response{.status = 404, .endless = true} << 404;
}

void TestLiveFetch::failingStatus()
{
    QFETCH(Response, response);
    QFETCH(int, status);

    TestServer server;
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    server.respond("/", response);

    const auto result = fetch(server.url());
    QVERIFY(result);
    QVERIFY(!result->hasValue());
    QCOMPARE(result->error(),
             GeoError::badResponse(QStringLiteral("HTTP %1 from 127.0.0.1").arg(status)));
}

void TestLiveFetch::stalledServerTimesOut()
{
    TestServer server;
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    server.respond("/", {.stall = true});

    QElapsedTimer elapsed;
    elapsed.start();
    const auto result = fetch(server.url(), 30s);
    const qint64 msecs = elapsed.elapsed();

    QVERIFY2(result, "liveFetch did not give up on a silent server within 30 s");
    QVERIFY(!result->hasValue());
    QCOMPARE(result->error(), GeoError::transport(QStringLiteral(
                                  "Timed out: no data from 127.0.0.1 for 8 seconds")));
    QVERIFY2(msecs >= 7500 && msecs <= 12'000, qPrintable(QStringLiteral("took %1 ms").arg(msecs)));
    QCOMPARE(server.requests().size(), 1);
}

void TestLiveFetch::httpsWithTrustedAuthority_data()
{
    QTest::addColumn<QString>("host");

    QTest::newRow("by name") << QStringLiteral("localhost");
    QTest::newRow("by address") << QStringLiteral("127.0.0.1");
}

void TestLiveFetch::httpsWithTrustedAuthority()
{
    QFETCH(QString, host);

    TestServer server(m_certificates->serverConfiguration());
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    server.respond("/", {.body = "secure"});

    QUrl url = server.url();
    QCOMPARE(url.scheme(), QStringLiteral("https"));
    url.setHost(host);
    const auto result = fetch(url);
    QVERIFY(result);
    QVERIFY2(result->hasValue(), qPrintable(failureOf(*result)));
    QCOMPARE(**result, "secure");
}

void TestLiveFetch::transportFailureKeepsQtText_data()
{
    QTest::addColumn<bool>("untrusted");
    QTest::addColumn<QNetworkReply::NetworkError>("error");

    QTest::newRow("untrusted certificate") << true << QNetworkReply::SslHandshakeFailedError;
    QTest::newRow("connection refused") << false << QNetworkReply::ConnectionRefusedError;
}

void TestLiveFetch::transportFailureKeepsQtText()
{
    QFETCH(bool, untrusted);
    QFETCH(QNetworkReply::NetworkError, error);

    std::optional<TestServer> server;
    QUrl url;
    if (untrusted) {
        server.emplace(m_certificates->untrustedServerConfiguration());
        QVERIFY2(server->isListening(), qPrintable(server->errorString()));
        server->respond("/", {.body = "must not arrive"});
        url = server->url();
    } else {
        // A loopback port that was free a moment ago and that nothing listens on now.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        url.setUrl(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
        probe.close();
    }

    const auto [qtError, qtText] = qtFailure(url);
    QCOMPARE(qtError, error);

    const auto result = fetch(url);
    QVERIFY(result);
    QVERIFY(!result->hasValue());
    QCOMPARE(result->error(), GeoError::transport(qtText));
    if (server)
        QVERIFY(server->requests().isEmpty());
}

void TestLiveFetch::bodyBound_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("farOver");

    const qint64 bound = GeoClient::maxBodyBytes;
    QTest::newRow("exactly the bound") << Response{.zeros = bound} << true << false;
    QTest::newRow("one byte more") << Response{.zeros = bound + 1} << false << false;
    QTest::newRow("far more") << Response{.zeros = 256 * bound} << false << true;
    QTest::newRow("endless") << Response{.endless = true} << false << true;
}

void TestLiveFetch::bodyBound()
{
    QFETCH(Response, response);
    QFETCH(bool, accepted);
    QFETCH(bool, farOver);

    TestServer server;
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    server.respond("/", response);

    const auto result = fetch(server.url());
    QVERIFY(result);
    if (accepted) {
        QVERIFY2(result->hasValue(), qPrintable(failureOf(*result)));
        QCOMPARE(**result, QByteArray(GeoClient::maxBodyBytes, '\0'));
        return;
    }
    QVERIFY(!result->hasValue());
    QCOMPARE(result->error().kind(), GeoError::Kind::badResponse);
    QVERIFY2(result->error().errorDescription().contains(QStringLiteral("127.0.0.1")),
             qPrintable(result->error().errorDescription()));
    if (!farOver)
        return; // all of it may have arrived before the cut, on a connection kept for reuse

    // The rest is not read on in the background: the connection closes at once, and the server
    // got to send little more than the socket buffers on both ends hold.
    QVERIFY(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 2000));
    const qint64 sent = server.bytesSent();
    QVERIFY2(sent < 32 * GeoClient::maxBodyBytes,
             qPrintable(QStringLiteral("%1 bytes sent").arg(sent)));
}

QTEST_GUILESS_MAIN(TestLiveFetch)
#include "tst_livefetch.moc"
