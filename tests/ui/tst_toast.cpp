// The card that tells of a new public address, as it reads.

#include "pixels.h"
#include "toast/toastview.h"
#include "viewsetup.h"

#include <QLabel>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

GeoInfo record(const QString &ip, const QString &code, const QString &country)
{
    return {.ip = ip, .country = country, .countryCode = code};
}

} // namespace

class TestToast : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The title says whether the country changed; the addresses keep one line, shortened in
    // the middle, and a reader still gets them whole.
    void texts_data()
    {
        QTest::addColumn<GeoInfo>("old");
        QTest::addColumn<GeoInfo>("now");
        QTest::addColumn<QStringList>("lines");
        const GeoInfo berlin = record(u"203.0.113.4"_s, u"DE"_s, u"Germany"_s);
        QTest::newRow("same country")
            << berlin << record(u"203.0.113.9"_s, u"DE"_s, u"Germany"_s)
            << QStringList{u"IP address changed"_s, u"203.0.113.4 → 203.0.113.9"_s};
        QTest::newRow("another country")
            << berlin << record(u"198.51.100.7"_s, u"NL"_s, u"Netherlands"_s)
            << QStringList{u"Now in Netherlands"_s, u"203.0.113.4 → 198.51.100.7"_s,
                           u"was 🇩🇪 Germany"_s};
        QTest::newRow("long IPv6 addresses")
            << record(u"2001:db8:aaaa:bbbb:cccc:dddd:eeee:1"_s, u"DE"_s, u"Germany"_s)
            << record(u"2001:db8:ffff:1111:2222:3333:4444:2"_s, u"DE"_s, u"Germany"_s)
            << QStringList{u"IP address changed"_s, u"2001:db8:aaaa:bbbb:cccc:dddd:eeee:1 → "
                                                    "2001:db8:ffff:1111:2222:3333:4444:2"_s};
    }

    void texts()
    {
        QFETCH(GeoInfo, old);
        QFETCH(GeoInfo, now);
        QFETCH(QStringList, lines);
        ToastView view(old, now, {});
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QStringList read;
        for (const QLabel *label : view.findChildren<QLabel *>()) {
            if (label->text() == now.flag())
                continue;
            read.append(label->accessibleName().isEmpty() ? label->text()
                                                          : label->accessibleName());
            // Shown whole or shortened in the middle, always on one line within the card.
            const QString shown = label->text();
            QVERIFY2(shown == read.last() || (shown.contains(u'…') &&
                                              read.last().startsWith(shown.section(u'…', 0, 0)) &&
                                              read.last().endsWith(shown.section(u'…', 1))),
                     qPrintable(shown));
            QVERIFY(label->geometry().right() < ToastView::cardWidth - 13);
            QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
        }
        QCOMPARE(read, lines);
        QCOMPARE(view.width(), ToastView::cardWidth);
    }

    // Both themes: the texts read on the card.
    void readable_data() { fakes::addThemeRows(); }
    void readable()
    {
        QFETCH(Preferences::Theme, theme);
        fakes::ThemedApplication themed(theme);
        ToastView view(record(u"203.0.113.4"_s, u"DE"_s, u"Germany"_s),
                       record(u"198.51.100.7"_s, u"NL"_s, u"Netherlands"_s), {});
        view.adjustSize();
        const QImage image = pixels::grab(&view);
        const QRgb card = image.pixel(view.width() / 2, 3);
        for (const QLabel *label : view.findChildren<QLabel *>()) {
            if (label->text() != view.findChildren<QLabel *>().first()->text())
                QVERIFY2(pixels::bestContrast(image, label->geometry(), card) >= 4.5,
                         qPrintable(label->text()));
        }
        pixels::saveArtifact(&view, u"toast-%1.png"_s.arg(Preferences::rawValue(theme)));
    }
};

QTEST_MAIN(TestToast)
#include "tst_toast.moc"
