#include "fusionappearance.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QTest>

#include <cmath>
#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

using Theme = Preferences::Theme;

namespace {

// WCAG contrast ratio of role on background in group of the dark palette, light on dark: below
// 1 when role is the darker one, up to 21 for white on black.
double contrast(QPalette::ColorGroup group, QPalette::ColorRole role,
                QPalette::ColorRole background)
{
    const auto luminance = [group](QPalette::ColorRole of) {
        const QColor color = FusionAppearance::darkPalette().color(group, of);
        const auto channel = [](double c) {
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
               0.0722 * channel(color.blueF());
    };
    return (luminance(role) + 0.05) / (luminance(background) + 0.05);
}

} // namespace

class TestAppearance : public QObject
{
    Q_OBJECT

    QString m_desktopStyle;
    QPalette m_desktopPalette;
    std::unique_ptr<FusionAppearance> m_appearance;

private Q_SLOTS:
    void initTestCase()
    {
        // A desktop style and palette other than Fusion's, to tell "system" from light.
        QVERIFY(QApplication::setStyle(u"windows"_s));
        QApplication::setPalette(QPalette(QColor(0x80, 0x60, 0x40)));
        m_desktopStyle = QApplication::style()->name();
        m_desktopPalette = QApplication::palette();
        m_appearance = std::make_unique<FusionAppearance>();
    }

    void apply_data()
    {
        QTest::addColumn<QList<Theme>>("themes");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QPalette>("palette");

        const QString fusion = u"fusion"_s;
        QTest::newRow("dark") << QList{Theme::dark} << fusion << FusionAppearance::darkPalette();
        QTest::newRow("dark, then light")
            << QList{Theme::dark, Theme::light} << fusion << FusionAppearance::lightPalette();
        QTest::newRow("dark, then system")
            << QList{Theme::dark, Theme::system} << m_desktopStyle << m_desktopPalette;
        QTest::newRow("light, then system")
            << QList{Theme::light, Theme::system} << m_desktopStyle << m_desktopPalette;
    }

    void apply()
    {
        QFETCH(QList<Theme>, themes);
        QFETCH(QString, style);
        QFETCH(QPalette, palette);

        QLabel existing(u"made before the change"_s);
        for (const Theme theme : themes)
            m_appearance->apply(theme);
        QCOMPARE(QApplication::style()->name(), style);
        QCOMPARE(QApplication::palette(), palette);
        // The change reaches widgets that already exist (by posted events).
        QTRY_COMPARE(existing.palette().color(QPalette::Window), palette.color(QPalette::Window));
        m_appearance->apply(Theme::system);
    }

    // The light palette is Fusion's own. In the dark one text reads well, light on dark,
    // selections and links well enough, and disabled text still, if less well.
    void darkPaletteIsReadable()
    {
        using P = QPalette;
        QVERIFY(contrast(P::Active, P::WindowText, P::Window) >= 7);
        QVERIFY(contrast(P::Active, P::Text, P::Base) >= 7);
        QVERIFY(contrast(P::Active, P::HighlightedText, P::Highlight) >= 3);
        QVERIFY(contrast(P::Active, P::Link, P::Base) >= 3);
        const QPalette dark = FusionAppearance::darkPalette();
        QVERIFY(contrast(P::Disabled, P::Text, P::Base) >= 2);
        QVERIFY(dark.color(P::Disabled, P::Text).lightness() < dark.color(P::Text).lightness());
    }
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
