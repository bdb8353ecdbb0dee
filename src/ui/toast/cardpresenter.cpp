#include "cardpresenter.h"

#include "desktopnotice.h"
#include "placement.h"
#include "platform/windowsystemhints.h"
#include "preferences.h"
#include "toastview.h"
#include "toastwindow.h"
#include "trayitem.h"

#include <QPointer>

namespace velmora {

CardPresenter::CardPresenter(Preferences &prefs, TrayItem &tray, QObject *parent)
    : QObject(parent)
    , m_prefs(prefs)
    , m_tray(tray)
{
    m_dismissTimer.setSingleShot(true);
    connect(&m_dismissTimer, &QTimer::timeout, this, &CardPresenter::dismiss);
}

CardPresenter::~CardPresenter() = default;

void CardPresenter::show(const GeoInfo &old, const GeoInfo &now, const QRect &itemAnchor)
{
    // Nothing to say where no item shows where it is from; such a change is not kept for
    // later either.
    if (!m_prefs.showIPChangeToast() || !m_tray.isShown())
        return;
    if (!m_windowSystem)
        m_windowSystem = WindowSystemHints::create();
    QPointer<CardPresenter> self(this);
    const auto open = [self] {
        if (self)
            Q_EMIT self->openRequested();
    };
    if (!m_windowSystem->placesOwnWindows()) {
        // A card the compositor puts anywhere would not be beside the item.
        if (!m_notice)
            m_notice = std::make_unique<DesktopNotice>(open);
        m_notice->show(old, now, m_timings.onScreen);
        return;
    }
    m_dismissTimer.stop();
    // A card already up goes at once, without fading, for the new one.
    m_faded.reset();
    m_card.reset();
    m_card = std::make_unique<ToastWindow>(new ToastView(old, now, open), *m_windowSystem);
    m_card->adjustSize();
    const QRect docked = m_tray.geometry();
    m_card->fadeIn(placeNearTray(docked.isNull() ? itemAnchor : docked, m_card->size(),
                                 ScreenArea::all(), m_windowSystem->reservedStrips(), toastSpacing),
                   m_timings.fadeIn);
    m_windowSystem->keepPosition(m_card->windowHandle());
    m_dismissTimer.start(m_timings.onScreen);
}

void CardPresenter::dismiss()
{
    if (m_notice)
        m_notice->close();
    m_dismissTimer.stop();
    if (!m_card)
        return;
    m_faded = std::move(m_card);
    m_faded->fadeOut(m_timings.fadeOut);
}

} // namespace velmora
