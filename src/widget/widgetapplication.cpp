#include "widgetapplication.h"

#include "desktopwidget.h"
#include "gallerywindow.h"
#include "platform/windowsystemhints.h"
#include "singleinstance.h"
#include "sleepwatcher_linux.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QScreen>

namespace velmora {

namespace {

constexpr int margin = 24;

std::optional<QRect> workAreaOf(const QString &screenName)
{
    for (const QScreen *screen : QGuiApplication::screens())
        if (screen->name() == screenName)
            return screen->availableGeometry();
    return std::nullopt;
}

} // namespace

WidgetApplication::WidgetApplication(Services services, QObject *parent)
    : QObject(parent)
    , m_host(GeoProvider(std::move(services.provider)), std::move(services.timings),
             std::make_unique<LogindSleepWatcher>())
    , m_store(std::move(services.placementsPath))
    , m_hints(WindowSystemHints::create())
{
    connect(&m_host, &WidgetHost::entryChanged, this, [this] {
        for (DesktopWidget *widget : std::as_const(m_widgets))
            widget->setEntry(m_host.entry());
    });
    connect(&m_colorScheme, &PortalColorScheme::changed, this,
            &WidgetApplication::applyColorScheme);
}

WidgetApplication::~WidgetApplication()
{
    qDeleteAll(m_widgets);
    delete m_gallery;
}

bool WidgetApplication::claimSession()
{
    // Without a bus it is alone and unreachable, but the widgets still draw.
    return claimInstance(serviceName(), objectPath(), this,
                         QDBusConnection::ExportScriptableSlots) != InstanceClaim::heldElsewhere;
}

bool WidgetApplication::forwardShowGallery()
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(serviceName(), objectPath(), serviceName(),
                                       QStringLiteral("ShowGallery")),
        QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void WidgetApplication::start()
{
    for (const WidgetPlacement &placement : m_store.load())
        addWidget(placement);
    m_host.start();
}

void WidgetApplication::place(WidgetFamily family)
{
    // Down the right edge of the primary screen's work area, below the widgets already there.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    int top = area.top() + margin;
    for (const DesktopWidget *widget : std::as_const(m_widgets))
        top = std::max(top, widget->frameGeometry().bottom() + 1 + margin / 2);
    const QSize size = widgetSize(family);
    addWidget({family, QGuiApplication::primaryScreen()->name(),
               QPoint(area.right() + 1 - margin - size.width(), top)});
    save();
}

void WidgetApplication::ShowGallery()
{
    if (!m_gallery) {
        m_gallery = new GalleryWindow(m_host.preview());
        m_gallery->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_gallery, &GalleryWindow::chosen, this, [this](WidgetFamily family) {
            place(family);
            m_gallery->close();
        });
        connect(m_gallery, &GalleryWindow::closed, this, &WidgetApplication::quitWhenIdle,
                Qt::QueuedConnection);
        applyColorScheme();
    }
    m_gallery->show();
    m_gallery->raise();
    m_gallery->activateWindow();
}

DesktopWidget *WidgetApplication::addWidget(const WidgetPlacement &placement)
{
    auto *widget = new DesktopWidget(placement.family, *m_hints);
    widget->setEntry(m_host.entry());
    widget->setColorScheme(m_colorScheme.preference());
    widget->move(restoredPosition(placement.position, widget->size(), workAreaOf(placement.screen),
                                  QGuiApplication::primaryScreen()->availableGeometry()));
    m_widgets.append(widget);
    connect(widget, &DesktopWidget::moved, this, &WidgetApplication::save);
    connect(widget, &DesktopWidget::familyChosen, this, [this, widget](WidgetFamily family) {
        widget->setFamily(family);
        save();
    });
    connect(widget, &DesktopWidget::galleryRequested, this, &WidgetApplication::ShowGallery);
    connect(
        widget, &DesktopWidget::removeRequested, this, [this, widget] { remove(widget); },
        Qt::QueuedConnection);
    widget->show();
    return widget;
}

void WidgetApplication::remove(DesktopWidget *widget)
{
    m_widgets.removeOne(widget);
    widget->deleteLater();
    save();
    quitWhenIdle();
}

void WidgetApplication::save() const
{
    QList<WidgetPlacement> placements;
    for (const DesktopWidget *widget : m_widgets)
        placements.append({widget->family(), widget->screen()->name(), widget->pos()});
    if (const auto saved = m_store.save(placements); !saved)
        qWarning("velmora-widget: cannot save where the widgets are (%s)",
                 qPrintable(saved.error()));
}

void WidgetApplication::applyColorScheme()
{
    QList<GeoWidgetView *> views(m_widgets.cbegin(), m_widgets.cend());
    if (m_gallery)
        views += m_gallery->findChildren<GeoWidgetView *>();
    for (GeoWidgetView *view : std::as_const(views))
        view->setColorScheme(m_colorScheme.preference());
}

void WidgetApplication::quitWhenIdle()
{
    if (m_widgets.isEmpty() && (!m_gallery || !m_gallery->isVisible()))
        QCoreApplication::quit();
}

} // namespace velmora
