#include "popoverwindow.h"

#include "placement.h"
#include "platform/windowsystemhints.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWindow>

namespace velmora {

namespace {

// Room around the visible rectangle for the shadow, which falls a little downwards.
constexpr int shadowMargin = 12;
constexpr int shadowDrop = 3;
constexpr qreal cornerRadius = 10;
constexpr int borderWidth = 1;

} // namespace

PopoverWindow::PopoverWindow(QWidget *content, std::unique_ptr<WindowSystemHints> hints,
                             QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_hints(hints ? std::move(hints) : WindowSystemHints::create())
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(borderWidth, borderWidth, borderWidth, borderWidth);
    // The window follows its content's size hint as the content grows and shrinks.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content);
    // Window lists, assistive technology and scripts know it by this name.
    setWindowTitle(QStringLiteral("Velmora"));
    // Always a window with an alpha channel, since a compositor may start or stop while the
    // program runs; without one the alpha is ignored and the window is painted opaque.
    setAttribute(Qt::WA_TranslucentBackground);

    // The pointer cannot be grabbed before the window is mapped, nor while another program
    // still holds it for the click that opened the popover.
    m_grabRetry.setInterval(50);
    connect(&m_grabRetry, &QTimer::timeout, this, &PopoverWindow::grabPointer);
}

PopoverWindow::~PopoverWindow() = default;

void PopoverWindow::setClosesOnOutsideClick(bool closes)
{
    if (closes == m_closesOnOutsideClick)
        return;
    m_closesOnOutsideClick = closes;
    if (!isVisible())
        return;
    if (closes)
        grabPointer();
    else
        releasePointer();
}

void PopoverWindow::setShadowed(bool shadowed)
{
    if (shadowed == m_shadowed)
        return;
    m_shadowed = shadowed;
    const int margin = borderWidth + (shadowed ? shadowMargin : 0);
    layout()->setContentsMargins(margin, margin, margin, margin);
}

void PopoverWindow::showAt(const QRect &anchor)
{
    // Without a place for the item (or one far from any panel), the pointer where it is known,
    // else the end of the panel where trays sit.
    m_anchor =
        clickAnchor(anchor, m_hints->pointer(), ScreenArea::all(), m_hints->reservedStrips());
    if (!isVisible()) {
        setShadowed(m_hints->isCompositing());
        // A popup, not a task: out of task bars and pagers. Written before every showing, as
        // window managers drop a window's states when it is hidden.
        winId();
        m_hints->keepOnAllWorkspacesUnlisted(windowHandle());
    }
    adjustSize();
    place();
    show();
    m_hints->keepPosition(windowHandle());
    raise();
    activateWindow();
    if (QWidget *focus = nextInFocusChain(); focus && focus != this)
        focus->setFocus(Qt::PopupFocusReason);
    if (m_closesOnOutsideClick)
        grabPointer();
    windowHandle()->installEventFilter(this); // once: a filter is installed only once
}

bool PopoverWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A grab asked for before the window manager has mapped the window has no effect, though
    // Qt reports it taken, and Qt drops the grab when a click inside the window ends: take it
    // (again) once the window is on screen and after every click.
    const bool exposed = event->type() == QEvent::Expose && windowHandle()->isExposed();
    if ((exposed || event->type() == QEvent::MouseButtonRelease) && m_closesOnOutsideClick)
        QMetaObject::invokeMethod(this, &PopoverWindow::grabPointer, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

QRect PopoverWindow::visibleGeometry() const
{
    const int margin = m_shadowed ? shadowMargin : 0;
    return geometry().adjusted(margin, margin, -margin, -margin);
}

void PopoverWindow::place()
{
    // A Wayland compositor puts the window where it puts new windows, whatever is asked.
    if (!m_hints->placesOwnWindows())
        return;
    const int margin = m_shadowed ? shadowMargin : 0;
    const QSize visible = size() - QSize(2 * margin, 2 * margin);
    move(placeNearTray(m_anchor, visible, ScreenArea::all(), m_hints->reservedStrips(),
                       popoverSpacing) -
         QPoint(margin, margin));
    if (isVisible())
        m_hints->keepPosition(windowHandle());
}

void PopoverWindow::grabPointer()
{
    // Qt::Popup would grab by itself, but the accessibility bridge leaves popups out of the
    // application's tree; a tool window grabs the pointer to see clicks outside it instead.
    // Where only popups may grab (Wayland), asking again would fail every 50 ms while the
    // window is open; the focus leaving it closes it there.
    QWindow *window = windowHandle();
    const bool wanted = m_closesOnOutsideClick && isVisible() && m_hints->placesOwnWindows();
    if (!wanted || (window && window->setMouseGrabEnabled(true)))
        m_grabRetry.stop();
    else if (!m_grabRetry.isActive())
        m_grabRetry.start();
}

void PopoverWindow::releasePointer()
{
    // Only where the pointer can have been grabbed: Wayland has no grab to let go of.
    if (QWindow *window = windowHandle(); window && m_hints->placesOwnWindows())
        window->setMouseGrabEnabled(false);
}

bool PopoverWindow::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        m_activated = true;
        break;
    case QEvent::WindowDeactivate:
        // Another window took the focus (a click elsewhere that the grab missed, a keyboard
        // switch); only after this window had it, so a late activation does not close it.
        if (m_closesOnOutsideClick && m_activated)
            close();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_closesOnOutsideClick)
        close();
    else
        QWidget::keyPressEvent(event);
}

void PopoverWindow::mousePressEvent(QMouseEvent *event)
{
    // With the pointer grabbed, a press anywhere on the screen comes here; the shadow counts
    // as outside.
    const QRect visible = visibleGeometry().translated(-pos());
    if (m_closesOnOutsideClick && !visible.contains(event->position().toPoint()))
        close();
    else
        QWidget::mousePressEvent(event);
}

void PopoverWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Q_EMIT shownChanged();
}

void PopoverWindow::hideEvent(QHideEvent *event)
{
    m_grabRetry.stop();
    m_activated = false;
    releasePointer();
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Q_EMIT shownChanged();
}

void PopoverWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Content that grows while shown above the item must not run over it.
    if (isVisible())
        place();
}

void PopoverWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.25f);
    if (!m_shadowed) {
        // Without a compositor the corners would show black: square and opaque instead.
        painter.fillRect(rect(), palette().window());
        painter.setPen(border);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF visible =
        QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
    // Layers of faint rounded rectangles, each a little larger, add up to a shadow that is
    // darkest at the edge and fades out within the margin.
    painter.setPen(Qt::NoPen);
    const int layers = shadowMargin - shadowDrop;
    for (int layer = layers; layer > 0; --layer) {
        painter.setBrush(QColor(0, 0, 0, 9));
        painter.drawRoundedRect(
            visible.adjusted(-layer, -layer, layer, layer).translated(0, shadowDrop),
            cornerRadius + layer, cornerRadius + layer);
    }
    painter.setBrush(palette().window());
    painter.setPen(QPen(border, borderWidth));
    painter.drawRoundedRect(visible.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

} // namespace velmora
