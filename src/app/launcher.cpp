#include "launcher.h"

#include "applicationservice.h"
#include "commandline.h"
#include "selftest.h"
#include "statuscommand.h"
#include "translations.h"
#include "trayapplication.h"

#include <QApplication>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace velmora::Launcher {

namespace {

constexpr CommandLine::Option selfTestOption{
    "--selftest", "check the program's own logic offline, exit 0 if every check passed"};

constexpr CommandLine::Program program{
    .name = "velmora",
    .arguments = "[URL]...",
    .about = "Your public IP address, where it is placed and the live network speed, in the tray.\n"
             "A second start, or a velmora: URL such as velmora://open, shows the running\n"
             "instance's popover. 'velmora status' prints its status for panels, bars and\n"
             "scripts (see velmora status --help).",
    .options = {&selfTestOption, 1},
};

// The links among the arguments (velmora:open and the like); other arguments are ignored.
QStringList linkArguments(const QStringList &arguments)
{
    QStringList links;
    for (const QString &argument : arguments.sliced(1)) {
        const QUrl url(argument, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty())
            links.append(argument);
    }
    return links;
}

// Hands links (none: a plain start) to the instance that holds the session; the exit status.
int handOver(const QStringList &links)
{
    if (const auto forwarded = ApplicationService::forward(links); !forwarded) {
        std::fprintf(stderr,
                     "velmora: another instance holds this session but did not answer: %s\n",
                     qPrintable(forwarded.error()));
        return 1;
    }
    return 0;
}

// Whether Qt's GUI platform can start: without a display QApplication aborts the process.
// From a terminal or a launcher without a display, a start can still hand its links to the
// running instance, which needs only the session bus.
int handOverWithoutDisplay(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ApplicationService service;
    if (service.claim() != ApplicationService::Claim::heldElsewhere) {
        std::fputs("velmora: no display to show the tray on, and no running instance to hand "
                   "over to.\n",
                   stderr);
        return 1;
    }
    return handOver(linkArguments(app.arguments()));
}

int runTrayProgram(int argc, char **argv, WindowSession session)
{
    if (session == WindowSession::none)
        return handOverWithoutDisplay(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"velmora"_s);
    // No display name: Qt would append " — Velmora" to every window title.
    QGuiApplication::setDesktopFileName(ApplicationService::serviceName());
    // A tray program: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    const Translations translations;

    const QStringList links = linkArguments(QCoreApplication::arguments());
    ApplicationService service;
    QString reason;
    const ApplicationService::Claim claim = service.claim(&reason);
    const bool claimed = claim == ApplicationService::Claim::owned;
    switch (claim) {
    case ApplicationService::Claim::heldElsewhere:
        return handOver(links);
    case ApplicationService::Claim::noBus:
        std::fprintf(stderr,
                     "velmora: no session bus (%s); running anyway, but a second start and "
                     "velmora: links cannot reach this instance.\n",
                     qPrintable(reason));
        break;
    case ApplicationService::Claim::owned:
        break;
    }

    {
        TrayApplication tray;
        QObject::connect(&service, &ApplicationService::requested, &tray, &TrayApplication::show);
        if (claimed)
            tray.giveOutStatus(&service, ApplicationService::objectPath());
        QTimer::singleShot(0, &tray, [&tray, links] {
            tray.finishLaunching();
            if (!links.isEmpty())
                tray.openUrls(links);
        });
        app.exec();
    }
    // Going, the model abandoned a speed test still running; what that run left to be deleted
    // later goes now, while the application still exists.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

} // namespace

bool wantsSelfTest(int argc, const char *const *argv)
{
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--selftest") == 0)
            return true;
    }
    return false;
}

int main(int argc, char **argv, WindowSession session)
{
    if (wantsSelfTest(argc, argv)) {
        // No display is needed: a core application gives the lookups their event loop.
        QCoreApplication app(argc, argv);
        return SelfTest::run() ? 0 : 1;
    }
    if (StatusCommand::isAsked(argc, argv))
        return StatusCommand::main(
            argc, argv, {ApplicationService::serviceName(), ApplicationService::objectPath()});
    if (const std::optional<std::string> answer =
            CommandLine::standardAnswer(program, argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    return runTrayProgram(argc, argv, session);
}

} // namespace velmora::Launcher
