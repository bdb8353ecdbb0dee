// Runs measurements of the speed tester one after the other in one process, as the
// application's speed test does, and prints each figure as "<name> <value>" (latency_ms,
// download_mbps, upload_mbps) or "<name> error <text>", then the peak resident memory.
// Exits 1 when a measurement failed.
//
//   bench_speedtest [--ca FILE] [--cap-ms N] BASE-URL latency|download|upload...

#include "speedtester.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

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

QCoro::Task<> measure(std::shared_ptr<SpeedTester> tester, QStringList kinds)
{
    bool failed = false;
    for (const QString &kind : kinds) {
        SpeedOutcome outcome;
        if (kind == u"latency")
            outcome = co_await tester->latency();
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
    parser.addOptions({ca, cap});
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

    QByteArray authorities;
    if (parser.isSet(ca)) {
        QFile file(parser.value(ca));
        if (!file.open(QIODevice::ReadOnly) || !(authorities = file.readAll()).contains("BEGIN")) {
            std::fprintf(stderr, "no certificate in %s\n", qPrintable(parser.value(ca)));
            return 2;
        }
    }

    auto tester = std::make_shared<SpeedTester>(
        base, std::chrono::milliseconds(parser.value(cap).toLongLong()), authorities);
    // Each measurement ends well within this; a hang must not stall the benchmark.
    QTimer::singleShot(kinds.size() * 60s, &app, [] {
        std::printf("error no result within 60 seconds a measurement\n");
        QCoreApplication::exit(1);
    });
    [[maybe_unused]] QCoro::Task<> running = measure(tester, kinds);
    return app.exec();
}
