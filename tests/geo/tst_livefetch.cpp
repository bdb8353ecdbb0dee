#include "geoclient.h"
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

#include <memory>
#include <numeric>
#include <optional>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using namespace velmora;

Q_DECLARE_METATYPE(velmora::TestServer::Response)

namespace velmora {
// Lets QCOMPARE show what failed.
char *toString(const GeoError &error)
{
    return QTest::toString(u"%1: %2"_s.arg(int(error.kind())).arg(error.errorDescription()));
}
} // namespace velmora

namespace {

using Response = TestServer::Response;

// liveFetch run to its end, or nothing when it has not ended within bound.
std::optional<FetchResult> fetch(const QUrl &url, std::chrono::milliseconds bound = 10s)
{
    // Shared, so a fetch still running after a failed test has somewhere valid to write.
    const auto outcome = std::make_shared<std::optional<FetchResult>>();
    [[maybe_unused]] const QCoro::Task<> running = [](QUrl url, auto outcome) -> QCoro::Task<> {
        *outcome = co_await GeoClient::liveFetch(std::move(url));
    }(url, outcome);
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
        return {QNetworkReply::UnknownNetworkError, u"no answer within 10 s"_s};
    return {reply->error(), reply->errorString()};
}

// For QVERIFY2, which builds its message whether or not the check fails.
QString failureOf(const FetchResult &result)
{
    return result ? QString() : result.error().errorDescription();
}

} // namespace

class TestLiveFetch : public QObject
{
    Q_OBJECT

    std::optional<TestCertificates> m_certificates;

private Q_SLOTS:
    void initTestCase()
    {
        m_certificates.emplace();
        QVERIFY2(m_certificates->isValid(), qPrintable(m_certificates->errorString()));
        m_certificates->trustInThisProcess();
    }

    void init()
    {
        // Qt warns, for one, when an aborted reply is read.
        QTest::failOnWarning(QRegularExpression(u"."_s));
    }

    void answer_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // a part of the badResponse text; empty for success

        QByteArray everyByte(256, '\0');
        std::iota(everyByte.begin(), everyByte.end(), '\0');
        const qint64 bound = GeoClient::maxBodyBytes;
        const QString tooLarge = u"from 127.0.0.1 is larger than"_s;
        QTest::newRow("every byte value") << Response{.body = everyByte} << everyByte << QString();
        QTest::newRow("204 empty") << Response{.status = 204} << QByteArray() << QString();
        QTest::newRow("299") << Response{.status = 299, .body = "edge"} << "edge"_ba << QString();
        QTest::newRow("exactly the bound")
            << Response{.zeros = bound} << QByteArray(bound, '\0') << QString();
        QTest::newRow("one byte over") << Response{.zeros = bound + 1} << QByteArray() << tooLarge;
        QTest::newRow("far over") << Response{.zeros = 256 * bound} << QByteArray() << tooLarge;
        QTest::newRow("endless") << Response{.endless = true} << QByteArray() << tooLarge;

        const auto failing = [](const char *tag, const Response &response) {
            QTest::newRow(tag) << response << QByteArray()
                               << u"HTTP %1 from 127.0.0.1"_s.arg(response.status);
        };
        failing("300", {.status = 300});
        failing("301 without Location", {.status = 301});
        failing("304 unasked", {.status = 304});
        failing("404", {.status = 404, .body = "not here"});
        // The status is the reason, not the size of the error page that came with it.
        failing("404 with an endless body", {.status = 404, .endless = true});
    }

    void answer()
    {
        QFETCH(Response, response);
        QFETCH(QByteArray, body);
        QFETCH(QString, error);

        TestServer server;
        QVERIFY2(server.isListening(), qPrintable(server.errorString()));
        server.respond("/", response);

        // Well within the inactivity timeout: cut off answers must not wait for it.
        const auto result = fetch(server.url(), 4s);
        QVERIFY(result);
        if (error.isEmpty()) {
            QVERIFY2(result->hasValue(), qPrintable(failureOf(*result)));
            QCOMPARE(**result, body);
            return;
        }
        QVERIFY(!result->hasValue());
        QCOMPARE(result->error().kind(), GeoError::Kind::badResponse);
        QVERIFY2(result->error().errorDescription().contains(error),
                 qPrintable(result->error().errorDescription()));
        if (!response.endless && response.zeros.value_or(0) < 2 * GeoClient::maxBodyBytes)
            return; // all of it may have arrived before the cut, on a connection kept for reuse

        // The rest is not read on in the background: the connection closes at once, and the server
        // got to send little more than the socket buffers on both ends hold.
        QVERIFY(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 2000));
        QVERIFY2(server.bytesSent() < 32 * GeoClient::maxBodyBytes,
                 qPrintable(u"%1 bytes sent"_s.arg(server.bytesSent())));
    }

    void requestIsPlainAndUncached()
    {
        TestServer server;
        QVERIFY2(server.isListening(), qPrintable(server.errorString()));
        server.respond("/json/", {.headers = {{"Cache-Control", "public, max-age=3600"},
                                              {"ETag", "\"v1\""},
                                              {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}},
                                  .body = "{}"});

        // A cached answer would not ask again, a revalidated one would ask conditionally.
        const QUrl url = server.url("/json/?fields=ip,country");
        for (int i = 0; i < 2; ++i) {
            const auto result = fetch(url);
            QVERIFY(result && result->hasValue());
        }
        const QList<TestServer::Request> requests = server.requests();
        QCOMPARE(requests.size(), 2);
        for (const TestServer::Request &request : requests) {
            QCOMPARE(request.method, "GET");
            QCOMPARE(request.path, "/json/?fields=ip,country");
            QCOMPARE(request.header("User-Agent"), "Velmora/1.0");
            QCOMPARE(request.bodyBytes, qint64(0));
        }
        QVERIFY(requests[1].header("If-None-Match").isNull());
        QVERIFY(requests[1].header("If-Modified-Since").isNull());
    }

    // A silent server is dropped after the inactivity timeout, a dripping one at the deadline.
    void slowServersTimeOut_data()
    {
        QTest::addColumn<TestServer::Response>("response");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("seconds");
        QTest::newRow("silent") << TestServer::Response{.stall = true}
                                << u"Timed out: no data from 127.0.0.1 for 8 seconds"_s << 8;
        QTest::newRow("dripping")
            << TestServer::Response{.zeros = 1000, .sendRate = 2}
            << u"Timed out: no complete answer from 127.0.0.1 within 15 seconds"_s << 15;
    }

    void slowServersTimeOut()
    {
        QFETCH(TestServer::Response, response);
        QFETCH(QString, error);
        QFETCH(int, seconds);
        TestServer server;
        QVERIFY2(server.isListening(), qPrintable(server.errorString()));
        server.respond("/", response);

        QElapsedTimer elapsed;
        elapsed.start();
        const auto result = fetch(server.url(), 30s);
        const qint64 msecs = elapsed.elapsed();

        QVERIFY2(result, "liveFetch did not give up within 30 s");
        QVERIFY(!result->hasValue());
        QCOMPARE(result->error(), GeoError::transport(error));
        QVERIFY2(msecs >= seconds * 1000 - 500 && msecs <= seconds * 1000 + 4000,
                 qPrintable(u"took %1 ms"_s.arg(msecs)));
        QCOMPARE(server.requests().size(), 1);
    }

    void transport_data()
    {
        QTest::addColumn<QNetworkReply::NetworkError>("qtError"); // NoError: the fetch succeeds
        QTest::newRow("trusted authority") << QNetworkReply::NoError;
        QTest::newRow("untrusted certificate") << QNetworkReply::SslHandshakeFailedError;
        QTest::newRow("connection refused") << QNetworkReply::ConnectionRefusedError;
    }

    // Transport failures keep Qt's text.
    void transport()
    {
        QFETCH(QNetworkReply::NetworkError, qtError);

        // A loopback port that was free a moment ago and that nothing listens on now.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        QUrl url(u"http://127.0.0.1:%1/"_s.arg(probe.serverPort()));
        probe.close();
        std::optional<TestServer> server;
        if (qtError != QNetworkReply::ConnectionRefusedError) {
            server.emplace(qtError == QNetworkReply::NoError
                               ? m_certificates->serverConfiguration()
                               : m_certificates->untrustedServerConfiguration());
            QVERIFY2(server->isListening(), qPrintable(server->errorString()));
            server->respond("/", {.body = "secure"});
            url = server->url();
        }

        const auto result = fetch(url);
        QVERIFY(result);
        if (qtError == QNetworkReply::NoError) {
            QVERIFY2(result->hasValue(), qPrintable(failureOf(*result)));
            QCOMPARE(**result, "secure");
            return;
        }
        const auto [error, text] = qtFailure(url);
        QCOMPARE(error, qtError);
        QVERIFY(!result->hasValue());
        QCOMPARE(result->error(), GeoError::transport(text));
        QVERIFY(!server || server->requests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLiveFetch)
#include "tst_livefetch.moc"
