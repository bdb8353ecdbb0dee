#include "fusionappearance.h"

#include <QApplication>
#include <QProxyStyle>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

using Theme = Preferences::Theme;

class TestAppearance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Dark and light are Fusion in their palettes; "system" gives the desktop's own back.
    void apply()
    {
        // A desktop style and palette other than Fusion's, to tell "system" from light.
        QVERIFY(QApplication::setStyle(u"windows"_s));
        QApplication::setPalette(QPalette(QColor(0x80, 0x60, 0x40)));
        const QString desktopStyle = QApplication::style()->name();
        const QPalette desktopPalette = QApplication::palette();
        FusionAppearance appearance;
        // The style in use, under whatever adjustments a proxy makes to it, and the palette.
        const auto applied = [&appearance](Theme theme) {
            appearance.apply(theme);
            const QStyle *used = QApplication::style();
            if (const auto *proxy = qobject_cast<const QProxyStyle *>(used))
                used = proxy->baseStyle();
            return std::pair(used->name(), QApplication::palette());
        };
        QCOMPARE(applied(Theme::dark), std::pair(u"fusion"_s, FusionAppearance::darkPalette()));
        QCOMPARE(applied(Theme::light), std::pair(u"fusion"_s, FusionAppearance::lightPalette()));
        QCOMPARE(applied(Theme::system), std::pair(desktopStyle, desktopPalette));
    }
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
