#include "widgetapplication.h"

#include <QApplication>

using namespace velmora;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("velmora-widget"));
    app.setQuitOnLastWindowClosed(false);

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
