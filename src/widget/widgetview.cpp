#include "widgetview.h"

#include "look.h"
#include "shownvalues.h"
#include "symbols.h"
#include "widgetaccessible.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace velmora {

namespace {

// The corner radius of the card, as desktop widgets of this size commonly have.
constexpr qreal cornerRadius = 20;

} // namespace

WidgetColors widgetColors(bool dark)
{
    // Nearly opaque: the desktop tints the card a little, but even a wallpaper of the opposite
    // brightness leaves the secondary text above 4.5:1.
    if (dark)
        return {QColor(36, 36, 38, 235), QColor(245, 245, 247), QColor(174, 174, 178)};
    return {QColor(246, 246, 248, 235), QColor(29, 29, 31), QColor(72, 72, 77)};
}

QPainterPath cardShape(WidgetFamily family)
{
    QPainterPath shape;
    shape.addRoundedRect(QRectF(QPointF(), widgetSize(family)), cornerRadius, cornerRadius);
    return shape;
}

void paintWidget(QPainter &painter, const WidgetDrawing &drawing, WidgetFamily family,
                 const WidgetColors &colors)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colors.fill);
    painter.drawPath(cardShape(family));
    for (const WidgetText &text : drawing.texts) {
        QFont font = text.font;
        // The lone em dash of a missing value is a stroke under a pixel thick: a heavier one
        // keeps it as legible as the text around it.
        if (Shown::isPlaceholder(text.text))
            font.setWeight(QFont::Bold);
        painter.setFont(font);
        painter.setPen(text.secondary ? colors.secondaryText : colors.text);
        // On a whole-pixel baseline: thin horizontal strokes (the em dash) then cover whole
        // pixel rows instead of two half-tinted ones.
        const QFontMetricsF metrics(text.font);
        const qreal baseline = std::round(
            text.rect.top() + (text.rect.height() - metrics.height()) / 2 + metrics.ascent());
        painter.drawText(QPointF(text.rect.left(), baseline), text.text);
    }
    if (drawing.staleSymbol) {
        const QRectF area = *drawing.staleSymbol;
        const int side = qRound(std::min(area.width(), area.height()));
        const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        painter.drawPixmap(area.topLeft(), symbolPixmap(QStringLiteral("wifi.slash"), side,
                                                        colors.secondaryText, ratio));
    }
    painter.restore();
}

GeoWidgetView::GeoWidgetView(WidgetFamily family, QWidget *parent)
    : QWidget(parent)
    , m_family(family)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(widgetSize(family));
    installWidgetAccessibility();
}

void GeoWidgetView::setFamily(WidgetFamily family)
{
    m_family = family;
    setFixedSize(widgetSize(family));
    redraw();
}

void GeoWidgetView::setEntry(const GeoEntry &entry)
{
    m_entry = entry;
    redraw();
}

void GeoWidgetView::redraw()
{
    update();
    // Other texts, or as many in other places: assistive technology reads the items afresh.
    QAccessibleEvent event(this, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

void GeoWidgetView::setColorScheme(PortalColorScheme::Preference preference)
{
    m_scheme = preference;
    update();
}

void GeoWidgetView::paintEvent(QPaintEvent *)
{
    using Preference = PortalColorScheme::Preference;
    const bool dark =
        m_scheme == Preference::None ? isDark(palette()) : m_scheme == Preference::Dark;
    WidgetColors colors = widgetColors(dark);
    if (!testAttribute(Qt::WA_TranslucentBackground))
        colors.fill.setAlpha(255); // nothing would show through
    QPainter painter(this);
    paintWidget(painter, layoutWidget(m_entry, m_family), m_family, colors);
}

} // namespace velmora
