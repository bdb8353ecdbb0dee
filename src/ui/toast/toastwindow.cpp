#include "toastwindow.h"

#include "platform/windowsystemhints.h"
#include "toastview.h"

#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace velmora {

ToastWindow::ToastWindow(ToastView *view, const WindowSystemHints &hints, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus)
    , m_fade(this, "windowOpacity")
    , m_translucent(hints.isCompositing())
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(view);
    // Assistive technology and window lists know it by this name.
    setWindowTitle(u"Velmora"_s);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_TranslucentBackground, m_translucent);
    winId(); // the native window, for the wish below to be written on before it is shown
    hints.markAsNotification(windowHandle());
    connect(&m_fade, &QPropertyAnimation::finished, this, [this] {
        if (m_fade.endValue().toDouble() == 0)
            hide();
    });
}

ToastWindow::~ToastWindow() = default;

void ToastWindow::fadeIn(const QPoint &topLeft, std::chrono::milliseconds duration)
{
    adjustSize();
    move(topLeft);
    setWindowOpacity(0);
    show();
    m_fade.stop();
    m_fade.setDuration(int(duration.count()));
    m_fade.setStartValue(0.0);
    m_fade.setEndValue(1.0);
    m_fade.start();
}

void ToastWindow::fadeOut(std::chrono::milliseconds duration)
{
    m_fade.stop();
    m_fade.setDuration(int(duration.count()));
    m_fade.setStartValue(windowOpacity());
    m_fade.setEndValue(0.0);
    m_fade.start();
}

void ToastWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_translucent)
        return;
    // Without a compositor the window is a rectangle: what lies outside the round corners
    // must not be part of it.
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), ToastView::cornerRadius, ToastView::cornerRadius);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

} // namespace velmora
