#include "commandline.h"
#include "platform/platformchoice.h"
#include "translations.h"
#include "widgetapplication.h"

#include <QApplication>

#include <cstdio>

using namespace velmora;

namespace {

constexpr CommandLine::Option galleryOption{
    "--gallery", "open the gallery, which places a widget of either size"};

constexpr CommandLine::Program program{
    .name = "velmora-widget",
    .arguments = "",
    .about = "Your public IP address, its country and the network, on the desktop.\n"
             "A second start opens the running instance's gallery.",
    .options = {&galleryOption, 1},
};

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<std::string> answer =
            CommandLine::standardAnswer(program, argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    // A widget that the compositor puts anywhere, among the other windows, is no desktop widget.
    if (choosePlatform(argc, argv) == WindowSession::waylandOnly) {
        std::fputs("velmora-widget: this Wayland session has no XWayland, and a Wayland program "
                   "cannot place its windows on the desktop.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("velmora-widget"));
    app.setQuitOnLastWindowClosed(false);
    const Translations translations;

    WidgetApplication widgets({.provider = {.store = std::make_shared<DirectoryStore>(
                                                DirectoryStore::widgetStateDirectory())}});
    // One process per session: a second start opens the running one's gallery.
    if (!widgets.claimSession())
        return WidgetApplication::forwardShowGallery() ? 0 : 1;
    widgets.start();
    if (app.arguments().contains(QStringLiteral("--gallery")) || widgets.widgets().isEmpty())
        widgets.ShowGallery();
    return app.exec();
}
