#include "colorcode.h"
#include "preferences.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <limits>

using namespace velmora;
using namespace Qt::StringLiterals;

using Unit = Preferences::SpeedUnit;

class TestFormatting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // QCoreApplication takes the locale from the environment; a German one must not turn the
    // decimal point into a comma. Every test runs under one, when it is installed (localedef -i
    // de_DE -f UTF-8 de_DE.UTF-8).
    void initTestCase()
    {
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            qWarning("no German locale installed: formatting is checked in the C locale only");
    }
    void cleanupTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void format_data()
    {
        QTest::addColumn<bool>("megabits"); // formatMbps, else formatRate
        QTest::addColumn<double>("value");
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<QString>("expected");

        const auto rate = [](const char *name, double bytesPerSecond, Unit unit,
                             const QString &expected) {
            QTest::newRow(name) << false << bytesPerSecond << unit << expected;
        };
        const auto mbps = [](const char *name, double megabits, Unit unit,
                             const QString &expected) {
            QTest::newRow(name) << true << megabits << unit << expected;
        };
        rate("negative", -5'000, Unit::bytes, u"0 B/s"_s);
        rate("not a number", std::numeric_limits<double>::quiet_NaN(), Unit::bits, u"0 b/s"_s);
        rate("999.6 B rounds up unscaled", 999.6, Unit::bytes, u"1000 B/s"_s);
        rate("1000 B", 1000, Unit::bytes, u"1.0 KB/s"_s);
        rate("99.96 KB keeps its decimal", 99'960, Unit::bytes, u"100.0 KB/s"_s);
        rate("100 KB", 100'000, Unit::bytes, u"100 KB/s"_s);
        rate("999.96 KB stays kilo", 999'960, Unit::bytes, u"1000 KB/s"_s);
        rate("125 B is 1 Kb", 125, Unit::bits, u"1.0 Kb/s"_s);
        rate("2 TB stays giga", 2e12, Unit::bytes, u"2000 GB/s"_s);
        // printf rounds the exact binary value, ties to even.
        rate("tie 1.25 KB", 1'250, Unit::bytes, u"1.2 KB/s"_s);
        rate("tie 1.75 KB", 1'750, Unit::bytes, u"1.8 KB/s"_s);
        mbps("Mbps in bits, no prefix change", 1500, Unit::bits, u"1500.0 Mbps"_s);
        mbps("Mbps in bytes, tie", 2, Unit::bytes, u"0.2 MB/s"_s);
    }

    void format()
    {
        QFETCH(bool, megabits);
        QFETCH(double, value);
        QFETCH(Unit, unit);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"settings.json"_s));
        Preferences preferences(store);
        preferences.setSpeedUnit(unit);
        QCOMPARE(megabits ? preferences.formatMbps(value) : preferences.formatRate(value),
                 expected);
    }

    void colorFromHex_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QColor>("expected");

        const QColor green(0x34, 0xC7, 0x59); // plain "#34C759": the self-test's round trip
        QTest::newRow("two signs each side") << u"##34C759##"_s << green;
        QTest::newRow("lower case") << u"#34c759"_s << green;
        QTest::newRow("plus sign") << u"+4C759"_s << QColor(0x04, 0xC7, 0x59);
        QTest::newRow("minus zero") << u"-00000"_s << QColor(0, 0, 0);
        QTest::newRow("minus non-zero") << u"-00001"_s << QColor();
        QTest::newRow("two signs") << u"+-0000"_s << QColor();
        QTest::newRow("five digits") << u"#34C75"_s << QColor();
        QTest::newRow("letter beyond F") << u"#34C75G"_s << QColor();
        QTest::newRow("space before sign") << u" #34C759"_s << QColor();
        QTest::newRow("sign inside") << u"#34#759"_s << QColor();
        QTest::newRow("0x prefix") << u"0x34C7"_s << QColor();
        QTest::newRow("fullwidth digits") << u"\uFF13\uFF14C759"_s << QColor();
    }

    void colorFromHex()
    {
        QFETCH(QString, code);
        QFETCH(QColor, expected);
        const std::optional<QColor> color = velmora::colorFromHex(code);
        QCOMPARE(color.value_or(QColor()), expected);
        if (color)
            QCOMPARE(color->spec(), QColor::Rgb);
    }

    void hexString_data()
    {
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QString>("expected");

        QTest::newRow("components") << QColor::fromRgbF(0.2f, 0.78f, 0.35f) << u"#33C759"_s;
        QTest::newRow("two digits, upper case") << QColor(1, 0xCD, 0xEF) << u"#01CDEF"_s;
        QTest::newRow("alpha ignored") << QColor(0x34, 0xC7, 0x59, 0x10) << u"#34C759"_s;
        QTest::newRow("from HSV") << QColor::fromHsv(0, 255, 255) << u"#FF0000"_s;
        QTest::newRow("invalid") << QColor() << u"#FFFFFF"_s;
    }

    void hexString()
    {
        QFETCH(QColor, color);
        QFETCH(QString, expected);
        QCOMPARE(velmora::hexString(color), expected);
    }
};

QTEST_GUILESS_MAIN(TestFormatting)
#include "tst_formatting.moc"
