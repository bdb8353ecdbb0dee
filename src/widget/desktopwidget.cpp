#include "desktopwidget.h"

#include "platform/windowsystemhints.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QPainterPath>
#include <QUrl>

namespace velmora {

DesktopWidget::DesktopWidget(WidgetFamily family, const WindowSystemHints &hints)
    : GeoWidgetView(family)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
                   Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Without a compositor nothing shows through: an opaque card, its corners cut by a shape.
    setAttribute(Qt::WA_TranslucentBackground, hints.isCompositing());
    setWindowTitle(tr("Velmora Widget"));
    winId(); // the native window exists now, so the wishes below reach it before it is shown
    hints.keepOnAllWorkspacesUnlisted(windowHandle());
}

void DesktopWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressedAt = event->globalPosition().toPoint();
    m_startPosition = pos();
    m_dragging = false;
}

void DesktopWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressedAt)
        return;
    const QPoint delta = event->globalPosition().toPoint() - *m_pressedAt;
    // A hand that shakes a little while clicking still clicks.
    if (!m_dragging && delta.manhattanLength() < QApplication::startDragDistance())
        return;
    m_dragging = true;
    move(m_startPosition + delta);
}

void DesktopWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressedAt)
        return;
    m_pressedAt.reset();
    if (m_dragging)
        Q_EMIT moved();
    else
        QDesktopServices::openUrl(QUrl(QStringLiteral("velmora://open")));
}

void DesktopWidget::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    const WidgetFamily other =
        family() == WidgetFamily::small ? WidgetFamily::medium : WidgetFamily::small;
    menu.addAction(other == WidgetFamily::small ? tr("Small") : tr("Medium"), this,
                   [this, other] { Q_EMIT familyChosen(other); });
    menu.addSeparator();
    menu.addAction(tr("Add Widget…"), this, &DesktopWidget::galleryRequested);
    menu.addAction(tr("Remove Widget"), this, &DesktopWidget::removeRequested);
    menu.exec(event->globalPos());
}

void DesktopWidget::resizeEvent(QResizeEvent *event)
{
    GeoWidgetView::resizeEvent(event);
    if (testAttribute(Qt::WA_TranslucentBackground))
        return;
    setMask(QRegion(cardShape(family()).toFillPolygon().toPolygon()));
}

} // namespace velmora
