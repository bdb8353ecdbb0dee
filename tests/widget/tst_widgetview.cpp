#include "../ui/pixels.h"
#include "desktopsession.h"
#include "look.h"
#include "widgetview.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QTest>

#include <numeric>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

const Timestamp nineOFive =
    Timestamp::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(9, 5), Qt::LocalTime));
const GeoInfo berlin{u"203.0.113.42"_s, u"Germany"_s,       u"DE"_s,  u"Berlin"_s, u"DTAG"_s,
                     u"AS3320"_s,       u"Europe/Berlin"_s, nineOFive};

GeoEntry entry(const QString &ip, const QString &country, bool stale = false,
               const QString &city = u"Berlin"_s, const QString &isp = u"DTAG"_s,
               const QString &timezone = u"Europe/Berlin"_s)
{
    GeoInfo geo{ip, country, u"DE"_s, city, isp, u"AS3320"_s, timezone, nineOFive};
    return {QDateTime(QDate(2026, 3, 4), QTime(17, 40)), geo, stale};
}

const QString longIPv6 = u"2001:0db8:85a3:0000:0000:8a2e:0370:7334"_s;
const QString longCountry = u"United Kingdom of Great Britain and Northern Ireland"_s;

const WidgetText *find(const WidgetDrawing &drawing, const QString &text)
{
    for (const WidgetText &item : drawing.texts)
        if (item.text == text)
            return &item;
    return nullptr;
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
        QTest::addColumn<QStringList>("texts"); // each drawn whole
        QTest::addColumn<bool>("symbol");
        const auto small = WidgetFamily::small, medium = WidgetFamily::medium;
        const QStringList offline{u"\u26A0\uFE0F"_s, u"Offline"_s, u"Retrying soon"_s};
        const QStringList mediumTexts{u"Germany"_s,       u"Berlin"_s,       u"Public IP"_s,
                                      u"ISP"_s,           u"DTAG"_s,         u"Timezone"_s,
                                      u"Europe/Berlin"_s, u"Updated 09:05"_s};
        QTest::newRow("small-fresh")
            << small << entry(berlin.ip, u"Germany"_s)
            << QStringList{berlin.flag(), u"Germany"_s, berlin.ip} << false;
        QTest::newRow("small-stale") << small << entry(berlin.ip, u"Germany"_s, true)
                                     << QStringList{berlin.flag(), u"Germany"_s, berlin.ip} << true;
        QTest::newRow("medium-fresh")
            << medium << entry(berlin.ip, u"Germany"_s) << mediumTexts << false;
        QTest::newRow("medium-stale")
            << medium << entry(berlin.ip, u"Germany"_s, true) << mediumTexts << true;
        QTest::newRow("medium-empty-fields")
            << medium << entry(berlin.ip, u"Germany"_s, false, {}, {}, {})
            << QStringList{u"\u2014"_s, u"\u2014"_s, u"\u2014"_s, berlin.ip} << false;
        QTest::newRow("small-long-ipv6")
            << small << entry(longIPv6, u"Germany"_s) << QStringList() << false;
        QTest::newRow("medium-long-ipv6")
            << medium << entry(longIPv6, u"Germany"_s) << QStringList() << false;
        QTest::newRow("small-long-country")
            << small << entry(berlin.ip, longCountry) << QStringList() << false;
        QTest::newRow("medium-long-country")
            << medium << entry(berlin.ip, longCountry) << QStringList() << false;
        QTest::newRow("small-offline") << small << GeoEntry{{}, {}, true} << offline << false;
        QTest::newRow("medium-offline") << medium << GeoEntry{{}, {}, true} << offline << false;
    }

    // Every text whole or cut as it should be, inside the card's padding, none on another;
    // drawn legibly on the card, light and dark, over a desktop of the opposite brightness.
    void views()
    {
        QFETCH(WidgetFamily, family);
        QFETCH(GeoEntry, shown);
        QFETCH(QStringList, texts);
        QFETCH(bool, symbol);
        const WidgetDrawing drawing = layoutWidget(shown, family);
        for (const QString &text : texts)
            QVERIFY2(find(drawing, text), qPrintable(text));
        QCOMPARE(texts.count(u"\u2014"_s),
                 std::ranges::count(drawing.texts, u"\u2014"_s, &WidgetText::text));
        QCOMPARE(drawing.staleSymbol.has_value(), symbol);

        const QRectF content =
            QRectF(QPointF(), widgetSize(family))
                .adjusted(widgetPadding, widgetPadding, -widgetPadding, -widgetPadding);
        QList<QRectF> areas;
        for (const WidgetText &item : drawing.texts) {
            const QRectF inked(
                item.rect.topLeft(),
                QSizeF(QFontMetricsF(item.font).horizontalAdvance(item.text), item.rect.height()));
            QVERIFY2(content.contains(inked.adjusted(1, 1, -1, -1)), qPrintable(item.text));
            areas.append(inked);
        }
        if (drawing.staleSymbol)
            areas.append(*drawing.staleSymbol);
        if (family == WidgetFamily::small || !shown.geo) { // centred top to bottom
            const QRectF all = std::accumulate(areas.begin(), areas.end(), QRectF(), std::bit_or());
            QVERIFY(qAbs(all.center().y() - content.center().y()) < 4);
        }
        for (qsizetype i = 0; i < areas.size(); ++i)
            for (qsizetype j = i + 1; j < areas.size(); ++j)
                QVERIFY2(!areas[i].intersects(areas[j]), qPrintable(describe(areas[i])));

        if (shown.geo && shown.geo->ip == longIPv6) {
            const auto cut = std::ranges::find_if(drawing.texts, [](const WidgetText &item) {
                return item.text.startsWith(u"2001:0"_s) && item.text.endsWith(u"7334"_s) &&
                       item.text.contains(u'…');
            });
            QVERIFY(cut != drawing.texts.end());
        }
        if (shown.geo && shown.geo->country == longCountry) {
            const auto country = std::ranges::find_if(drawing.texts, [](const WidgetText &item) {
                return item.text.startsWith(u"United Kingdom"_s);
            });
            QVERIFY(country != drawing.texts.end() && country->text.endsWith(u'…'));
            const qreal scale =
                country->font.pointSizeF() / QFontInfo(textFont(TextStyle::body)).pointSizeF();
            QVERIFY2(qAbs(scale - 0.7) < 0.02, qPrintable(QString::number(scale)));
        }

        for (const bool dark : {false, true}) {
            GeoWidgetView view(family);
            QPalette palette;
            palette.setColor(QPalette::Window, dark ? Qt::black : Qt::white);
            view.setPalette(palette);
            view.setEntry(shown);
            QImage image(view.size(), QImage::Format_RGB32);
            image.fill(dark ? Qt::white : Qt::black); // the desktop behind it
            view.render(&image);
            const QRgb fill = image.pixel(int(widgetPadding / 2), image.height() / 2);
            const QString name = u"widget-%1-%2.png"_s.arg(
                QString::fromLatin1(QTest::currentDataTag()), dark ? u"dark"_s : u"light"_s);
            if (const QString folder = qEnvironmentVariable("VELMORA_ARTIFACTS"); !folder.isEmpty())
                image.save(QDir(folder).filePath(name));
            for (const QRectF &area : areas) {
                const double contrast = pixels::bestContrast(image, area.toAlignedRect(), fill);
                QVERIFY2(contrast >= 4.5, qPrintable(name + describe(area) + describe(contrast)));
            }
        }
    }

    void updated_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("C") << u"C"_s << u"Updated 09:05"_s;
        QTest::newRow("en_US, no AM/PM") << u"en_US"_s << u"Updated 09:05"_s;
        QTest::newRow("fi_FI") << u"fi_FI"_s << u"Updated 09.05"_s;
    }
    void updated()
    {
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        QCOMPARE(updatedText(nineOFive.toDateTime(), QLocale(locale)), expected);
    }
};

} // namespace velmora

QTEST_MAIN(velmora::TestWidgetView)
#include "tst_widgetview.moc"
