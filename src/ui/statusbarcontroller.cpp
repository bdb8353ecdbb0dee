#include "statusbarcontroller.h"

#include "appmodel.h"
#include "desktopcolorscheme.h"
#include "popoverview.h"
#include "popoverwindow.h"
#include "preferences.h"
#include "settingsview.h"
#include "statustooltip.h"
#include "trayitem.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace velmora {

StatusBarController::StatusBarController(AppModel &model, Preferences &prefs, TrayItem &tray,
                                         QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_prefs(prefs)
    , m_tray(tray)
    , m_colorScheme(std::make_unique<DesktopColorScheme>())
{
    connect(&m_tray, &TrayItem::activated, this, [this](const QRect &anchor) {
        if (isPopoverShown()) {
            m_popover->close();
            return;
        }
        showPopoverAt(anchor);
    });
    connect(&m_tray, &TrayItem::contextMenuRequested, this, &StatusBarController::showPopoverAt);

    m_prefs.applyTheme();
    observe();
    updateStatusItem();
}

StatusBarController::~StatusBarController() = default;

PopoverWindow *StatusBarController::popover()
{
    // Made when first needed: a tray program mostly runs without ever opening it, and its
    // widgets cost memory and start-up time.
    if (!m_popover) {
        QPointer<StatusBarController> self(this);
        auto *view = new PopoverView(m_model, m_prefs, [self] {
            if (self)
                self->showSettings();
        });
        m_popover = std::make_unique<PopoverWindow>(view);
        m_popover->setClosesOnOutsideClick(m_prefs.popoverClosesAutomatically());
    }
    return m_popover.get();
}

bool StatusBarController::isPopoverShown() const
{
    return m_popover && m_popover->isVisible();
}

void StatusBarController::observe()
{
    // Everything the tray picture, its tool tip or the popover's closing rule shows.
    const auto redraw = [this] { scheduleRedraw(); };
    for (auto changed :
         {&Preferences::showLiveSpeedChanged, &Preferences::popoverClosesAutomaticallyChanged,
          &Preferences::bandwidthDataChanged, &Preferences::uploadOnTopChanged,
          &Preferences::customColorsChanged, &Preferences::buttonStyleChanged,
          &Preferences::speedUnitChanged, &Preferences::downloadColorHexChanged,
          &Preferences::uploadColorHexChanged})
        connect(&m_prefs, changed, this, redraw);
    for (auto changed :
         {&AppModel::geoStateChanged, &AppModel::lastGeoChanged, &AppModel::isOnlineChanged})
        connect(&m_model, changed, this, redraw);
    // Rates are news only while they are drawn.
    for (auto changed : {&AppModel::downloadRateChanged, &AppModel::uploadRateChanged}) {
        connect(&m_model, changed, this, [this] {
            if (m_ratesShown)
                scheduleRedraw();
        });
    }
    connect(m_colorScheme.get(), &DesktopColorScheme::changed, this, redraw);
}

void StatusBarController::scheduleRedraw()
{
    if (m_redrawPending)
        return;
    m_redrawPending = true;
    // Queued, so the redraw sees the value after the change has been stored, and the other
    // changes of this pass with it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_redrawPending = false;
            updateStatusItem();
        },
        Qt::QueuedConnection);
}

void StatusBarController::updateStatusItem()
{
    const bool live = m_prefs.showLiveSpeed();
    m_model.setTrafficMonitoring(live);
    if (m_popover)
        m_popover->setClosesOnOutsideClick(m_prefs.popoverClosesAutomatically());

    std::optional<SpeedImageLayout> speed;
    if (live) {
        speed = layoutSpeedImage(m_model.downloadRate(), m_model.uploadRate(),
                                 SpeedImageSettings::from(m_prefs));
    }
    m_ratesShown = live;
    // Rates that change by a few bytes often format the same: drawing and sending the same
    // picture again would be the whole cost of an idle second.
    Picture picture{m_model.menuBarLabel(), speed ? speed->rows : QList<QList<RateEntry>>{},
                    speed ? speed->columnWidth : 0, speed && speed->customColors,
                    m_colorScheme->panelTextColor()};
    if (picture != m_picture) {
        m_tray.setIcon(m_renderer.render(picture.title, speed, picture.textColor));
        m_picture = std::move(picture);
    }
    m_tray.setToolTip(statusToolTip(m_model.lastGeo()));
    ++m_redrawCount;
}

void StatusBarController::togglePopover()
{
    if (isPopoverShown())
        m_popover->close();
    else
        showPopover();
}

void StatusBarController::showPopover()
{
    showPopoverAt(m_anchor);
}

void StatusBarController::showPopoverAt(const QRect &anchor)
{
    // Some trays report no place at all (0, 0); the pointer is then the better guess.
    if (!anchor.isNull() && anchor.topLeft() != QPoint(0, 0))
        m_anchor = anchor;
    popover()->showAt(m_anchor);
}

void StatusBarController::showSettings()
{
    if (isPopoverShown())
        m_popover->close();
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsView>(m_model, m_prefs);
        m_settingsWindow->setWindowTitle(u"Velmora Settings"_s);
        // Titled and closable only: no resizing, no minimising.
        m_settingsWindow->setWindowFlags(Qt::Window | Qt::WindowTitleHint |
                                         Qt::WindowCloseButtonHint);
        m_settingsWindow->setFixedSize(m_settingsWindow->sizeHint());
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame = m_settingsWindow->geometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_settingsWindow->move(frame.topLeft());
        }
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

} // namespace velmora
