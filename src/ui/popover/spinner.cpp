#include "spinner.h"

#include <QPainter>
#include <QTimerEvent>

#include <cmath>

namespace velmora {

namespace {
constexpr int stepMsecs = 100;
} // namespace

Spinner::Spinner(int diameter, QWidget *parent)
    : QWidget(parent)
    , m_diameter(diameter)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize Spinner::sizeHint() const
{
    return {m_diameter, m_diameter};
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    const double outer = side / 2.0;
    const double inner = outer * 0.45;
    const double pen = std::max(1.2, side / 9.0);
    painter.translate(width() / 2.0, height() / 2.0);
    // A spinner inside a disabled button still shows activity, so always the active colour.
    QColor color = palette().color(QPalette::Active, QPalette::WindowText);
    const float alpha = color.alphaF();
    for (int i = 0; i < spokes; ++i) {
        // The spoke at the current step is darkest; the ones behind it fade out.
        const int age = (m_step - i + spokes) % spokes;
        color.setAlphaF(alpha * (1.0f - 0.8f * float(age) / spokes));
        painter.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap));
        const double angle = 2.0 * M_PI * i / spokes - M_PI / 2.0;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(direction * inner, direction * (outer - pen / 2.0));
    }
}

void Spinner::showEvent(QShowEvent *)
{
    m_timer.start(stepMsecs, this);
}

void Spinner::hideEvent(QHideEvent *)
{
    m_timer.stop();
}

void Spinner::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId())
        return QWidget::timerEvent(event);
    m_step = (m_step + 1) % spokes;
    update();
}

} // namespace velmora
