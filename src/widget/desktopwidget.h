#pragma once

#include "widgetview.h"

#include <QPoint>

namespace velmora {

class WindowSystemHints;

// A placed widget: a frameless window kept below the others, on every workspace, out of task
// bars and pagers, that never takes the keyboard focus. A click opens "velmora://open"; a drag
// moves it; the right button offers the other size, the gallery and removal.
class DesktopWidget : public GeoWidgetView
{
    Q_OBJECT

public:
    DesktopWidget(WidgetFamily family, const WindowSystemHints &hints);

Q_SIGNALS:
    void moved();
    void familyChosen(WidgetFamily family);
    void galleryRequested();
    void removeRequested();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    std::optional<QPoint> m_pressedAt; // global, while the left button is down
    QPoint m_startPosition;
    bool m_dragging = false;
};

} // namespace velmora
