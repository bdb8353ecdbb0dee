#pragma once

#include <QRect>
#include <QWidget>

namespace velmora {

// The frameless window that opens from the tray item and holds the popover's content. It
// either closes on a click anywhere outside it (a popup) or stays until the program closes
// it (a tool window). It takes the size its content asks for and keeps itself wholly on the
// screen that holds the item.
class PopoverWindow : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of content.
    explicit PopoverWindow(QWidget *content, QWidget *parent = nullptr);

    bool closesOnOutsideClick() const { return m_closesOnOutsideClick; }
    // Takes effect at once, also while shown.
    void setClosesOnOutsideClick(bool closes);

    // Shows the window against anchor (global coordinates; a null rectangle means the pointer),
    // raises it and gives it the keyboard focus.
    void showAt(const QRect &anchor);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyWindowFlags();
    void place();

    bool m_closesOnOutsideClick = true;
    QRect m_anchor;
};

} // namespace velmora
