#include "platform/windowsystemhints.h"
#include "platform/windowsystemhints_sway.h"
#include "platform/xcbreply.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <xcb/xcb.h>

#include <memory>

namespace velmora {

namespace {

class NoHints final : public WindowSystemHints
{
public:
    bool isCompositing() const override { return false; }
    QList<QRect> reservedStrips() const override { return {}; }
    void keepOnAllWorkspacesUnlisted(QWindow *) const override {}
    void markAsNotification(QWindow *) const override {}
    bool placesOwnWindows() const override { return true; }
};

class X11Hints final : public WindowSystemHints
{
public:
    explicit X11Hints(xcb_connection_t *connection)
        : m_connection(connection)
        // Every monitor of a current X desktop is part of its one X screen.
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root)
        , m_compositorSelection(atom("_NET_WM_CM_S0"))
        , m_clientList(atom("_NET_CLIENT_LIST"))
        , m_strutPartial(atom("_NET_WM_STRUT_PARTIAL"))
        , m_strut(atom("_NET_WM_STRUT"))
    {}

    bool isCompositing() const override
    {
        const XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, m_compositorSelection), nullptr));
        return owner && owner->owner != XCB_NONE;
    }

    QList<QRect> reservedStrips() const override
    {
        const QRect root = rootGeometry();
        QList<QRect> strips;
        for (const xcb_window_t window : topLevelWindows()) {
            QList<quint32> strut = cardinals(window, m_strutPartial, 12);
            if (strut.size() < 12) {
                // The older form reserves along the whole edge.
                strut = cardinals(window, m_strut, 4);
                if (strut.size() < 4)
                    continue;
                const int w = root.width() - 1, h = root.height() - 1;
                strut << 0 << h << 0 << h << 0 << w << 0 << w;
            }
            strips << nativeStrips(strut, root);
        }
        for (QRect &strip : strips)
            strip = toLogical(strip);
        return strips;
    }

    void markAsNotification(QWindow *window) const override
    {
        // Qt sets the type only with the window's flags, on creation; it stays as written
        // here. A tool window is the fallback where notifications are unknown.
        const xcb_atom_t types[] = {atom("_NET_WM_WINDOW_TYPE_NOTIFICATION"),
                                    atom("_NET_WM_WINDOW_TYPE_UTILITY")};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
                            atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, std::size(types),
                            types);
        keepOnAllWorkspacesUnlisted(window);
    }

    bool placesOwnWindows() const override { return true; }

    void keepOnAllWorkspacesUnlisted(QWindow *window) const override
    {
        // Read by the window manager when the window is mapped; Qt adds its own states to
        // these then rather than replacing them.
        const auto id = xcb_window_t(window->winId());
        const quint32 allWorkspaces = 0xffffffff;
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_DESKTOP"),
                            XCB_ATOM_CARDINAL, 32, 1, &allWorkspaces);
        const xcb_atom_t states[] = {atom("_NET_WM_STATE_STICKY"),
                                     atom("_NET_WM_STATE_SKIP_TASKBAR"),
                                     atom("_NET_WM_STATE_SKIP_PAGER")};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_STATE"),
                            XCB_ATOM_ATOM, 32, std::size(states), states);
        xcb_flush(m_connection);
    }

private:
    xcb_atom_t atom(const char *name) const
    {
        const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(qstrlen(name)), name),
            nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    QList<quint32> cardinals(xcb_window_t window, xcb_atom_t property, int count) const
    {
        const XcbReply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 0, window, property,
                                                    XCB_ATOM_CARDINAL, 0, uint32_t(count)),
                                   nullptr));
        if (!reply || reply->format != 32)
            return {};
        const auto *values = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
        return QList<quint32>(values, values + xcb_get_property_value_length(reply.get()) / 4);
    }

    // The window manager's list of the windows it manages (frames hide the panel's own window
    // from the tree), else, without a window manager, the root window's children.
    QList<xcb_window_t> topLevelWindows() const
    {
        const XcbReply<xcb_get_property_reply_t> list(xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, m_root, m_clientList, XCB_ATOM_WINDOW, 0, 4096),
            nullptr));
        if (list && list->format == 32 && xcb_get_property_value_length(list.get()) > 0) {
            const auto *windows =
                static_cast<const xcb_window_t *>(xcb_get_property_value(list.get()));
            return QList<xcb_window_t>(windows,
                                       windows + xcb_get_property_value_length(list.get()) / 4);
        }
        const XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr));
        if (!tree)
            return {};
        const xcb_window_t *children = xcb_query_tree_children(tree.get());
        return QList<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
    }

    QRect rootGeometry() const
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        return QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    }

    // _NET_WM_STRUT_PARTIAL: left, right, top, bottom thicknesses, then the start and end of
    // each along its edge, all in the root window's pixels.
    static QList<QRect> nativeStrips(const QList<quint32> &s, const QRect &root)
    {
        const auto span = [](quint32 start, quint32 end) { return int(end) - int(start) + 1; };
        QList<QRect> strips;
        if (s[0] > 0)
            strips << QRect(0, int(s[4]), int(s[0]), span(s[4], s[5]));
        if (s[1] > 0)
            strips << QRect(root.width() - int(s[1]), int(s[6]), int(s[1]), span(s[6], s[7]));
        if (s[2] > 0)
            strips << QRect(int(s[8]), 0, span(s[8], s[9]), int(s[2]));
        if (s[3] > 0)
            strips << QRect(int(s[10]), root.height() - int(s[3]), span(s[10], s[11]), int(s[3]));
        return strips;
    }

    // Qt keeps each screen's origin and scales its extent by the pixel ratio.
    static QRect toLogical(const QRect &native)
    {
        for (const QScreen *screen : QGuiApplication::screens()) {
            const QRect logical = screen->geometry();
            const qreal ratio = screen->devicePixelRatio();
            const QRect nativeScreen(logical.topLeft(), (QSizeF(logical.size()) * ratio).toSize());
            if (nativeScreen.contains(native.center())) {
                const QPointF offset = QPointF(native.topLeft() - logical.topLeft()) / ratio;
                return QRect(logical.topLeft() + offset.toPoint(),
                             (QSizeF(native.size()) / ratio).toSize());
            }
        }
        return native;
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    xcb_atom_t m_compositorSelection;
    xcb_atom_t m_clientList;
    xcb_atom_t m_strutPartial;
    xcb_atom_t m_strut;
};

} // namespace

std::unique_ptr<WindowSystemHints> WindowSystemHints::create()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 && x11->connection()) {
        auto hints = std::make_unique<X11Hints>(x11->connection());
        // Through XWayland on sway, whose IPC tells where its bars are and moves windows.
        if (const QString sway = qEnvironmentVariable("SWAYSOCK"); !sway.isEmpty())
            return swayHints(std::move(hints), sway);
        return hints;
    }
    if (QGuiApplication::platformName().startsWith(QLatin1StringView("wayland")))
        return forWayland();
    return std::make_unique<NoHints>();
}

} // namespace velmora
