#include "trafficgraph.h"

#include "look.h"
#include "preferences.h"
#include "traffichistory.h"
#include "traffictexts.h"

#include <QPainter>
#include <QPainterPath>

namespace velmora {

namespace {

constexpr int plotHeight = 48;
constexpr int labelGap = 2;

// Where sample i of n lies: the newest at the right edge, a second a step.
qreal xOf(qsizetype index, qsizetype count, const QRectF &plot)
{
    const qreal step = plot.width() / qreal(TrafficHistory::capacity - 1);
    return plot.right() - qreal(count - 1 - index) * step;
}

qreal yOf(float rate, double ceiling, const QRectF &plot)
{
    return plot.bottom() - plot.height() * std::min(1.0, double(rate) / ceiling);
}

QPainterPath curve(const TrafficHistory &history, float TrafficHistory::Sample::*rate,
                   double ceiling, const QRectF &plot)
{
    QPainterPath path;
    for (qsizetype i = 0; i < history.size(); ++i) {
        const QPointF point(xOf(i, history.size(), plot), yOf(history.at(i).*rate, ceiling, plot));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    return path;
}

} // namespace

TrafficGraph::TrafficGraph(const TrafficHistory &history, const Preferences &prefs, QWidget *parent)
    : QWidget(parent)
    , m_history(history)
    , m_prefs(prefs)
{
    setFont(textFont(TextStyle::caption2));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(Shown::trafficGraphName());
}

QSize TrafficGraph::sizeHint() const
{
    return {0, fontMetrics().height() + labelGap + plotHeight};
}

QColor TrafficGraph::downloadColor(const QPalette &palette)
{
    // Deeper than the tray's green in light themes, where that one stays under 3:1.
    return isDark(palette) ? QColor(0x30, 0xD1, 0x58) : QColor(0x1F, 0x7A, 0x36);
}

QColor TrafficGraph::uploadColor(const QPalette &palette)
{
    return isDark(palette) ? QColor(0x40, 0x9C, 0xFF) : QColor(0x00, 0x5F, 0xCC);
}

void TrafficGraph::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const TrafficHistory::Sample peak = m_history.peak();
    const Shown::TrafficScale scale =
        Shown::trafficScale(std::max(peak.download, peak.upload), m_prefs.speedUnit());

    const int labelHeight = fontMetrics().height();
    painter.setPen(tintColor(Tint::secondary, palette()));
    painter.drawText(QRect(0, 0, width(), labelHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     scale.label);
    // Half a pixel in, so that the hairlines and a flat curve cover whole pixel rows.
    const QRectF plot(0.5, labelHeight + labelGap + 0.5, width() - 1.0, plotHeight - 1.0);
    painter.setPen(QPen(separatorColor(palette()), 1));
    painter.drawLine(plot.topLeft(), plot.topRight());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    if (m_history.isEmpty())
        return;

    const QColor download = downloadColor(palette());
    const QPainterPath downloadLine =
        curve(m_history, &TrafficHistory::Sample::download, scale.ceiling, plot);
    QPainterPath area = downloadLine;
    area.lineTo(xOf(m_history.size() - 1, m_history.size(), plot), plot.bottom());
    area.lineTo(xOf(0, m_history.size(), plot), plot.bottom());
    area.closeSubpath();
    QColor fill = download;
    fill.setAlphaF(0.35f);
    painter.fillPath(area, fill);
    painter.strokePath(downloadLine, QPen(download, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.strokePath(curve(m_history, &TrafficHistory::Sample::upload, scale.ceiling, plot),
                       QPen(uploadColor(palette()), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

} // namespace velmora
