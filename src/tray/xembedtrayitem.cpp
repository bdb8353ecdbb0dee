#include "xembedtrayitem.h"

#include "panelcolors.h"
#include "platform/xcbreply.h"
#include "traymenu.h"
#include "xembedpictures.h"

#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <functional>

using namespace Qt::StringLiterals;

namespace velmora {

using namespace xembed;

namespace {

constexpr quint32 systemTrayRequestDock = 0;
constexpr quint32 xembedMapped = 1;

quint32 internAtom(xcb_connection_t *connection, const QByteArray &name)
{
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()),
        nullptr));
    return reply ? reply->atom : quint32(XCB_ATOM_NONE);
}

// The screen Qt connected to, from DISPLAY (":0.1" is screen 1).
int screenNumber()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString screen = display.section(u':', -1).section(u'.', 1, 1);
    bool ok = false;
    const int number = screen.toInt(&ok);
    return ok ? number : 0;
}

} // namespace

// The window the tray embeds. It stays hidden for Qt until the tray has taken it, so that it
// never flashes on the desktop, and bypasses the window manager, which must not frame it. It
// draws no box of its own: the picture stands on whatever the tray shows behind it.
class XEmbedIconWindow : public QWidget
{
public:
    // The button, the window's place on the screen and the click's.
    using ClickHandler = std::function<void(Qt::MouseButton, const QRect &, QPoint)>;

    // With argb, the window gets a visual with alpha and stays transparent where the picture
    // is, for trays that offer such a visual and blend what their icons draw. Without, it
    // takes its parent's background (ParentRelative) and paints that under the picture.
    XEmbedIconWindow(xcb_connection_t *connection, bool argb, ClickHandler onClick)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint |
                               Qt::WindowDoesNotAcceptFocus)
        , m_connection(connection)
        , m_argb(argb)
        , m_onClick(std::move(onClick))
    {
        setAttribute(Qt::WA_AlwaysShowToolTips);
        setAttribute(Qt::WA_X11DoNotAcceptFocus);
        setAttribute(Qt::WA_TranslucentBackground, argb);
        setWindowTitle(u"Velmora"_s);
        if (!argb) {
            const quint32 parentRelative = XCB_BACK_PIXMAP_PARENT_RELATIVE;
            xcb_change_window_attributes(m_connection, xcb_window_t(winId()), XCB_CW_BACK_PIXMAP,
                                         &parentRelative);
        }
    }

    void setImages(const QList<QImage> &images)
    {
        m_images = images;
        // The size asked for: the picture for a 22-px tray, the usual height. Once the wide
        // picture has asked for its width, pictures drawn for the slot the tray gave instead
        // keep asking for it, so that a tray that grants widths can still grant it.
        const QImage picture = imageFor(images, 22, 1);
        const QSize size =
            picture.isNull() ? QSize(22, 22) : picture.deviceIndependentSize().toSize();
        if (isWide(size) || !m_asked.isValid())
            m_asked = size;
        if (m_asked != minimumSize())
            setFixedSize(m_asked);
        update();
    }

    // The width the last wide picture asked for; 0 before one came.
    int askedWidth() const { return isWide(m_asked) ? m_asked.width() : 0; }

    // The colour the tray shows behind the item, as last sampled; invalid before.
    QColor background() const { return m_background; }

    // Where the tray put the item on the screen, asked of the X server: Qt does not follow a
    // window the tray reparents. Null when it cannot be read.
    QRect onScreen(xcb_window_t *root = nullptr) const
    {
        const auto window = xcb_window_t(winId());
        const XcbReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
        if (root)
            *root = geometry ? geometry->root : 0;
        if (!geometry)
            return {};
        const XcbReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
            m_connection, xcb_translate_coordinates(m_connection, window, geometry->root, 0, 0),
            nullptr));
        return origin ? QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height)
                      : QRect();
    }

    // Reads what the tray shows behind the item again; true when its colour changed.
    bool sampleBackground()
    {
        const auto window = xcb_window_t(winId());
        xcb_window_t root = 0;
        const QRect onScreen = this->onScreen(&root);
        if (onScreen.isEmpty())
            return false;
        // The panel around the slot, as the screen shows it: never our own drawing.
        const QRect ring = onScreen.adjusted(-3, -3, 3, 3) & screenRect(root);
        const QColor around =
            dominantColor(pixelsOf(root, ring), onScreen.translated(-ring.topLeft()));
        QColor background = around;
        if (!m_argb) {
            // Our own pixels hide the parent's: let the server paint its background again.
            // Pseudo-transparent trays set it to the wallpaper behind the slot; others leave
            // it at a colour of their toolkit's that the panel itself need not show.
            xcb_clear_area(m_connection, 0, window, 0, 0, 0, 0);
            m_behind = pixelsOf(window, QRect(QPoint(0, 0), onScreen.size()));
            const QColor parent = dominantColor(m_behind);
            if (!around.isValid() || (parent.isValid() && similar(parent, around)))
                background = parent;
            else
                m_behind.fill(around);
        }
        update();
        if (!background.isValid() || background == m_background)
            return false;
        m_background = background;
        return true;
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (m_argb) {
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(rect(), Qt::transparent);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        } else if (!m_behind.isNull()) {
            painter.drawImage(QPoint(0, 0), m_behind);
        }
        const QImage image = imageFor(m_images, height(), devicePixelRatioF());
        if (image.isNull())
            return;
        // Shrunk only when the tray gives a smaller slot than any picture needs.
        QSizeF size = image.deviceIndependentSize();
        size.scale(size.boundedTo(QSizeF(this->size())), Qt::KeepAspectRatio);
        const QPointF corner(size.width() < width() && size.width() <= size.height()
                                 ? (width() - size.width()) / 2
                                 : 0,
                             (height() - size.height()) / 2);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(corner, size), image);
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (!rect().contains(event->position().toPoint()))
            return;
        // The tray moves its sockets without telling the embedded window, so its position
        // comes from the click rather than from what Qt last heard.
        const QPoint origin = (event->globalPosition() - event->position()).toPoint();
        m_onClick(event->button(), QRect(origin, size()), event->globalPosition().toPoint());
    }

private:
    xcb_connection_t *m_connection;
    bool m_argb;
    ClickHandler m_onClick;
    QList<QImage> m_images;
    QSize m_asked;
    QImage m_behind; // the parent's background, for ParentRelative windows
    QColor m_background;
};

XEmbedTrayItem::XEmbedTrayItem(QObject *parent)
    : TrayItem(parent)
{
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    m_connection = x11->connection();
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int skip = screenNumber(); skip > 0 && screens.rem > 1; --skip)
        xcb_screen_next(&screens);
    m_root = screens.data->root;
    m_selection =
        internAtom(m_connection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber()));
    m_managerAtom = internAtom(m_connection, "MANAGER");
    m_opcode = internAtom(m_connection, "_NET_SYSTEM_TRAY_OPCODE");
    m_xembedInfo = internAtom(m_connection, "_XEMBED_INFO");
    m_trayVisual = internAtom(m_connection, "_NET_SYSTEM_TRAY_VISUAL");
    m_rootPixmap = internAtom(m_connection, "_XROOTPMAP_ID");

    // A starting tray announces itself to the root window's structure listeners; a new
    // wallpaper (which pseudo-transparent trays show) is a property change there. The event
    // mask is per client, so Qt's own selection on the root window is kept.
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, m_root), nullptr));
    const quint32 mask = (attributes ? attributes->your_event_mask : 0) |
                         XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    qGuiApp->installNativeEventFilter(this);

    const XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr));
    setManager(owner ? owner->owner : quint32(XCB_WINDOW_NONE));
    xcb_flush(m_connection);
}

XEmbedTrayItem::~XEmbedTrayItem()
{
    if (m_connection && qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
    undock();
}

void XEmbedTrayItem::setIcon(const QList<QImage> &images)
{
    m_images = images;
    if (m_window)
        m_window->setImages(images);
    else
        dock();
}

void XEmbedTrayItem::setToolTip(const QString &text)
{
    // Qt shows anything that looks like markup as rich text; the tip carries a provider's
    // names, which must show as the text they are, never load or draw what they name.
    m_toolTip = Qt::mightBeRichText(text)
                    ? u"<p style=\"white-space:pre\">%1</p>"_s.arg(text.toHtmlEscaped())
                    : text;
    if (m_window)
        m_window->setToolTip(m_toolTip);
}

bool XEmbedTrayItem::isShown() const
{
    return m_shown;
}

TrayRendering XEmbedTrayItem::rendering() const
{
    return m_rendering;
}

QColor XEmbedTrayItem::panelBackground() const
{
    return m_window && m_shown ? m_window->background() : QColor();
}

QRect XEmbedTrayItem::geometry() const
{
    return m_window && m_shown ? m_window->onScreen() : QRect();
}

QSize XEmbedTrayItem::slotSize() const
{
    return m_shown ? m_slot : QSize();
}

void XEmbedTrayItem::setSlot(QSize slot)
{
    if (slot == m_slot)
        return;
    m_slot = slot;
    Q_EMIT slotSizeChanged();
    updateRendering();
}

void XEmbedTrayItem::updateRendering()
{
    // The slot the tray really gives decides, whatever the table expects: the wide picture
    // only where it fits whole, since trays that fix their slots shrink it to a smear.
    TrayRendering rendering = m_knownRendering.value_or(TrayRendering::Wide);
    if (m_window && m_shown && m_slot.isValid()) {
        const int wide = m_window->askedWidth();
        rendering = (wide > 0 ? m_slot.width() >= wide : m_slot.width() >= 3 * m_slot.height())
                        ? TrayRendering::Wide
                        : TrayRendering::Square;
    }
    if (rendering == m_rendering)
        return;
    m_rendering = rendering;
    Q_EMIT renderingChanged(rendering);
}

bool XEmbedTrayItem::trayOffersArgb() const
{
    const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, m_manager, m_trayVisual, XCB_ATOM_VISUALID, 0, 1),
        nullptr));
    const xcb_visualid_t visual =
        reply && xcb_get_property_value_length(reply.get()) == 4
            ? *static_cast<const xcb_visualid_t *>(xcb_get_property_value(reply.get()))
            : 0;
    if (visual == 0)
        return false;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); screens.rem;
         xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem;
             xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == visual)
                    return depths.data->depth == 32;
            }
        }
    }
    return false;
}

void XEmbedTrayItem::sampleBackground()
{
    if (m_window && m_shown && m_window->sampleBackground())
        Q_EMIT panelBackgroundChanged();
}

QStringList XEmbedTrayItem::windowNames(quint32 window) const
{
    QStringList names;
    const auto property = [this, window](quint32 name, quint32 type) {
        const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, name, type, 0, 256), nullptr));
        if (!reply)
            return QByteArray();
        return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    };
    // WM_CLASS holds two NUL-terminated names: instance and class.
    for (const QByteArray &name : property(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0')) {
        if (!name.isEmpty())
            names.append(QString::fromLocal8Bit(name));
    }
    const QByteArray pid = property(internAtom(m_connection, "_NET_WM_PID"), XCB_ATOM_CARDINAL);
    if (pid.size() == 4) {
        QFile comm(u"/proc/%1/comm"_s.arg(*reinterpret_cast<const quint32 *>(pid.constData())));
        if (comm.open(QIODevice::ReadOnly))
            names.append(QString::fromLocal8Bit(comm.readAll().trimmed()));
    }
    return names;
}

QStringList XEmbedTrayItem::trayIdentities(quint32 window) const
{
    QStringList identities = windowNames(window);
    if (!identities.isEmpty())
        return identities;
    // Some trays (i3bar) name only their bar window, not the selection's owner; both belong
    // to one X client, whose windows share the bits outside the resource mask. The bar may
    // sit in a window manager's frame, so the search goes a few levels down.
    const quint32 mask = xcb_get_setup(m_connection)->resource_id_mask;
    QList<xcb_window_t> level{xcb_window_t(m_root)};
    for (int depth = 0; depth < 3 && identities.isEmpty() && !level.isEmpty(); ++depth) {
        QList<xcb_window_t> next;
        for (const xcb_window_t parent : std::as_const(level)) {
            const XcbReply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, parent), nullptr));
            const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0;
            const xcb_window_t *children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
            for (int i = 0; i < count && identities.isEmpty(); ++i) {
                if ((children[i] & ~mask) == (window & ~mask))
                    identities = windowNames(children[i]);
                next.append(children[i]);
            }
        }
        level = std::move(next);
    }
    return identities;
}

bool XEmbedTrayItem::isAvailable() const
{
    return m_connection != nullptr;
}

bool XEmbedTrayItem::isTrayPresent() const
{
    return m_manager != XCB_WINDOW_NONE;
}

void XEmbedTrayItem::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    if (enabled)
        dock();
    else
        undock();
}

bool XEmbedTrayItem::isEnabled() const
{
    return m_enabled;
}

quintptr XEmbedTrayItem::windowId() const
{
    return m_window && m_shown ? m_window->winId() : 0;
}

void XEmbedTrayItem::dock()
{
    if (!m_enabled || m_manager == XCB_WINDOW_NONE || m_window || m_images.isEmpty())
        return;
    m_window = std::make_unique<XEmbedIconWindow>(
        m_connection, trayOffersArgb(),
        [this](Qt::MouseButton button, const QRect &anchor, QPoint at) {
            if (button == Qt::LeftButton)
                Q_EMIT activated(anchor);
            else if (button == Qt::RightButton)
                // The tray has no menu of its own to open.
                popUpTrayMenu(*this, at);
        });
    m_window->setImages(m_images);
    m_window->setToolTip(m_toolTip);
    const auto window = xcb_window_t(m_window->winId());
    const quint32 info[] = {0, xembedMapped};
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, m_xembedInfo, m_xembedInfo, 32,
                        2, info);
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = m_manager;
    request.type = m_opcode;
    request.data.data32[0] = XCB_CURRENT_TIME;
    request.data.data32[1] = systemTrayRequestDock;
    request.data.data32[2] = window;
    xcb_send_event(m_connection, 0, m_manager, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&request));
    xcb_flush(m_connection);
}

void XEmbedTrayItem::undock()
{
    // Destroying the window is how an embedded client leaves: the tray drops its slot.
    const bool hadBackground = panelBackground().isValid();
    m_window.reset();
    setShown(false);
    setSlot({});
    if (hadBackground)
        Q_EMIT panelBackgroundChanged();
}

void XEmbedTrayItem::setManager(quint32 window)
{
    if (m_manager == window)
        return;
    const bool wasPresent = isTrayPresent();
    undock();
    m_manager = window;
    m_knownRendering =
        window != XCB_WINDOW_NONE ? renderingForXEmbedTray(trayIdentities(window)) : std::nullopt;
    updateRendering();
    if (window != XCB_WINDOW_NONE) {
        // Its destruction is how we learn that the tray went away.
        const quint32 mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
        dock();
    }
    xcb_flush(m_connection);
    if (wasPresent != isTrayPresent())
        Q_EMIT trayPresenceChanged(isTrayPresent());
}

void XEmbedTrayItem::setShown(bool shown)
{
    if (m_shown == shown)
        return;
    m_shown = shown;
    Q_EMIT shownChanged(shown);
}

bool XEmbedTrayItem::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & ~0x80) {
    case XCB_CLIENT_MESSAGE: {
        const auto *client = static_cast<const xcb_client_message_event_t *>(message);
        if (client->window == m_root && client->type == m_managerAtom &&
            client->data.data32[1] == m_selection) {
            // A new tray; the old window belonged to the previous one.
            const quint32 manager = client->data.data32[2];
            setManager(XCB_WINDOW_NONE);
            setManager(manager);
        }
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto *destroyed = static_cast<const xcb_destroy_notify_event_t *>(message);
        if (m_manager != XCB_WINDOW_NONE && destroyed->window == m_manager)
            setManager(XCB_WINDOW_NONE);
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        const auto *reparent = static_cast<const xcb_reparent_notify_event_t *>(message);
        if (!m_window || reparent->window != xcb_window_t(m_window->winId()))
            break;
        if (reparent->parent != m_root) {
            m_window->show();
            setShown(true);
            setSlot(m_window->onScreen().size());
            updateRendering();
            // A panel may still be painting (or fading in) when it takes the window, and
            // tells nothing when it is done: look again a moment later, and again later still
            // for a panel slowed by a busy login.
            for (const int ms : {1000, 3000, 10000})
                QTimer::singleShot(ms, this, &XEmbedTrayItem::sampleBackground);
        } else {
            // Handed back to the root window (a tray that died maps it there): leave. The
            // window is gone, so Qt must not see the event.
            undock();
            return true;
        }
        break;
    }
    // What the tray shows behind the item changes when it moves or resizes the slot, repaints
    // it, or gets a new wallpaper: each time, look again.
    case XCB_EXPOSE:
        if (m_window &&
            static_cast<const xcb_expose_event_t *>(message)->window ==
                xcb_window_t(m_window->winId()) &&
            static_cast<const xcb_expose_event_t *>(message)->count == 0)
            sampleBackground();
        break;
    case XCB_CONFIGURE_NOTIFY: {
        const auto *configure = static_cast<const xcb_configure_notify_event_t *>(message);
        if (m_window && configure->window == xcb_window_t(m_window->winId())) {
            sampleBackground();
            setSlot(QSize(configure->width, configure->height));
        }
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto *property = static_cast<const xcb_property_notify_event_t *>(message);
        if (property->window == m_root && property->atom == m_rootPixmap)
            sampleBackground();
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace velmora
