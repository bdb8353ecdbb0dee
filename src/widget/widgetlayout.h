#pragma once

#include "geoentry.h"

#include <QFont>
#include <QList>
#include <QLocale>
#include <QRectF>
#include <QSize>

#include <optional>

namespace velmora {

enum class WidgetFamily { small, medium };

// Logical pixels: small 170 × 170, medium 364 × 170.
QSize widgetSize(WidgetFamily family);
// The distance of the content from the widget's edges.
constexpr qreal widgetPadding = 16;

// One line of text, already shortened to fit its rectangle.
struct WidgetText
{
    QString text;
    QFont font;
    QRectF rect;
    bool secondary = false;
    // What assistive technology reads: the text uncut.
    QString spoken{};
};

// Where everything of one entry goes, in the widget's logical coordinates.
struct WidgetDrawing
{
    QList<WidgetText> texts;
    // The crossed-out network of a stale record; none for a fresh one.
    std::optional<QRectF> staleSymbol;
};

// The stale record's mark as assistive technology names and describes it.
QString staleMarkName();
QString staleMarkDescription();

WidgetDrawing layoutWidget(const GeoEntry &entry, WidgetFamily family,
                           const QLocale &locale = QLocale());

// Text that fits width: drawn smaller down to minimumScale of the font's size (in the whole
// pixels it is drawn at, never below), and only below that cut at the end.
struct FittedText
{
    QString text;
    QFont font;
};
FittedText shrinkToFit(const QString &text, const QFont &font, qreal width,
                       qreal minimumScale = 0.7);

// "Updated " and the time of fetchedAt in local time: a two-digit 24-hour hour, the locale's
// separator, a two-digit minute.
QString updatedText(const QDateTime &fetchedAt, const QLocale &locale);

} // namespace velmora
