#pragma once

#include <QPropertyAnimation>
#include <QWidget>

#include <chrono>

namespace velmora {

class ToastView;
class WindowSystemHints;

// The window that carries the card: frameless, above other windows, on every workspace, out of
// task bars, and never taking the focus from the window that has it. Where a compositor runs
// its corners are see-through; elsewhere the card is opaque and its corners are cut off.
// Fading changes the window's opacity, which only a compositor shows; without one the window
// appears and goes at the same moments.
class ToastWindow : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of view.
    ToastWindow(ToastView *view, const WindowSystemHints &hints, QWidget *parent = nullptr);
    ~ToastWindow() override;

    // Shows the window at topLeft, fading in over duration.
    void fadeIn(const QPoint &topLeft, std::chrono::milliseconds duration);
    // Fades out over duration, then hides.
    void fadeOut(std::chrono::milliseconds duration);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QPropertyAnimation m_fade;
    bool m_translucent = false;
};

} // namespace velmora
