#include "fusionappearance.h"

#include <QApplication>
#include <QProxyStyle>
#include <QTest>

#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

using Theme = Preferences::Theme;

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
    }

    void apply()
    {
        QFETCH(QList<Theme>, themes);
        QFETCH(QString, style);
        QFETCH(QPalette, palette);

        for (const Theme theme : themes)
            m_appearance->apply(theme);
        // The style in use, under whatever adjustments a proxy makes to it.
        const QStyle *used = QApplication::style();
        if (const auto *proxy = qobject_cast<const QProxyStyle *>(used))
            used = proxy->baseStyle();
        QCOMPARE(used->name(), style);
        QCOMPARE(QApplication::palette(), palette);
        m_appearance->apply(Theme::system);
    }
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
