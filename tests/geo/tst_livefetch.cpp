#include "geoclient.h"
#include "testhelpers.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <numeric>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using namespace velmora;

using Response = TestServer::Response;
Q_DECLARE_METATYPE(Response)

class TestLiveFetch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Qt warns, for one, when an aborted reply is read.
    void init() { QTest::failOnWarning(QRegularExpression(u"."_s)); }

    void answer_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QByteArray>("body");
        // A part of the badResponse text; empty for success.
        QTest::addColumn<QString>("error");

        QByteArray everyByte(256, '\0');
        std::iota(everyByte.begin(), everyByte.end(), '\0');
        const qint64 bound = GeoClient::maxBodyBytes;
        const QString tooLarge = u"from 127.0.0.1 is larger than"_s;
        const auto row = [](const char *tag, const Response &response, const QByteArray &body,
                            const QString &error) {
            QTest::newRow(tag) << response << body << error;
        };
        row("every byte value, 299", {.status = 299, .body = everyByte}, everyByte, {});
        // Cacheable, and revalidatable: neither is done.
        row("exactly the bound, cacheable",
            {.headers = {{"Cache-Control", "public, max-age=3600"},
                         {"ETag", "\"v1\""},
                         {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}},
             .zeros = bound},
            QByteArray(bound, '\0'), {});
        row("one byte over", {.zeros = bound + 1}, {}, tooLarge);
        row("300", {.status = 300}, {}, u"HTTP 300 from 127.0.0.1"_s);
        // The status is the reason, not the size of the error page that came with it.
        row("404 with an endless body", {.status = 404, .endless = true}, {},
            u"HTTP 404 from 127.0.0.1"_s);
    }

    void answer()
    {
        QFETCH(Response, response);
        QFETCH(QByteArray, body);
        QFETCH(QString, error);

        TestServer server;
        QVERIFY2(server.isListening(), qPrintable(server.errorString()));
        server.respond(response);

        // Well within the inactivity timeout: cut off answers must not wait for it.
        const QUrl url = server.url("/json/?fields=ip,country");
        const auto result = test::awaitWithin(GeoClient::liveFetch(url), 4000);
        QVERIFY(result);
        if (error.isEmpty()) {
            QVERIFY2(result->hasValue(),
                     result->hasValue() ? "" : qPrintable(result->error().errorDescription()));
            QCOMPARE(**result, body);
            // Nor kept for a next fetch: a kept connection keeps every TLS session made on it.
            QVERIFY(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 2000));
            // Asked again, plainly: a cached answer would not ask, a revalidated one would ask
            // conditionally.
            const auto again = test::awaitWithin(GeoClient::liveFetch(url), 4000);
            QVERIFY(again && again->hasValue());
            const QList<TestServer::Request> requests = server.requests();
            QCOMPARE(requests.size(), 2);
            for (const TestServer::Request &request : requests) {
                QCOMPARE(request.method + ' ' + request.path, "GET /json/?fields=ip,country");
                QCOMPARE(request.header("User-Agent"), "Velmora/1.0");
            }
            QVERIFY(requests[1].header("If-None-Match").isNull());
            QVERIFY(requests[1].header("If-Modified-Since").isNull());
            return;
        }
        QVERIFY(!result->hasValue());
        QCOMPARE(result->error().kind(), GeoError::Kind::badResponse);
        QVERIFY2(result->error().errorDescription().contains(error),
                 qPrintable(result->error().errorDescription()));
        if (!response.endless)
            return; // all of it may have arrived before the cut, on a connection kept for reuse

        // The rest is not read on in the background: the connection closes at once, and the server
        // got to send little more than the socket buffers on both ends hold.
        QVERIFY(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 2000));
        QVERIFY2(server.bytesSent() < 32 * GeoClient::maxBodyBytes,
                 qPrintable(u"%1 bytes sent"_s.arg(server.bytesSent())));
    }

    // A silent server is dropped after the inactivity timeout of 8 s, not the later deadline.
    void silentServerTimesOut()
    {
        TestServer server;
        server.respond({.stall = true});
        QElapsedTimer elapsed;
        elapsed.start();
        const auto result = test::awaitWithin(GeoClient::liveFetch(server.url()), 30'000);
        const qint64 msecs = elapsed.elapsed();
        QVERIFY(result && !result->hasValue());
        QCOMPARE(result->error().kind(), GeoError::Kind::transport);
        QCOMPARE(result->error().errorDescription(),
                 u"Timed out: no data from 127.0.0.1 for 8 seconds"_s);
        QVERIFY2(msecs >= 7500 && msecs <= 12'000, qPrintable(u"took %1 ms"_s.arg(msecs)));
        QCOMPARE(server.requests().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLiveFetch)
#include "tst_livefetch.moc"
