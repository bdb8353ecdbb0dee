#include "../ui/pixels.h"
#include "desktopsession.h"
#include "look.h"
#include "widgetview.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

const Timestamp nineOFive =
    Timestamp::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(9, 5), Qt::LocalTime));

GeoEntry entry(const QString &ip, const QString &country, bool stale = false, bool details = true)
{
    GeoInfo geo{.ip = ip, .country = country, .countryCode = u"DE"_s, .fetchedAt = nineOFive};
    if (details) {
        geo.city = u"Berlin"_s;
        geo.isp = u"Deutsche Telekom AG"_s;
        geo.timezone = u"Europe/Berlin"_s;
    }
    // The entry's own date is not the record's: "Updated" shows the record's.
    return {QDateTime(QDate(2026, 3, 4), QTime(17, 40)), geo, stale};
}

} // namespace

class TestWidgetView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void views_data()
    {
        QTest::addColumn<WidgetFamily>("family");
        QTest::addColumn<GeoEntry>("shown");
        // Patterns, each matching a text of its own, in reading order: a value under another's
        // label fails.
        QTest::addColumn<QStringList>("texts");
        const auto small = WidgetFamily::small, medium = WidgetFamily::medium;
        const QString ip = u"203.0.113.42"_s, flag = u"🇩🇪"_s;
        const QString longCountry = u"United Kingdom of Great Britain and Northern Ireland"_s;
        // Fresh records, without the stale mark, are the rows below.
        QTest::newRow("small-stale")
            << small << entry(ip, u"Germany"_s, true) << QStringList{flag, u"Germany"_s, ip};
        QTest::newRow("medium-stale")
            << medium << entry(ip, u"Germany"_s, true)
            << (flag + u"|Germany|Berlin|Public IP|"_s + ip +
                u"|ISP|Deutsche Telekom AG|Timezone|Europe/Berlin|Updated 09:05"_s)
                   .split(u'|');
        QTest::newRow("medium-empty-fields") << medium << entry(ip, u"Germany"_s, false, false)
                                             << QStringList{u"—"_s, ip, u"—"_s, u"—"_s};
        for (const auto &[name, family] : {std::pair("small", small), {"medium", medium}}) {
            QTest::addRow("%s-long-ipv6", name)
                << family << entry(u"2001:0db8:85a3:0000:0000:8a2e:0370:7334"_s, u"Germany"_s)
                << QStringList{u"2001:0db8.+….+7334"_s};
            QTest::addRow("%s-long-country", name)
                << family << entry(ip, longCountry) << QStringList{u"United Kingdom.+…"_s};
        }
        // Locating is laid out as this notice, and shown on the desktop in its own test.
        QTest::newRow("small-offline")
            << small << GeoEntry{{}, {}, true}
            << QStringList{u"⚠️"_s, u"Offline"_s, u"Retrying soon"_s};
    }

    // Every text whole or cut as it should be, inside the card's padding, none on another;
    // legible on the card, light and dark, over a desktop of the opposite brightness.
    void views()
    {
        QFETCH(WidgetFamily, family);
        QFETCH(GeoEntry, shown);
        QFETCH(QStringList, texts);
        const WidgetDrawing drawing = layoutWidget(shown, family);
        auto next = drawing.texts.cbegin();
        for (const QString &pattern : texts) {
            const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
            next = std::find_if(next, drawing.texts.cend(), [&](const WidgetText &text) {
                return expression.match(text.text).hasMatch();
            });
            QVERIFY2(next != drawing.texts.cend(), qPrintable(pattern));
            if (shown.geo && next->spoken == shown.geo->country) {
                // Never drawn under 70 %, and cut only at the smallest whole pixel size above.
                const int nominal = QFontInfo(textFont(TextStyle::body)).pixelSize();
                const int size = QFontInfo(next->font).pixelSize();
                QVERIFY2(size >= 0.7 * nominal, qPrintable(describe(size)));
                QVERIFY(next->text == next->spoken || size < 0.7 * nominal + 1);
            }
            ++next;
        }
        // The stale mark beside a stale record only.
        QCOMPARE(drawing.staleSymbol.has_value(), shown.isStale && shown.geo.has_value());

        const QPointF padding(widgetPadding, widgetPadding);
        const QRectF content(padding,
                             QRectF(QPointF(), widgetSize(family)).bottomRight() - padding);
        QList<QRectF> areas, legible;
        for (const WidgetText &item : drawing.texts) {
            areas.append(
                {item.rect.topLeft(), QSizeF(QFontMetricsF(item.font).horizontalAdvance(item.text),
                                             item.rect.height())});
            QVERIFY2(content.contains(areas.last().adjusted(1, 1, -1, -1)), qPrintable(item.text));
            // Emoji keep colours of their own (a flag may be white, the globe pale blue): the
            // texts beside them say what they show.
            if (item.font.families() != flagFont(1).families())
                legible.append(areas.last());
        }
        if (drawing.staleSymbol) {
            areas.append(*drawing.staleSymbol);
            legible.append(*drawing.staleSymbol);
        }
        for (qsizetype i = 0; i < areas.size(); ++i)
            for (qsizetype j = i + 1; j < areas.size(); ++j)
                QVERIFY2(!areas[i].intersects(areas[j]), qPrintable(describe(areas[i])));

        for (const bool dark : {false, true}) {
            GeoWidgetView view(family);
            view.setPalette(QPalette(dark ? Qt::black : Qt::white)); // the window colour too
            view.setEntry(shown);
            QImage image(view.size(), QImage::Format_RGB32);
            image.fill(dark ? Qt::white : Qt::black); // the desktop behind it
            view.render(&image);
            const QString name = u"widget-%1-%2.png"_s.arg(
                QString::fromLatin1(QTest::currentDataTag()), dark ? u"dark"_s : u"light"_s);
            if (const QString folder = qEnvironmentVariable("VELMORA_ARTIFACTS"); !folder.isEmpty())
                image.save(QDir(folder).filePath(name));
            const QRgb fill = image.pixel(int(widgetPadding / 2), image.height() / 2);
            for (const QRectF &area : legible) {
                const double contrast = pixels::bestContrast(image, area.toAlignedRect(), fill);
                QVERIFY2(contrast >= 4.5, qPrintable(name + describe(area) + describe(contrast)));
            }
        }
    }

    // The record's time as the locale writes it, without AM/PM.
    void updated()
    {
        QCOMPARE(updatedText(nineOFive.toDateTime(), QLocale(u"en_US"_s)), u"Updated 09:05"_s);
        QCOMPARE(updatedText(nineOFive.toDateTime(), QLocale(u"fi_FI"_s)), u"Updated 09.05"_s);
    }
};

} // namespace velmora

QTEST_MAIN(velmora::TestWidgetView)
#include "tst_widgetview.moc"
