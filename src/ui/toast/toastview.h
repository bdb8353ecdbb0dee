#pragma once

#include "geoinfo.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

namespace velmora {

// The card itself: the new flag beside the title, the addresses on one line (shortened in the
// middle when too long) and, after a move to another country, where the machine was. The
// title and that last line wrap, and the card is as tall as they need. 280 px wide on a
// rounded background (radius 14) in the window colour, framed by a hairline in the
// separator colour. A click anywhere on it runs onTap.
class ToastView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cardWidth = 280;
    static constexpr qreal cornerRadius = 14;

    ToastView(const GeoInfo &old, const GeoInfo &now, std::function<void()> onTap,
              QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::function<void()> m_onTap;
    bool m_pressed = false;
};

} // namespace velmora
