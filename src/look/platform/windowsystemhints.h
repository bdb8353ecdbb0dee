#pragma once

#include <QCursor>
#include <QList>
#include <QRect>

#include <memory>
#include <optional>

class QWindow;

namespace velmora {

// What the window system tells about the desktop around the program's windows, and the one
// wish about them it takes outside Qt.
class WindowSystemHints
{
public:
    virtual ~WindowSystemHints() = default;

    // Whether a compositing manager runs, so that translucent windows show what lies behind.
    virtual bool isCompositing() const = 0;
    // The strips that panel windows reserve along the screen edges (their struts), in global
    // logical coordinates; they hold even where no window manager turns them into a smaller
    // available area.
    virtual QList<QRect> reservedStrips() const = 0;
    // Asks that window, not yet shown, be kept on every workspace and out of task bars and
    // pagers, which Qt's window flags cannot say. Does nothing where the window system has no
    // such wish.
    virtual void keepOnAllWorkspacesUnlisted(QWindow *window) const = 0;
    // As keepOnAllWorkspacesUnlisted, and taken for a notification.
    virtual void markAsNotification(QWindow *window) const = 0;
    // Whether the program's windows go where it puts them and may grab the pointer. A Wayland
    // client's go where the compositor puts them, and only its popups grab.
    virtual bool placesOwnWindows() const = 0;
    // Where the pointer is, where the program can tell: an X11 program on a Wayland
    // compositor sees it only while it is over the program's own windows.
    virtual std::optional<QPoint> pointer() const { return QCursor::pos(); }
    // Asks that window, shown, stay where the program moved it, where the window manager puts
    // windows of its own accord whatever they ask; nothing elsewhere.
    virtual void keepPosition(QWindow *window) const { Q_UNUSED(window); }

    // The hints of the window system the application runs on, X11 or Wayland; on one it cannot
    // ask, hints that report no compositor and no strips.
    static std::unique_ptr<WindowSystemHints> create();
    // The hints of a Wayland session, which composites always and says nothing of panels.
    static std::unique_ptr<WindowSystemHints> forWayland();
};

} // namespace velmora
