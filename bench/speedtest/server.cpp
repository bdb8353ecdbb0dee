// The local speed-test service of the benchmark: GET /__down?bytes=N answers N zero bytes,
// POST /__up reads the body and answers "ok". A latency probe (/__down?bytes=0) is held for
// --hold-ms before it is answered: the kernel here has no netem, so this hold stands in for the
// link's round-trip time. Transfers are not held, so their rates are the link's alone.
//
//   bench_speedserver [--address A] [--http-port P] [--https-port P --ca-out FILE]
//                     [--hold-ms N] [--max-seconds N]
//
// Prints "ready" once listening; stops on SIGINT or SIGTERM, and after --max-seconds anyway.

#include "testcertificates.h"
#include "testserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrlQuery>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <sys/socket.h>
#include <unistd.h>

using namespace velmora;

namespace {

// Larger requests are refused, so a mistyped run cannot send without end.
constexpr qint64 maxDownloadBytes = 1'000'000'000;

constexpr qint64 tlsSendQueueBytes = 128 * 1024;

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

TestServer::Handler speedService(std::chrono::milliseconds hold)
{
    return [hold](const TestServer::Request &request) -> TestServer::Response {
        const QUrl url = QUrl::fromEncoded(request.path);
        if (url.path() == u"/__down" && request.method == "GET") {
            bool valid = false;
            const qint64 bytes =
                QUrlQuery(url).queryItemValue(QStringLiteral("bytes")).toLongLong(&valid);
            if (!valid || bytes < 0 || bytes > maxDownloadBytes)
                return {.status = 400, .body = "bad bytes\n"};
            return {.zeros = bytes, .delay = bytes == 0 ? hold : std::chrono::milliseconds(0)};
        }
        if (url.path() == u"/__up" && request.method == "POST")
            return {.body = "ok"};
        return {.status = 404, .body = "not found\n"};
    };
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Listen address."),
                                     QStringLiteral("ip"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption httpPort(QStringLiteral("http-port"),
                                      QStringLiteral("Plain HTTP port."), QStringLiteral("port"),
                                      QStringLiteral("8080"));
    const QCommandLineOption httpsPort(QStringLiteral("https-port"),
                                       QStringLiteral("HTTPS port (0: none)."),
                                       QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption caOut(QStringLiteral("ca-out"),
                                   QStringLiteral("Where to write the HTTPS server's authority."),
                                   QStringLiteral("file"));
    const QCommandLineOption holdMs(QStringLiteral("hold-ms"),
                                    QStringLiteral("How long a latency probe is held."),
                                    QStringLiteral("ms"), QStringLiteral("20"));
    const QCommandLineOption maxSeconds(QStringLiteral("max-seconds"),
                                        QStringLiteral("Stop after this long anyway."),
                                        QStringLiteral("s"), QStringLiteral("1800"));
    parser.addOptions({address, httpPort, httpsPort, caOut, holdMs, maxSeconds});
    parser.process(app);

    const QHostAddress listen(parser.value(address));
    const auto hold = std::chrono::milliseconds(parser.value(holdMs).toLongLong());

    std::vector<std::unique_ptr<TestServer>> servers;
    servers.push_back(
        std::make_unique<TestServer>(listen, quint16(parser.value(httpPort).toUInt())));
    std::optional<TestCertificates> certificates;
    if (const quint16 port = quint16(parser.value(httpsPort).toUInt())) {
        certificates.emplace();
        if (!certificates->isValid()) {
            std::fprintf(stderr, "certificates: %s\n", qPrintable(certificates->errorString()));
            return 1;
        }
        QFile out(parser.value(caOut));
        if (!parser.isSet(caOut) || !out.open(QIODevice::WriteOnly) ||
            out.write(certificates->caCertificate().toPem()) < 0) {
            std::fprintf(stderr, "cannot write the authority to --ca-out\n");
            return 1;
        }
        servers.push_back(
            std::make_unique<TestServer>(certificates->serverConfiguration(), listen, port));
        // With a deep queue the first bytes of a large answer wait for the whole queue's
        // encryption, and every client's transfer looks ~15 ms longer.
        servers.back()->setSendQueueLimit(tlsSendQueueBytes);
    }
    for (const auto &server : servers) {
        if (!server->isListening()) {
            std::fprintf(stderr, "listen: %s\n", qPrintable(server->errorString()));
            return 1;
        }
        server->setHandler(speedService(hold));
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier stop(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QTimer::singleShot(std::chrono::seconds(parser.value(maxSeconds).toLongLong()), &app,
                       &QCoreApplication::quit);

    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
