#include "widgetlayout.h"

#include "flag.h"
#include "look.h"
#include "shownvalues.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

QFont headline()
{
    return textFont(TextStyle::body, QFont::DemiBold);
}

qreal lineHeight(const QFont &font)
{
    return QFontMetricsF(font).height();
}

// Lines start on whole pixels: a line spread over two pixel rows draws thin strokes, like the
// em dash, at half their colour.
QPointF snapped(QPointF at)
{
    return {std::round(at.x()), std::round(at.y())};
}

// One line cut in the middle, so both ends of an address stay readable.
WidgetText middleElided(const QString &text, const QFont &font, QPointF at, qreal width,
                        bool secondary)
{
    return {QFontMetricsF(font).elidedText(text, Qt::ElideMiddle, width), font,
            QRectF(snapped(at), QSizeF(width, lineHeight(font))), secondary, text};
}

WidgetText shrunk(const QString &text, const QFont &font, QPointF at, qreal width)
{
    const FittedText fitted = shrinkToFit(text, font, width);
    // The line keeps the full size's height, so the rows do not move as the text shrinks.
    return {fitted.text, fitted.font, QRectF(snapped(at), QSizeF(width, lineHeight(font))), false,
            text};
}

WidgetText line(const QString &text, const QFont &font, QPointF at, qreal width,
                bool secondary = false)
{
    const QString cut = QFontMetricsF(font).elidedText(text, Qt::ElideRight, width);
    return {cut, font, QRectF(snapped(at), QSizeF(width, lineHeight(font))), secondary, text};
}

WidgetText glyph(const QString &text, const QFont &font, QPointF at)
{
    const QFontMetricsF metrics(font);
    return {text, font,
            QRectF(snapped(at), QSizeF(metrics.horizontalAdvance(text), metrics.height())), false,
            text};
}

// A symbol over one or two lines, centred: while locating, and after a failure with nothing
// to show.
void layoutNotice(WidgetDrawing &drawing, const QRectF &content, const QString &symbol,
                  const QStringList &lines)
{
    const QFont large = flagFont(36);
    const QFont caption = textFont(TextStyle::caption);
    const auto fontOf = [&](qsizetype index) { return index == 0 ? headline() : caption; };
    qreal height = lineHeight(large);
    for (qsizetype i = 0; i < lines.size(); ++i)
        height += 6 + lineHeight(fontOf(i));
    qreal y = content.top() + (content.height() - height) / 2;
    const auto centred = [&](const QString &text, const QFont &font, bool secondary) {
        const qreal width = std::min(QFontMetricsF(font).horizontalAdvance(text), content.width());
        drawing.texts.append({text, font,
                              QRectF(snapped({content.center().x() - width / 2, y}),
                                     QSizeF(width, lineHeight(font))),
                              secondary, text});
        y += lineHeight(font) + 6;
    };
    centred(symbol, large, false);
    for (qsizetype i = 0; i < lines.size(); ++i)
        centred(lines[i], fontOf(i), i > 0);
}

void layoutSmall(WidgetDrawing &drawing, const GeoEntry &entry, const QRectF &content)
{
    const GeoInfo &geo = *entry.geo;
    const QFont flag = flagFont(44);
    const QFont ipFont = monospacedFont(TextStyle::caption);
    const qreal height = lineHeight(flag) + 4 + lineHeight(headline()) + 4 + lineHeight(ipFont);
    qreal y = content.top() + (content.height() - height) / 2;
    drawing.texts.append(glyph(geo.flag(), flag, {content.left(), y}));
    if (entry.isStale) {
        const qreal side = QFontMetricsF(textFont(TextStyle::caption)).height();
        drawing.staleSymbol = QRectF(snapped({content.right() - side, y}), QSizeF(side, side));
    }
    y += lineHeight(flag) + 4;
    drawing.texts.append(shrunk(geo.country, headline(), {content.left(), y}, content.width()));
    y += lineHeight(headline()) + 4;
    drawing.texts.append(middleElided(geo.ip, ipFont, {content.left(), y}, content.width(), true));
}

void layoutMedium(WidgetDrawing &drawing, const GeoEntry &entry, const QRectF &content,
                  const QLocale &locale)
{
    const GeoInfo &geo = *entry.geo;
    const qreal columnWidth = (content.width() - 14) / 2;
    const QRectF left(content.topLeft(), QSizeF(columnWidth, content.height()));
    const QRectF right(left.right() + 14, content.top(), columnWidth, content.height());

    // Left: the flag at the top, country and city at the bottom.
    drawing.texts.append(glyph(geo.flag(), flagFont(48), left.topLeft()));
    const QFont subheadline = textFont(TextStyle::subheadline);
    const qreal cityTop = left.bottom() - lineHeight(subheadline);
    const qreal countryTop = cityTop - 4 - lineHeight(headline());
    drawing.texts.append(shrunk(geo.country, headline(), {left.left(), countryTop}, columnWidth));
    drawing.texts.append(line(Shown::orPlaceholder(geo.city), subheadline, {left.left(), cityTop},
                              columnWidth, true));

    // Right: three labelled values at the top, the time of the record at the bottom.
    const QFont caption2 = textFont(TextStyle::caption2);
    const QFont caption = textFont(TextStyle::caption);
    qreal y = right.top();
    const auto info = [&](const QString &label, const QString &value, bool mono) {
        drawing.texts.append(line(label, caption2, {right.left(), y}, columnWidth, true));
        y += lineHeight(caption2) + 1;
        const QFont valueFont = mono ? monospacedFont(TextStyle::caption) : caption;
        drawing.texts.append(middleElided(value, valueFont, {right.left(), y}, columnWidth, false));
        y += lineHeight(valueFont) + 6;
    };
    info(QCoreApplication::translate("Widget", "Public IP"), geo.ip, true);
    info(QCoreApplication::translate("Widget", "ISP"), Shown::orPlaceholder(geo.isp), false);
    info(QCoreApplication::translate("Widget", "Timezone"), Shown::orPlaceholder(geo.timezone),
         false);

    const qreal footerTop = right.bottom() - lineHeight(caption2);
    qreal x = right.left();
    if (entry.isStale) {
        const qreal side = QFontMetricsF(caption2).height();
        drawing.staleSymbol = QRectF(snapped({x, footerTop}), QSizeF(side, side));
        x += side + 4;
    }
    drawing.texts.append(line(updatedText(geo.fetchedAt.toDateTime(), locale), caption2,
                              {x, footerTop}, right.right() - x, true));
}

} // namespace

QSize widgetSize(WidgetFamily family)
{
    return family == WidgetFamily::medium ? QSize(364, 170) : QSize(170, 170);
}

WidgetDrawing layoutWidget(const GeoEntry &entry, WidgetFamily family, const QLocale &locale)
{
    WidgetDrawing drawing;
    const QRectF content =
        QRectF(QPointF(), widgetSize(family))
            .adjusted(widgetPadding, widgetPadding, -widgetPadding, -widgetPadding);
    if (entry.isLocating())
        layoutNotice(drawing, content, Flag::loading(), {Shown::locating()});
    else if (!entry.geo)
        layoutNotice(drawing, content, Flag::offline(),
                     {QCoreApplication::translate("Widget", "Offline"),
                      QCoreApplication::translate("Widget", "Retrying soon")});
    else if (family == WidgetFamily::medium)
        layoutMedium(drawing, entry, content, locale);
    else
        layoutSmall(drawing, entry, content);
    return drawing;
}

FittedText shrinkToFit(const QString &text, const QFont &font, qreal width, qreal minimumScale)
{
    const qreal natural = QFontMetricsF(font).horizontalAdvance(text);
    if (natural <= width)
        return {text, font};
    // Text is drawn at whole pixel sizes, and a scaled size rounded to the nearest one can fall
    // below the minimum (12 px × 0.7 drew at 8 px: 0.67). So the size is chosen in whole
    // pixels, rounded up at the minimum (no further than binary fractions need) and down where
    // the text fits.
    const int nominal = QFontInfo(font).pixelSize();
    const int smallest = int(std::ceil(nominal * minimumScale - 1e-9));
    QFont smaller = font;
    smaller.setPixelSize(std::max({1, smallest, int(std::floor(nominal * width / natural))}));
    // Glyphs do not scale exactly with the size: a sliver too wide is cut.
    return {QFontMetricsF(smaller).elidedText(text, Qt::ElideRight, width), smaller};
}

QString staleMarkName()
{
    //: For screen readers: the symbol beside a record that may be out of date.
    return QCoreApplication::translate("Widget", "Not current");
}

QString staleMarkDescription()
{
    return QCoreApplication::translate("Widget",
                                       "The last lookup failed; this is the record found before");
}

QString updatedText(const QDateTime &fetchedAt, const QLocale &locale)
{
    // The locale's short time format, e.g. "h:mm AP", "HH.mm" or "HH 'h' mm", supplies what
    // stands between hour and minute; the hour itself is always two-digit and 24-hour.
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    qsizetype hourEnd = format.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    while (hourEnd >= 0 && hourEnd < format.size() &&
           (format[hourEnd] == u'h' || format[hourEnd] == u'H'))
        ++hourEnd;
    const qsizetype minute = format.indexOf(u'm', std::max<qsizetype>(hourEnd, 0));
    const QString separator = hourEnd > 0 && minute > hourEnd
                                  ? format.mid(hourEnd, minute - hourEnd)
                                  : QStringLiteral(":");
    //: The time of day the shown record was looked up.
    return QCoreApplication::translate("Widget", "Updated %1")
        .arg(locale.toString(fetchedAt.toLocalTime().time(),
                             QStringLiteral("HH") + separator + QStringLiteral("mm")));
}

} // namespace velmora
