#pragma once

#include "gallerywindow.h"
#include "placements.h"
#include "platform/portalcolorscheme.h"
#include "widgethost.h"

#include <QObject>
#include <QPointer>

#include <memory>

namespace velmora {

class DesktopWidget;
class WindowSystemHints;

// The one velmora-widget process of a session: one timeline drawn by every placed widget, the
// gallery, and the widgets' places kept between runs. Serves "ShowGallery" on the session bus,
// so that a second start opens the gallery here.
class WidgetApplication : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.velmora.Widget")

public:
    struct Services
    {
        GeoProvider::Services provider;
        QString placementsPath = PlacementStore::defaultPath();
        WidgetHost::Timings timings{};
    };

    static QString serviceName() { return QStringLiteral("app.velmora.Widget"); }
    static QString objectPath() { return QStringLiteral("/app/velmora/Widget"); }

    explicit WidgetApplication(Services services, QObject *parent = nullptr);
    ~WidgetApplication() override;

    // Takes the session's name; false when another process holds it (or there is no bus).
    bool claimSession();
    // Asks the process that holds the name to show its gallery; false when that fails.
    static bool forwardShowGallery();

    // Puts the saved widgets back in place and starts the timeline.
    void start();

    QList<DesktopWidget *> widgets() const { return m_widgets; }
    GalleryWindow *gallery() const { return m_gallery; }
    // Places a new widget of that size beside the others.
    void place(WidgetFamily family);

public Q_SLOTS:
    Q_SCRIPTABLE void ShowGallery();

private:
    DesktopWidget *addWidget(const WidgetPlacement &placement);
    void remove(DesktopWidget *widget);
    void save() const;
    // Every widget drawn, placed or in the gallery, light or dark as the desktop prefers.
    void applyColorScheme();
    // Nothing placed and no gallery open: nothing left to draw.
    void quitWhenIdle();

    WidgetHost m_host;
    PlacementStore m_store;
    std::unique_ptr<WindowSystemHints> m_hints;
    PortalColorScheme m_colorScheme;
    QList<DesktopWidget *> m_widgets;
    QPointer<GalleryWindow> m_gallery;
};

} // namespace velmora
