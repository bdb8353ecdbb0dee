#pragma once

#include "platform/windowsystemhints.h"

#include <QRect>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace velmora {

// The frameless window that opens from the tray item and holds the popover's content. It
// either closes on a click anywhere outside it, on Escape and when another window becomes
// active, or stays until the program closes it. Either way it is an ordinary tool window, so
// that assistive technology sees it as it sees any other. Where a compositor runs it has
// rounded corners and a soft shadow; elsewhere it is square and opaque. It takes the size its
// content asks for and keeps itself on the screen that holds the item, clear of the item.
class PopoverWindow : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of content.
    explicit PopoverWindow(QWidget *content, std::unique_ptr<WindowSystemHints> hints = nullptr,
                           QWidget *parent = nullptr);
    ~PopoverWindow() override;

    bool closesOnOutsideClick() const { return m_closesOnOutsideClick; }
    // Takes effect at once, also while shown.
    void setClosesOnOutsideClick(bool closes);

    // Shows the window against anchor (global coordinates: the item's rectangle, a 1×1
    // rectangle at a click on it, or a null rectangle for the pointer), raises it and gives it
    // the keyboard focus.
    void showAt(const QRect &anchor);
    // The part the user sees, in global coordinates: the window less its shadow.
    QRect visibleGeometry() const;

Q_SIGNALS:
    // The window was shown or hidden.
    void shownChanged();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void setShadowed(bool shadowed);
    void place();
    void grabPointer();
    void releasePointer();

    std::unique_ptr<WindowSystemHints> m_hints;
    bool m_closesOnOutsideClick = true;
    bool m_shadowed = false;
    bool m_activated = false;
    QRect m_anchor;
    QTimer m_grabRetry;
};

} // namespace velmora
