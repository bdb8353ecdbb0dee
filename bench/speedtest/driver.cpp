// Runs measurements of the speed tester one after the other in one process, as the
// application's speed test does, and prints each figure as "<name> <value>" (latency_ms,
// download_mbps, upload_mbps) or "<name> error <text>", then the peak resident memory.
// Exits 1 when a measurement failed. With --bare, the download is instead a plain Qt GET on
// the main thread that only counts what arrives: Qt's own ceiling, as a reference.
//
//   bench_speedtest [--ca FILE] [--cap-ms N] [--bare] BASE-URL latency|download|upload...

#include "speedtester.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

#include <QCoro/QCoroNetworkReply>
#include <QCoro/QCoroTask>

#include <cstdio>
#include <memory>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// VmHWM from /proc/self/status, in kB; -1 when it cannot be read.
long peakResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A download without the tester: Qt's network thread handing the body to this thread.
QCoro::Task<SpeedOutcome> bareDownload(QUrl url)
{
    QNetworkAccessManager access;
    QNetworkRequest request(url);
    request.setRawHeader("Accept-Encoding", "identity");
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QNetworkReply> reply(access.get(request));
    qint64 bytes = 0;
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(),
                     [&bytes, raw = reply.get()] { bytes += raw->skip(raw->bytesAvailable()); });
    co_await reply.get();
    if (reply->error() != QNetworkReply::NoError)
        co_return std::unexpected(reply->errorString());
    co_return double(bytes) * 8 / (double(clock.nsecsElapsed()) / 1e9) / 1e6;
}

QCoro::Task<> measure(std::shared_ptr<SpeedTester> tester, QStringList kinds, bool bare)
{
    bool failed = false;
    for (const QString &kind : kinds) {
        SpeedOutcome outcome;
        if (kind == u"latency")
            outcome = co_await tester->latency();
        else if (kind == u"download" && bare)
            outcome = co_await bareDownload(
                QUrl::fromEncoded(tester->base().toEncoded() + "/__down?bytes=25000000"));
        else if (kind == u"download")
            outcome = co_await tester->download();
        else
            outcome = co_await tester->upload();
        const QByteArray name = kind.toUtf8() + (kind == u"latency" ? "_ms" : "_mbps");
        if (outcome)
            std::printf("%s %.3f\n", name.constData(), *outcome);
        else
            std::printf("%s error %s\n", name.constData(), qPrintable(outcome.error()));
        std::fflush(stdout);
        failed = failed || !outcome;
    }
    std::printf("peak_rss_kb %ld\n", peakResidentKilobytes());
    QCoreApplication::exit(failed ? 1 : 0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption ca(QStringLiteral("ca"),
                                QStringLiteral("Also trust the certificate authority in <file>."),
                                QStringLiteral("file"));
    const QCommandLineOption cap(
        QStringLiteral("cap-ms"), QStringLiteral("Cap of a transfer in milliseconds."),
        QStringLiteral("ms"), QString::number(SpeedTester::defaultCap.count()));
    const QCommandLineOption bare(QStringLiteral("bare"),
                                  QStringLiteral("Download with plain Qt instead, for reference."));
    parser.addOptions({ca, cap, bare});
    parser.addPositionalArgument(QStringLiteral("base"), QStringLiteral("Service origin."));
    parser.addPositionalArgument(QStringLiteral("measurement"),
                                 QStringLiteral("latency, download or upload; in turn."),
                                 QStringLiteral("measurement..."));
    parser.process(app);
    QStringList kinds = parser.positionalArguments();
    const QStringList known{QStringLiteral("latency"), QStringLiteral("download"),
                            QStringLiteral("upload")};
    if (kinds.size() < 2 || !std::ranges::all_of(kinds.mid(1), [&](const QString &kind) {
            return known.contains(kind);
        }))
        parser.showHelp(2);
    const QUrl base(kinds.takeFirst());

    if (parser.isSet(ca)) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(parser.value(ca));
        if (authorities.isEmpty()) {
            std::fprintf(stderr, "no certificate in %s\n", qPrintable(parser.value(ca)));
            return 2;
        }
        tls.addCaCertificates(authorities);
        QSslConfiguration::setDefaultConfiguration(tls);
    }

    auto tester = std::make_shared<SpeedTester>(
        base, std::chrono::milliseconds(parser.value(cap).toLongLong()));
    // Each measurement ends well within this; a hang must not stall the benchmark.
    QTimer::singleShot(kinds.size() * 60s, &app, [] {
        std::printf("error no result within 60 seconds a measurement\n");
        QCoreApplication::exit(1);
    });
    [[maybe_unused]] QCoro::Task<> running = measure(tester, kinds, parser.isSet(bare));
    return app.exec();
}
