#pragma once

#include "trayitem.h"

#include <QAbstractNativeEventFilter>

#include <memory>
#include <optional>

struct xcb_connection_t;

namespace velmora {

class XEmbedIconWindow;

// The item docked into an X11 system tray (the XEmbed system-tray protocol) as a window of
// its own that asks for the wide picture's width (Qt's tray icon would get a square slot) and
// is drawn for the slot the tray really gives it. A right click opens the item's menu. Docks
// whenever a tray takes over the screen's tray selection, including a tray that restarts.
class XEmbedTrayItem : public TrayItem, private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit XEmbedTrayItem(QObject *parent = nullptr);
    ~XEmbedTrayItem() override;

    void setIcon(const QList<QImage> &images) override;
    void setToolTip(const QString &text) override;
    // XEmbed trays draw no text.
    void setLabel(const QString &, const QString &) override {}
    // Docked in a tray.
    bool isShown() const override;
    // Decided by the slot the tray gives the docked window; before that, by which tray program
    // owns the tray selection.
    TrayRendering rendering() const override;
    // The colour the tray shows behind the docked window, sampled from the screen.
    QColor panelBackground() const override;
    QRect geometry() const override;
    // The docked window's size, as the tray set it.
    QSize slotSize() const override;

    // Whether the application runs on an X11 display at all.
    bool isAvailable() const;
    // Whether a tray owns the screen's system-tray selection.
    bool isTrayPresent() const;
    // A disabled item leaves the tray and does not dock; items start enabled. The item docks
    // only once it has a picture, so that the tray sizes its slot from the right width.
    void setEnabled(bool enabled);
    bool isEnabled() const;
    // The docked window, 0 when there is none.
    quintptr windowId() const;

Q_SIGNALS:
    void trayPresenceChanged(bool present);

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    void dock();
    void undock();
    void setManager(quint32 window);
    void setShown(bool shown);
    void setSlot(QSize slot);
    void updateRendering();
    // Whether the tray asks for icons with an alpha channel (_NET_SYSTEM_TRAY_VISUAL).
    bool trayOffersArgb() const;
    void sampleBackground();
    // WM_CLASS names and process name of a window.
    QStringList windowNames(quint32 window) const;
    // Those of the tray whose manager window this is.
    QStringList trayIdentities(quint32 window) const;

    xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
    quint32 m_selection = 0;   // _NET_SYSTEM_TRAY_S<screen>
    quint32 m_managerAtom = 0; // MANAGER
    quint32 m_opcode = 0;      // _NET_SYSTEM_TRAY_OPCODE
    quint32 m_xembedInfo = 0;  // _XEMBED_INFO
    quint32 m_trayVisual = 0;  // _NET_SYSTEM_TRAY_VISUAL
    quint32 m_rootPixmap = 0;  // _XROOTPMAP_ID, the wallpaper
    quint32 m_manager = 0;     // the tray's window
    std::unique_ptr<XEmbedIconWindow> m_window;
    QList<QImage> m_images;
    QString m_toolTip;
    bool m_enabled = true;
    bool m_shown = false;
    // What the table knows of the tray, until its slot shows.
    std::optional<TrayRendering> m_knownRendering;
    QSize m_slot;
    TrayRendering m_rendering = TrayRendering::Wide;
};

} // namespace velmora
