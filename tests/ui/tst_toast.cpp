// The card that tells of a new public address, as it reads.

#include "pixels.h"
#include "toast/toastview.h"
#include "viewsetup.h"
#include "wrappinglabel.h"

#include <QApplication>

#include <QLabel>
#include <QScopeGuard>
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
    // The title says whether the country changed, however long the names; the addresses keep
    // one line, shortened in the middle, and a reader still gets them whole. Every text reads on
    // the card in both themes.
    void texts_data()
    {
        QTest::addColumn<Preferences::Theme>("theme");
        QTest::addColumn<GeoInfo>("old");
        QTest::addColumn<GeoInfo>("now");
        QTest::addColumn<QStringList>("lines");
        const GeoInfo berlin = record(u"203.0.113.4"_s, u"DE"_s, u"Germany"_s);
        for (const auto theme : {Preferences::Theme::light, Preferences::Theme::dark}) {
            const QByteArray name = Preferences::rawValue(theme).toLatin1();
            QTest::addRow("same-country-%s", name.data())
                << theme << berlin << record(u"203.0.113.9"_s, u"DE"_s, u"Germany"_s)
                << QStringList{u"IP address changed"_s, u"203.0.113.4 → 203.0.113.9"_s};
            QTest::addRow("another-country-%s", name.data())
                << theme << berlin << record(u"198.51.100.7"_s, u"NL"_s, u"Netherlands"_s)
                << QStringList{u"Now in Netherlands"_s, u"203.0.113.4 → 198.51.100.7"_s,
                               u"was 🇩🇪 Germany"_s};
        }
        // Long country names wrap, at the common desktop font size.
        const GeoInfo sarajevo = record(u"203.0.113.4"_s, u"BA"_s, u"Bosnia and Herzegovina"_s);
        for (const auto theme : {Preferences::Theme::light, Preferences::Theme::dark}) {
            QTest::addRow("long-names-%s", Preferences::rawValue(theme).toLatin1().data())
                << theme << sarajevo
                << record(u"198.51.100.7"_s, u"GS"_s,
                          u"South Georgia and the South Sandwich Islands"_s)
                << QStringList{u"Now in South Georgia and the South Sandwich Islands"_s,
                               u"203.0.113.4 → 198.51.100.7"_s, u"was 🇧🇦 Bosnia and Herzegovina"_s};
        }
        QTest::newRow("long-names-congo")
            << Preferences::Theme::light
            << record(u"203.0.113.4"_s, u"CD"_s, u"Democratic Republic of the Congo"_s)
            << record(u"198.51.100.7"_s, u"VC"_s, u"Saint Vincent and the Grenadines"_s)
            << QStringList{u"Now in Saint Vincent and the Grenadines"_s,
                           u"203.0.113.4 → 198.51.100.7"_s,
                           u"was 🇨🇩 Democratic Republic of the Congo"_s};
        QTest::newRow("long-ipv6")
            << Preferences::Theme::light
            << record(u"2001:db8:aaaa:bbbb:cccc:dddd:eeee:1"_s, u"DE"_s, u"Germany"_s)
            << record(u"2001:db8:ffff:1111:2222:3333:4444:2"_s, u"DE"_s, u"Germany"_s)
            << QStringList{u"IP address changed"_s, u"2001:db8:aaaa:bbbb:cccc:dddd:eeee:1 → "
                                                    "2001:db8:ffff:1111:2222:3333:4444:2"_s};
    }

    void texts()
    {
        QFETCH(Preferences::Theme, theme);
        QFETCH(GeoInfo, old);
        QFETCH(GeoInfo, now);
        QFETCH(QStringList, lines);
        fakes::ThemedApplication themed(theme);
        const QFont before = QApplication::font();
        const auto restore = qScopeGuard([&] { QApplication::setFont(before); });
        QFont desktop = before;
        desktop.setPointSize(10);
        QApplication::setFont(desktop);
        ToastView view(old, now, {});
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QImage image = pixels::fromScreen(&view);
        const QRgb card = image.pixel(view.width() / 2, 3);
        QStringList read;
        for (const QLabel *label : view.findChildren<QLabel *>()) {
            if (label->text() == now.flag())
                continue;
            const auto *wrapping = qobject_cast<const WrappingLabel *>(label);
            const QString shown = label->text();
            read.append(wrapping                            ? wrapping->fullText()
                        : label->accessibleName().isEmpty() ? shown
                                                            : label->accessibleName());
            // Titles wrap, every word shown; the addresses keep one line, shown whole or
            // shortened in the middle.
            if (wrapping)
                QCOMPARE(QString(shown).replace(u'\n', u' '), read.last());
            else
                QVERIFY2(!shown.contains(u'\n') &&
                             (shown == read.last() ||
                              (shown.contains(u'…') &&
                               read.last().startsWith(shown.section(u'…', 0, 0)) &&
                               read.last().endsWith(shown.section(u'…', 1)))),
                         qPrintable(shown));
            for (const QString &line : shown.split(u'\n'))
                QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->width(),
                         qPrintable(line));
            QVERIFY(label->height() >= label->heightForWidth(label->width()));
            QVERIFY2(view.rect().adjusted(13, 9, -13, -9).contains(label->geometry()),
                     qPrintable(shown));
            QVERIFY2(pixels::bestContrast(image, label->geometry(), card) >= 4.5,
                     qPrintable(shown));
        }
        QCOMPARE(read, lines);
        QCOMPARE(view.width(), ToastView::cardWidth);
        pixels::saveArtifact(&view,
                             u"toast-%1.png"_s.arg(QLatin1StringView(QTest::currentDataTag())));
    }
};

QTEST_MAIN(TestToast)
#include "tst_toast.moc"
