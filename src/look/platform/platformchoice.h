#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The window system a Velmora program runs on, as the session offers it.
enum class WindowSession {
    chosen,      // the user named Qt's platform (QT_QPA_PLATFORM or -platform): it holds
    x11,         // X11, on its own or as XWayland beside a Wayland compositor
    waylandOnly, // Wayland without XWayland: a plain Wayland client
    none,        // no display, or none for the platform the user named
};

// Which one it is, from the program's arguments, QT_QPA_PLATFORM and whether WAYLAND_DISPLAY
// and DISPLAY name a display.
WindowSession windowSession(const QStringList &arguments, const QString &platform, bool wayland,
                            bool x11);

// Decides the session from this process's environment and arguments and, where XWayland runs
// beside Wayland and the user chose nothing, asks Qt for X11. Call before the application
// object exists.
WindowSession choosePlatform(int argc, const char *const *argv);

} // namespace velmora
