#pragma once

#include "trayhosts.h"

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace velmora {

// The program's item in the desktop's tray: a picture, a tool tip and clicks. Whichever tray
// protocol carries it is the implementation's business.
class TrayItem : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The picture at one or more device-pixel ratios; each image carries its own ratio
    // (QImage::devicePixelRatio) and all show the same logical size. Never padded to a square.
    virtual void setIcon(const QList<QImage> &images) = 0;
    virtual void setToolTip(const QString &text) = 0;
    // Text the host draws beside the picture, on hosts that draw text (TrayRendering::Label);
    // guide is the widest text the label will show, so the host can keep the item's width.
    // Ignored elsewhere.
    virtual void setLabel(const QString &label, const QString &guide) = 0;
    // Whether a tray shows the item right now.
    virtual bool isShown() const = 0;
    // What the tray the item sits in does with pictures and labels.
    virtual TrayRendering rendering() const = 0;
    // The colour the tray shows behind the item, where the item can see it (a docked X11
    // window samples it); invalid where the tray keeps it to itself.
    virtual QColor panelBackground() const { return {}; }
    // Where the item is on screen, in global logical coordinates, where the tray lets the item
    // know it without a click (a docked X11 window can ask); null elsewhere.
    virtual QRect geometry() const { return {}; }
    // The size of the slot the tray gives the item, where the item learns it (a docked X11
    // window is resized by its tray, some hosts draw every icon at one size); empty elsewhere.
    // Pictures drawn for it need no scaling.
    virtual QSize slotSize() const { return {}; }

    // The entries of the item's menu, for hosts that open a menu instead of clicking.
    enum class MenuAction { ShowPopover, ShowSettings, Quit };
    Q_ENUM(MenuAction)
    // One line of that menu; a line without an action is a separator.
    struct MenuLine
    {
        QString label;
        std::optional<MenuAction> action;
    };
    // The menu, top line first: the same on every tray that opens one.
    static QList<MenuLine> menu()
    {
        return {{QCoreApplication::translate("Tray", "Open Velmora"), MenuAction::ShowPopover},
                {{}, std::nullopt},
                {QCoreApplication::translate("Tray", "Settings…"), MenuAction::ShowSettings},
                {QCoreApplication::translate("Tray", "Quit"), MenuAction::Quit}};
    }

Q_SIGNALS:
    // The primary click. anchor is where the item is on screen, in global logical
    // coordinates: its rectangle when the tray tells it, else a 1×1 rectangle at the click,
    // else a null rectangle.
    void activated(const QRect &anchor);
    void shownChanged(bool shown);
    void renderingChanged(velmora::TrayRendering rendering);
    void panelBackgroundChanged();
    void slotSizeChanged();
    void menuActionTriggered(velmora::TrayItem::MenuAction action);
};

} // namespace velmora
