#include "fusionappearance.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

using Theme = Preferences::Theme;

namespace {

// WCAG relative luminance and contrast ratio, 1 (none) to 21 (black on white).
double luminance(const QColor &color)
{
    const auto channel = [](float c) {
        return c <= 0.03928f ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool isDark(const QPalette &palette)
{
    return luminance(palette.color(QPalette::Window)) < 0.2;
}

} // namespace

class TestAppearance : public QObject
{
    Q_OBJECT

private:
    QString m_desktopStyle;
    QPalette m_desktopPalette;
    std::unique_ptr<FusionAppearance> m_appearance;

private Q_SLOTS:
    void initTestCase()
    {
        // A desktop style other than Fusion, so that "system" is told apart from light.
        QVERIFY(QApplication::setStyle(u"windows"_s));
        m_desktopStyle = QApplication::style()->name();
        m_desktopPalette = QApplication::palette();
        m_appearance = std::make_unique<FusionAppearance>();
    }

    void apply_data()
    {
        QTest::addColumn<QList<Theme>>("themes");
        QTest::addColumn<bool>("fusion");
        QTest::addColumn<bool>("dark");

        QTest::newRow("dark") << QList<Theme>{Theme::dark} << true << true;
        QTest::newRow("light") << QList<Theme>{Theme::light} << true << false;
        QTest::newRow("dark, then light")
            << QList<Theme>{Theme::dark, Theme::light} << true << false;
        QTest::newRow("light, then dark")
            << QList<Theme>{Theme::light, Theme::dark} << true << true;
        QTest::newRow("dark, then system")
            << QList<Theme>{Theme::dark, Theme::system} << false << false;
        QTest::newRow("light, then system")
            << QList<Theme>{Theme::light, Theme::system} << false << false;
        QTest::newRow("system twice")
            << QList<Theme>{Theme::system, Theme::system} << false << false;
    }

    void apply()
    {
        QFETCH(QList<Theme>, themes);
        QFETCH(bool, fusion);
        QFETCH(bool, dark);

        QLabel existing(u"made before the change"_s);
        for (const Theme theme : themes)
            m_appearance->apply(theme);

        QCOMPARE(QApplication::style()->name(), fusion ? u"fusion"_s : m_desktopStyle);
        QCOMPARE(isDark(QApplication::palette()), dark);
        // The change reaches widgets that already exist (by posted events).
        QTRY_COMPARE(existing.palette().color(QPalette::Window),
                     QApplication::palette().color(QPalette::Window));
        if (!fusion) {
            for (const auto role : {QPalette::Window, QPalette::WindowText, QPalette::Base,
                                    QPalette::Text, QPalette::Button, QPalette::Highlight}) {
                QCOMPARE(QApplication::palette().color(role), m_desktopPalette.color(role));
            }
        }
        m_appearance->apply(Theme::system);
    }

    void readable_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<QPalette::ColorGroup>("group");
        QTest::addColumn<QPalette::ColorRole>("foreground");
        QTest::addColumn<QPalette::ColorRole>("background");
        QTest::addColumn<double>("minimum");

        // The dark palette is ours; the light one is Fusion's own.
        const QPalette palette = FusionAppearance::darkPalette();
        const auto row = [&](const char *what, QPalette::ColorGroup group,
                             QPalette::ColorRole foreground, QPalette::ColorRole background,
                             double minimum) {
            QTest::newRow(what) << palette << group << foreground << background << minimum;
        };
        row("window text", QPalette::Active, QPalette::WindowText, QPalette::Window, 7);
        row("text", QPalette::Active, QPalette::Text, QPalette::Base, 7);
        row("button text", QPalette::Active, QPalette::ButtonText, QPalette::Button, 7);
        row("tool tip", QPalette::Active, QPalette::ToolTipText, QPalette::ToolTipBase, 7);
        row("selection", QPalette::Active, QPalette::HighlightedText, QPalette::Highlight, 3);
        row("link", QPalette::Active, QPalette::Link, QPalette::Base, 3);
        row("placeholder", QPalette::Active, QPalette::PlaceholderText, QPalette::Base, 3);
        row("inactive text", QPalette::Inactive, QPalette::Text, QPalette::Base, 7);
        row("disabled window text", QPalette::Disabled, QPalette::WindowText, QPalette::Window, 2);
        row("disabled button text", QPalette::Disabled, QPalette::ButtonText, QPalette::Button, 2);
        row("disabled text", QPalette::Disabled, QPalette::Text, QPalette::Base, 2);
    }

    void readable()
    {
        QFETCH(QPalette, palette);
        QFETCH(QPalette::ColorGroup, group);
        QFETCH(QPalette::ColorRole, foreground);
        QFETCH(QPalette::ColorRole, background);
        QFETCH(double, minimum);
        const double ratio =
            contrast(palette.color(group, foreground), palette.color(group, background));
        QVERIFY2(ratio >= minimum, qPrintable(u"contrast %1"_s.arg(ratio)));
    }

    void disabledTextLooksDisabled()
    {
        const QPalette dark = FusionAppearance::darkPalette();
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            QVERIFY(contrast(dark.color(QPalette::Disabled, role), dark.color(QPalette::Window)) <
                    contrast(dark.color(QPalette::Active, role), dark.color(QPalette::Window)));
        }
    }
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
