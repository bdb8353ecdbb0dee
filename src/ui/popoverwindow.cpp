#include "popoverwindow.h"

#include "popoverplacement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace velmora {

PopoverWindow::PopoverWindow(QWidget *content, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    // The window follows its content's size hint as the content grows and shrinks.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content);
    // Window lists, assistive technology and scripts know it by this name.
    setWindowTitle(QStringLiteral("Velmora"));
    applyWindowFlags();
}

void PopoverWindow::setClosesOnOutsideClick(bool closes)
{
    if (closes == m_closesOnOutsideClick)
        return;
    m_closesOnOutsideClick = closes;
    const bool wasVisible = isVisible();
    // Changing the flags hides a shown window; bring it back where it was.
    applyWindowFlags();
    if (wasVisible)
        showAt(m_anchor);
}

void PopoverWindow::applyWindowFlags()
{
    setWindowFlags(m_closesOnOutsideClick
                       ? Qt::Popup | Qt::FramelessWindowHint
                       : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
}

void PopoverWindow::showAt(const QRect &anchor)
{
    m_anchor = anchor.isNull() ? QRect(QCursor::pos(), QSize(1, 1)) : anchor;
    adjustSize();
    place();
    show();
    raise();
    activateWindow();
    if (QWidget *focus = nextInFocusChain(); focus && focus != this)
        focus->setFocus(Qt::PopupFocusReason);
}

void PopoverWindow::place()
{
    QScreen *screen = QGuiApplication::screenAt(m_anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    move(popoverPosition(m_anchor, size(), screen->availableGeometry()));
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
    painter.fillRect(rect(), palette().window());
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.25);
    painter.setPen(border);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace velmora
