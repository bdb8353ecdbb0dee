#include "systemtrayitem.h"

#include "statusnotifieritem.h"
#include "xembedtrayitem.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace velmora {

SystemTrayItem::SystemTrayItem(const QString &id, QObject *parent)
    : TrayItem(parent)
{
    auto *statusNotifier = new StatusNotifierItem(id, this);
    if (statusNotifier->isPublished()) {
        m_statusNotifier = statusNotifier;
        forward(m_statusNotifier);
        connect(m_statusNotifier, &StatusNotifierItem::watcherPresenceChanged, this,
                &SystemTrayItem::choose);
    } else {
        delete statusNotifier;
        std::fputs("velmora: no D-Bus session bus; the tray over D-Bus is unavailable.\n", stderr);
    }

    auto *xembed = new XEmbedTrayItem(this);
    if (xembed->isAvailable()) {
        m_xembed = xembed;
        // Not before the choice: it would dock at once while a watcher is there too.
        m_xembed->setEnabled(false);
        forward(m_xembed);
        connect(m_xembed, &XEmbedTrayItem::trayPresenceChanged, this, &SystemTrayItem::choose);
    } else {
        delete xembed;
    }
    choose();
}

SystemTrayItem::~SystemTrayItem() = default;

void SystemTrayItem::setIcon(const QList<QImage> &images)
{
    // Both keep the picture, so the one that takes over next shows it at once.
    if (m_statusNotifier)
        m_statusNotifier->setIcon(images);
    if (m_xembed)
        m_xembed->setIcon(images);
}

void SystemTrayItem::setToolTip(const QString &text)
{
    if (m_statusNotifier)
        m_statusNotifier->setToolTip(text);
    if (m_xembed)
        m_xembed->setToolTip(text);
}

void SystemTrayItem::setLabel(const QString &label, const QString &guide)
{
    if (m_statusNotifier)
        m_statusNotifier->setLabel(label, guide);
}

bool SystemTrayItem::isShown() const
{
    return m_shown;
}

TrayRendering SystemTrayItem::rendering() const
{
    return m_rendering;
}

QColor SystemTrayItem::panelBackground() const
{
    return m_carrier == Carrier::XEmbed ? m_xembed->panelBackground() : QColor();
}

QRect SystemTrayItem::geometry() const
{
    return m_carrier == Carrier::XEmbed ? m_xembed->geometry() : QRect();
}

QSize SystemTrayItem::slotSize() const
{
    switch (m_carrier) {
    case Carrier::StatusNotifier:
        return m_statusNotifier->slotSize();
    case Carrier::XEmbed:
        return m_xembed->slotSize();
    case Carrier::None:
        break;
    }
    return {};
}

SystemTrayItem::Carrier SystemTrayItem::carrier() const
{
    return m_carrier;
}

void SystemTrayItem::choose()
{
    Carrier next = Carrier::None;
    if (m_statusNotifier && m_statusNotifier->isWatcherPresent())
        next = Carrier::StatusNotifier;
    else if (m_xembed && m_xembed->isTrayPresent())
        next = Carrier::XEmbed;
    if (m_xembed)
        m_xembed->setEnabled(next == Carrier::XEmbed);
    if (next == Carrier::None && !m_toldNoTray) {
        m_toldNoTray = true;
        std::fputs("velmora: no system tray found; the item will appear when one starts.\n",
                   stderr);
    }
    const bool changed = next != m_carrier;
    m_carrier = next;
    if (changed) {
        Q_EMIT carrierChanged(next);
        Q_EMIT panelBackgroundChanged();
        Q_EMIT slotSizeChanged();
    }
    updateRendering();
    updateShown();
}

void SystemTrayItem::updateRendering()
{
    TrayRendering rendering = TrayRendering::Wide;
    if (m_carrier == Carrier::StatusNotifier)
        rendering = m_statusNotifier->rendering();
    else if (m_carrier == Carrier::XEmbed)
        rendering = m_xembed->rendering();
    if (rendering == m_rendering)
        return;
    m_rendering = rendering;
    Q_EMIT renderingChanged(rendering);
}

void SystemTrayItem::updateShown()
{
    const bool shown = (m_carrier == Carrier::StatusNotifier && m_statusNotifier->isShown()) ||
                       (m_carrier == Carrier::XEmbed && m_xembed->isShown());
    if (shown == m_shown)
        return;
    m_shown = shown;
    Q_EMIT shownChanged(shown);
}

void SystemTrayItem::forward(TrayItem *item)
{
    connect(item, &TrayItem::activated, this, &TrayItem::activated);
    connect(item, &TrayItem::shownChanged, this, &SystemTrayItem::updateShown);
    connect(item, &TrayItem::renderingChanged, this, &SystemTrayItem::updateRendering);
    connect(item, &TrayItem::menuActionTriggered, this, &TrayItem::menuActionTriggered);
    connect(item, &TrayItem::panelBackgroundChanged, this, &TrayItem::panelBackgroundChanged);
    connect(item, &TrayItem::slotSizeChanged, this, &TrayItem::slotSizeChanged);
}

} // namespace velmora
