#include "platform/platformchoice.h"

#include <QtGlobal>

using namespace Qt::StringLiterals;

namespace velmora {

WindowSession windowSession(const QStringList &arguments, const QString &platform, bool wayland,
                            bool x11)
{
    // Qt takes the option with one dash or two.
    if (!platform.isEmpty() || arguments.contains(u"-platform"_s) ||
        arguments.contains(u"--platform"_s)) {
        if (platform.startsWith(u"xcb"_s))
            return x11 ? WindowSession::chosen : WindowSession::none;
        if (platform.startsWith(u"wayland"_s))
            return wayland ? WindowSession::chosen : WindowSession::none;
        return WindowSession::chosen;
    }
    if (x11)
        return WindowSession::x11;
    return wayland ? WindowSession::waylandOnly : WindowSession::none;
}

WindowSession choosePlatform(int argc, const char *const *argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const WindowSession session = windowSession(arguments, qEnvironmentVariable("QT_QPA_PLATFORM"),
                                                wayland, !qEnvironmentVariableIsEmpty("DISPLAY"));
    // A Wayland client cannot place its windows: the compositor does. Weston and GNOME Shell
    // put a Qt window asked for at (900, 40) somewhere of their own; through XWayland GNOME
    // Shell keeps it there, beside the tray item, as X11 desktops do. Qt would pick Wayland.
    if (session == WindowSession::x11 && wayland)
        qputenv("QT_QPA_PLATFORM", "xcb");
    return session;
}

} // namespace velmora
