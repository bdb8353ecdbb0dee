#include "statusbarcontroller.h"

#include "appmodel.h"
#include "desktopcolorscheme.h"
#include "popover/popoverview.h"
#include "popover/popoverwindow.h"
#include "preferences.h"
#include "settings/settingsview.h"
#include "trayimage/traypresenter.h"
#include "trayitem.h"

#include <QCoreApplication>
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
    // Before the program's theme is applied: the scheme keeps the desktop's palette.
    , m_colorScheme(
          std::make_unique<DesktopColorScheme>(qEnvironmentVariable("XDG_CURRENT_DESKTOP")))
    , m_trayPresenter(std::make_unique<TrayPresenter>(model, prefs, tray, *m_colorScheme))
    , m_card(std::make_unique<CardPresenter>(prefs, tray))
{
    routeItemRequests();
    connect(m_card.get(), &CardPresenter::openRequested, this, &StatusBarController::showPopover);
    connect(&m_model, &AppModel::publicAddressChanged, this,
            [this](const GeoInfo &old, const GeoInfo &now) {
                // Nothing to say where the user is already looking.
                if (!isPopoverShown())
                    m_card->show(old, now, m_anchor);
            });
    connect(&m_prefs, &Preferences::popoverClosesAutomaticallyChanged, this, [this] {
        if (m_popover)
            m_popover->setClosesOnOutsideClick(m_prefs.popoverClosesAutomatically());
    });
}

StatusBarController::~StatusBarController() = default;

void StatusBarController::routeItemRequests()
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
}

int StatusBarController::redrawCount() const
{
    return m_trayPresenter->redrawCount();
}

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
        connect(m_popover.get(), &PopoverWindow::shownChanged, this,
                &StatusBarController::popoverShownChanged);
    }
    return m_popover.get();
}

bool StatusBarController::isPopoverShown() const
{
    return m_popover && m_popover->isVisible();
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
    m_card->dismiss();
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
        m_settingsWindow->setWindowTitle(tr("Velmora Settings"));
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
