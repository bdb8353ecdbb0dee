#include "statusbarcontroller.h"

#include "appmodel.h"
#include "desktopcolorscheme.h"
#include "flag.h"
#include "placement.h"
#include "platform/windowsystemhints.h"
#include "popover/popoverview.h"
#include "popover/popoverwindow.h"
#include "preferences.h"
#include "settings/settingsview.h"
#include "toast/desktopnotice.h"
#include "toast/toastview.h"
#include "toast/toastwindow.h"
#include "trayimage/squarerates.h"
#include "trayimage/statustooltip.h"
#include "trayitem.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// The signs the item shows while it has no place to show: offline, and looking it up.
bool isStateSign(const QString &title)
{
    return title == Flag::offline() || title == Flag::loading();
}

} // namespace

StatusBarController::StatusBarController(AppModel &model, Preferences &prefs, TrayItem &tray,
                                         QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_prefs(prefs)
    , m_tray(tray)
    // Before the theme below: the scheme keeps the desktop's palette, not the program's.
    , m_colorScheme(
          std::make_unique<DesktopColorScheme>(qEnvironmentVariable("XDG_CURRENT_DESKTOP")))
{
    connect(&m_tray, &TrayItem::activated, this, [this](const QRect &anchor) {
        if (isPopoverShown()) {
            m_popover->close();
            return;
        }
        showPopoverAt(anchor);
    });
    connect(&m_tray, &TrayItem::menuActionTriggered, this, [this](TrayItem::MenuAction action) {
        switch (action) {
        case TrayItem::MenuAction::ShowPopover:
            showPopover();
            break;
        case TrayItem::MenuAction::ShowSettings:
            showSettings();
            break;
        case TrayItem::MenuAction::Quit:
            QCoreApplication::quit();
            break;
        }
    });

    QPointer<StatusBarController> self(this);
    m_model.setOnIPChange([self](const GeoInfo &old, const GeoInfo &now) {
        if (self)
            self->showIPChangeToast(old, now);
    });
    m_toastDismiss.setSingleShot(true);
    connect(&m_toastDismiss, &QTimer::timeout, this, &StatusBarController::dismissToast);

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
    connect(&m_tray, &TrayItem::renderingChanged, this, redraw);
    connect(&m_tray, &TrayItem::panelBackgroundChanged, this, redraw);
    connect(&m_tray, &TrayItem::slotSizeChanged, this, redraw);
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

    const TrayRendering rendering = m_tray.rendering();
    const SpeedImageSettings settings = SpeedImageSettings::from(m_prefs);
    const double download = m_model.downloadRate();
    const double upload = m_model.uploadRate();
    m_ratesShown = live;
    // A tray that shows what is behind the item beats any guess about the panel.
    const QColor behind = m_tray.panelBackground();

    Picture picture{.rendering = rendering,
                    .title = m_model.menuBarLabel(),
                    .rows = {},
                    .columnWidth = 0,
                    .customColors = live && settings.customColors,
                    .textColor = behind.isValid() ? textColorFor(shadeOf(behind))
                                                  : m_colorScheme->panelTextColor(),
                    .onBadge = !behind.isValid() && !m_colorScheme->knowsPanel(),
                    .slot = m_tray.slotSize()};
    std::optional<SpeedImageLayout> speed;
    QString label;
    QString guide;
    if (live) {
        switch (rendering) {
        case TrayRendering::Wide:
            speed = layoutSpeedImage(download, upload, settings);
            picture.rows = speed->rows;
            picture.columnWidth = speed->columnWidth;
            break;
        case TrayRendering::Square:
            // Without a record the square shows the state's sign, as the wide picture does
            // beside its rates: there is no room for both.
            if (!isStateSign(picture.title))
                picture.rows = {speedEntries(download, upload, settings, &compactRate)};
            break;
        case TrayRendering::Label: {
            const QList<RateEntry> entries = speedEntries(download, upload, settings);
            label = speedLabel(entries);
            guide = speedLabelGuide(entries, settings.speedUnit);
            picture.customColors = false; // the host colours the label
            break;
        }
        }
    }
    // Rates that change by a few bytes often format the same: drawing and sending the same
    // picture again would be the whole cost of an idle second.
    if (picture != m_picture) {
        m_tray.setIcon(render(picture, speed));
        m_picture = std::move(picture);
    }
    m_tray.setLabel(label, guide);
    m_tray.setToolTip(statusToolTip(m_model.lastGeo()));
    ++m_redrawCount;
}

QList<QImage> StatusBarController::render(const Picture &picture,
                                          const std::optional<SpeedImageLayout> &speed)
{
    switch (picture.rendering) {
    case TrayRendering::Wide:
        break;
    case TrayRendering::Label:
        return m_renderer.renderSquareTitle(picture.title);
    case TrayRendering::Square:
        // The flag stays in the popover and the tool tip: the square is the rates' alone.
        if (picture.rows.isEmpty())
            return m_renderer.renderSquareTitle(picture.title);
        return m_renderer.renderSquareRates(picture.rows.first(),
                                            {.customColors = picture.customColors,
                                             .panelTextColor = picture.textColor,
                                             .onBadge = picture.onBadge},
                                            picture.slot);
    }
    return m_renderer.render(picture.title, speed, picture.textColor);
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
    dismissToast();
    // Some trays report no place at all (0, 0); the pointer is then the better guess.
    if (!anchor.isNull() && anchor.topLeft() != QPoint(0, 0))
        m_anchor = anchor;
    popover()->showAt(m_anchor);
}

void StatusBarController::showIPChangeToast(const GeoInfo &old, const GeoInfo &now)
{
    // Nothing to say where the user is already looking, or where no item shows where it is
    // from; such a change is not kept for later either.
    if (!m_prefs.showIPChangeToast() || isPopoverShown() || !m_tray.isShown())
        return;
    if (!m_windowSystem)
        m_windowSystem = WindowSystemHints::create();
    QPointer<StatusBarController> self(this);
    const auto open = [self] {
        if (self)
            self->showPopover();
    };
    if (!m_windowSystem->placesOwnWindows()) {
        // A card the compositor puts anywhere would not be beside the item.
        if (!m_notice)
            m_notice = std::make_unique<DesktopNotice>(open);
        m_notice->show(old, now, m_toastTimings.onScreen);
        return;
    }
    m_toastDismiss.stop();
    // A card already up goes at once, without fading, for the new one.
    m_fadedToast.reset();
    m_toast.reset();
    m_toast = std::make_unique<ToastWindow>(new ToastView(old, now, open), *m_windowSystem);
    m_toast->adjustSize();
    const QRect docked = m_tray.geometry();
    m_toast->fadeIn(placeNearTray(docked.isNull() ? m_anchor : docked, m_toast->size(),
                                  ScreenArea::all(), m_windowSystem->reservedStrips(),
                                  toastSpacing),
                    m_toastTimings.fadeIn);
    m_windowSystem->keepPosition(m_toast->windowHandle());
    m_toastDismiss.start(m_toastTimings.onScreen);
}

void StatusBarController::dismissToast()
{
    if (m_notice)
        m_notice->close();
    m_toastDismiss.stop();
    if (!m_toast)
        return;
    m_fadedToast = std::move(m_toast);
    m_fadedToast->fadeOut(m_toastTimings.fadeOut);
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
