// A day compressed: velmora's model and tray controller on the real Linux pieces (netlink path
// monitor, interface counters, resolver file), in private namespaces where the providers' names
// lead to a local stand-in that fails at random. The public address is looked up every second,
// the wired link goes down and up every three seconds, live speeds are on, the popover opens and
// closes, and every new address shows its toast. Prints resident memory and the heap in use
// after the warm-up and at the end; in a build without sanitizers it fails when the heap grew by
// 1 MB or more. (Resident memory also holds freed pages malloc keeps for reuse, which come and
// go with the order of allocations: a leak shows in the heap in use.)
//
//   bench_soak [--seconds N] [--warmup N]
//
// Needs root for its namespaces, and Xvfb with a tray host for the item (a private desktop of
// its own); exits 77 (skipped) without. Prints "<name> <value>" lines.

#include "../../tests/model/privatenetwork.h"
#include "../idle/procstatus.h"
#include "appmodel.h"
#include "defaultservices.h"
#include "desktopsession.h"
#include "platform/clipboard.h"
#include "platform/dnsconfig.h"
#include "platform/interfacetable.h"
#include "platform/loginitem.h"
#include "platform/pathmonitor.h"
#include "preferences.h"
#include "settingsfollowers.h"
#include "settingsstore.h"
#include "sleepwatcher.h"
#include "statusbarcontroller.h"
#include "systemtrayitem.h"
#include "testcertificates.h"
#include "testserver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

#include <cstdio>

#include <malloc.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace velmora::bench {
namespace {

const QStringList hostNames{u"ipwho.is"_s, u"ipapi.co"_s, u"speed.cloudflare.com"_s};

// Two answers in five are good, each with one of three addresses, so new addresses keep
// coming; the rest fail in one of the ways services do.
TestServer::Response randomAnswer(const TestServer::Request &)
{
    QRandomGenerator &random = *QRandomGenerator::global();
    const QByteArray address = "203.0.113." + QByteArray::number(random.bounded(1, 4));
    const QByteArray good =
        R"({"ip":")" + address + R"(","country_code":"DE","country":"Germany"})";
    switch (random.bounded(5)) {
    case 0:
        return {.status = 503};
    case 1:
        return {.drop = true};
    case 2:
        return {.body = good.first(good.size() / 2)};
    default:
        return {.body = good};
    }
}

long residentKilobytes()
{
    return statusKilobytes(getpid(), "VmRSS");
}

// The link and the hosts the stand-in answers for; empty when all is set, else what failed.
QString prepareNetwork(const QTemporaryDir &dir, const TestCertificates &certificates)
{
    if (const QString failed = test::ip(u"link set lo up\n"
                                        "link add eth0 type veth peer name peer0\n"
                                        "address add 10.9.0.1/24 dev eth0\n"
                                        "link set peer0 up\nlink set eth0 up\n"
                                        "route add default via 10.9.0.2 dev eth0\n"_s);
        !failed.isEmpty())
        return failed;
    const bool bound =
        test::bindOver(dir.filePath(u"hosts"_s), "/etc/hosts",
                       "127.0.0.1 localhost " + hostNames.join(u' ').toUtf8() + "\n") &&
        test::bindOver(dir.filePath(u"resolv.conf"_s), "/etc/resolv.conf",
                       "nameserver 192.0.2.53\n") &&
        test::bindOver(certificates.caDirectory(), "/etc/ssl/certs");
    return bound ? QString() : u"cannot mount the stand-in's hosts and authority"_s;
}

} // namespace
} // namespace velmora::bench

int main(int argc, char **argv)
{
    using namespace velmora;
    if (const QString why = test::enterPrivateNetwork(); !why.isEmpty()) {
        std::printf("skipped %s\n", qPrintable(why));
        return 77;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption secondsOption(u"seconds"_s, u"How long it runs."_s, u"seconds"_s,
                                           u"1200"_s);
    const QCommandLineOption warmupOption(u"warmup"_s, u"Seconds before the first memory figure."_s,
                                          u"seconds"_s, u"60"_s);
    // To tell which activity memory grows with.
    const QCommandLineOption without(u"without"_s, u"Leaves out flap, popover or refresh."_s,
                                     u"activity"_s);
    parser.addOptions({secondsOption, warmupOption, without});
    parser.process(app);
    const int seconds = parser.value(secondsOption).toInt();
    const int warmup = std::min(parser.value(warmupOption).toInt(), seconds / 2);

    // A session bus with a tray host of its own, so the item is shown and toasts may appear.
    DesktopSession desktop;
    if (const DesktopSession::Outcome tray = desktop.start(DesktopSession::Component::SniHost);
        !tray) {
        std::printf("skipped no tray host: %s\n", qPrintable(tray.message));
        return 77;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", desktop.busAddress().toUtf8());

    QTemporaryDir dir;
    const TestCertificates certificates(bench::hostNames);
    if (!certificates.isValid()) {
        std::printf("error %s\n", qPrintable(certificates.errorString()));
        return 1;
    }
    if (const QString failed = bench::prepareNetwork(dir, certificates); !failed.isEmpty()) {
        std::printf("error %s\n", qPrintable(failed));
        return 1;
    }
    TestServer server(certificates.serverConfiguration(), QHostAddress::LocalHost, 443);
    server.setHandler(&bench::randomAnswer);
    // The stand-in logs every request for tests to read; unread here, the log would be growth.
    QTimer forgetRequests;
    QObject::connect(&forgetRequests, &QTimer::timeout, &app, [&] { server.clearRequests(); });
    forgetRequests.start(5s);

    SettingsStore store(dir.filePath(u"settings.json"_s));
    Preferences prefs(store);
    prefs.setShowLiveSpeed(true);
    AppModel::Services services = defaultServices();
    services.timings.refreshInterval = parser.values(without).contains(u"refresh"_s) ? 3600s : 1s;
    services.sleepWatcher = nullptr; // the machine does not sleep during the run
    AppModel model(std::move(services));
    SystemTrayItem tray(u"velmora"_s);
    StatusBarController controller(model, prefs, tray);
    followLiveSpeed(prefs, model, controller);
    controller.setToastTimings({.fadeIn = 50ms, .onScreen = 400ms, .fadeOut = 50ms});

    int flaps = 0, popovers = 0, toasts = 0, failures = 0, lookups = 0;
    QObject::connect(&model, &AppModel::geoStateChanged, &app, [&] {
        lookups += model.geoState().kind() != GeoState::Kind::loading;
        failures += model.geoState().kind() == GeoState::Kind::failed;
    });
    QTimer flap;
    QObject::connect(&flap, &QTimer::timeout, &app, [&] {
        const bool down = ++flaps % 2 == 1;
        test::ip(down ? u"link set eth0 down\n"_s
                      : u"link set eth0 up\nroute add default via 10.9.0.2 dev eth0\n"_s);
    });
    if (!parser.values(without).contains(u"flap"_s))
        flap.start(3s);
    QTimer popover;
    QObject::connect(&popover, &QTimer::timeout, &app, [&] {
        ++popovers;
        controller.togglePopover();
    });
    if (!parser.values(without).contains(u"popover"_s))
        popover.start(2500ms);
    QTimer toastWatch; // counts the cards as they appear
    bool toastShown = false;
    QObject::connect(&toastWatch, &QTimer::timeout, &app, [&] {
        toasts += !toastShown && controller.toast();
        toastShown = controller.toast() != nullptr;
    });
    toastWatch.start(50ms);

    QTimer minute; // the trend between the two figures
    QObject::connect(&minute, &QTimer::timeout, &app, [&] {
        std::printf("rss_kb %ld heap_in_use_kb %zu\n", bench::residentKilobytes(),
                    mallinfo2().uordblks / 1024);
        std::fflush(stdout);
    });
    minute.start(60s);
    // Small blocks in use, and large ones, which malloc maps apart.
    const auto heapInUse = [] {
        const struct mallinfo2 heap = mallinfo2();
        return long((heap.uordblks + heap.hblkhd) / 1024);
    };
    long warmResident = 0;
    long warmHeap = 0;
    QTimer::singleShot(std::chrono::seconds(warmup), &app, [&] {
        warmResident = bench::residentKilobytes();
        warmHeap = heapInUse();
        std::printf("rss_warm_kb %ld\nheap_warm_kb %ld\n", warmResident, warmHeap);
        std::fflush(stdout);
    });
    // A lookup still under way at the end ends with the model, leaving nothing to the leak check.
    QTimer::singleShot(std::chrono::seconds(seconds), &app, &QApplication::quit);
    app.exec();

    const long endResident = bench::residentKilobytes();
    const long heapGrowth = heapInUse() - warmHeap;
    std::printf("seconds %d\nlookups %d\nfailed_lookups %d\nlink_flaps %d\npopover_toggles %d\n"
                "toasts %d\nrss_end_kb %ld\nrss_growth_kb %ld\nheap_growth_kb %ld\n"
                "peak_rss_kb %ld\n",
                seconds, lookups, failures, flaps, popovers, toasts, endResident,
                endResident - warmResident, heapGrowth, bench::statusKilobytes(getpid(), "VmHWM"));
#if defined(__SANITIZE_ADDRESS__)
    const bool flat = true; // freed memory sits in the sanitizer's quarantine: no figure to judge
#else
    const bool flat = heapGrowth < 1024;
#endif
    const bool exercised = lookups > seconds / 4 && failures > 0 && toasts > 0 && flaps > 1;
    std::printf("result %s\n", flat && exercised ? "ok" : flat ? "not exercised" : "grew");
    return flat && exercised ? 0 : 1;
}
