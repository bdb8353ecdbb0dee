#pragma once

#include "trayitem.h"

namespace velmora {

class StatusNotifierItem;
class XEmbedTrayItem;

// The program's tray item on whatever tray the desktop has: a StatusNotifierItem while a
// watcher is on the session bus, else a window docked into an X11 system tray, else nothing
// until one of them starts (one line on stderr says so). It follows trays as they come and go
// and hands each the last picture and tool tip.
class SystemTrayItem : public TrayItem
{
    Q_OBJECT

public:
    enum class Carrier { None, StatusNotifier, XEmbed };
    Q_ENUM(Carrier)

    explicit SystemTrayItem(const QString &id, QObject *parent = nullptr);
    ~SystemTrayItem() override;

    void setIcon(const QList<QImage> &images) override;
    void setToolTip(const QString &text) override;
    void setLabel(const QString &label, const QString &guide) override;
    bool isShown() const override;
    // The rendering of whichever tray carries the item now.
    TrayRendering rendering() const override;
    // That of whichever tray carries the item now.
    QColor panelBackground() const override;
    QRect geometry() const override;
    QSize slotSize() const override;

    // Which tray protocol carries the item now.
    Carrier carrier() const;

Q_SIGNALS:
    void carrierChanged(velmora::SystemTrayItem::Carrier carrier);

private:
    void choose();
    void updateShown();
    void updateRendering();
    void forward(TrayItem *item);

    StatusNotifierItem *m_statusNotifier = nullptr;
    XEmbedTrayItem *m_xembed = nullptr;
    Carrier m_carrier = Carrier::None;
    bool m_shown = false;
    TrayRendering m_rendering = TrayRendering::Wide;
    bool m_toldNoTray = false;
};

} // namespace velmora
