#include "colorcode.h"
#include "preferences.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <limits>
#include <string>

using namespace velmora;
using namespace Qt::StringLiterals;

using Unit = Preferences::SpeedUnit;

class TestFormatting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formatRate_data()
    {
        QTest::addColumn<double>("bytesPerSecond");
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, double rate, Unit unit, const QString &expected) {
            QTest::newRow(name) << rate << unit << expected;
        };
        row("1.25 MB in bits", 1'250'000, Unit::bits, u"10.0 Mb/s"_s);
        row("1.26 MB in bytes", 1'260'000, Unit::bytes, u"1.3 MB/s"_s);
        row("512 B", 512, Unit::bytes, u"512 B/s"_s);
        row("250 MB in bits", 250'000'000, Unit::bits, u"2.0 Gb/s"_s);
        row("zero", 0, Unit::bits, u"0 b/s"_s);
        row("negative", -5'000, Unit::bytes, u"0 B/s"_s);
        row("not a number", std::numeric_limits<double>::quiet_NaN(), Unit::bytes, u"0 B/s"_s);
        row("999.6 B rounds up unscaled", 999.6, Unit::bytes, u"1000 B/s"_s);
        row("1000 B", 1000, Unit::bytes, u"1.0 KB/s"_s);
        row("99.94 KB", 99'940, Unit::bytes, u"99.9 KB/s"_s);
        row("99.96 KB keeps its decimal", 99'960, Unit::bytes, u"100.0 KB/s"_s);
        row("100 KB", 100'000, Unit::bytes, u"100 KB/s"_s);
        row("999.96 KB stays kilo", 999'960, Unit::bytes, u"1000 KB/s"_s);
        row("125 B is 1 Kb", 125, Unit::bits, u"1.0 Kb/s"_s);
        row("2 TB stays giga", 2e12, Unit::bytes, u"2000 GB/s"_s);
        // printf rounds the exact binary value, ties to even.
        row("tie 2.5 B", 2.5, Unit::bytes, u"2 B/s"_s);
        row("tie 1.25 KB", 1'250, Unit::bytes, u"1.2 KB/s"_s);
        row("tie 1.75 KB", 1'750, Unit::bytes, u"1.8 KB/s"_s);
        row("1.35 KB is above the tie", 1'350, Unit::bytes, u"1.4 KB/s"_s);
    }

    void formatRate()
    {
        QFETCH(double, bytesPerSecond);
        QFETCH(Unit, unit);
        QFETCH(QString, expected);
        QCOMPARE(Preferences::formatRate(bytesPerSecond, unit), expected);
    }

    void instanceFormatting_data()
    {
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<double>("mbps");
        QTest::addColumn<QString>("rateText");
        QTest::addColumn<QString>("mbpsText");

        // The rate is always 125,000 bytes per second.
        QTest::newRow("bits") << Unit::bits << 100.0 << u"1.0 Mb/s"_s << u"100.0 Mbps"_s;
        QTest::newRow("bytes") << Unit::bytes << 100.0 << u"125 KB/s"_s << u"12.5 MB/s"_s;
        QTest::newRow("bits, no prefix change")
            << Unit::bits << 1500.0 << u"1.0 Mb/s"_s << u"1500.0 Mbps"_s;
        QTest::newRow("bytes, tie") << Unit::bytes << 2.0 << u"125 KB/s"_s << u"0.2 MB/s"_s;
    }

    void instanceFormatting()
    {
        QFETCH(Unit, unit);
        QFETCH(double, mbps);
        QFETCH(QString, rateText);
        QFETCH(QString, mbpsText);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"settings.json"_s));
        Preferences preferences(store);
        preferences.setSpeedUnit(unit);
        QCOMPARE(preferences.formatRate(125'000), rateText);
        QCOMPARE(preferences.formatMbps(mbps), mbpsText);
    }

    // QCoreApplication takes the locale from the environment; a German one must not turn
    // the decimal point into a comma.
    void decimalPointUnderGermanLocale()
    {
        const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            QSKIP("no German locale installed (localedef -i de_DE -f UTF-8 de_DE.UTF-8)");
        char probe[8];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        const QString rate = Preferences::formatRate(1'260'000, Unit::bytes);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"settings.json"_s));
        const QString mbps = Preferences(store).formatMbps(12.5);
        std::setlocale(LC_NUMERIC, previous.c_str());

        QCOMPARE(QString::fromLatin1(probe), u"1,5"_s);
        QCOMPARE(rate, u"1.3 MB/s"_s);
        QCOMPARE(mbps, u"12.5 Mbps"_s);
    }

    void colorFromHex_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QColor>("expected");

        const QColor green(0x34, 0xC7, 0x59);
        QTest::newRow("code") << u"#34C759"_s << green;
        QTest::newRow("no number sign") << u"34C759"_s << green;
        QTest::newRow("two signs each side") << u"##34C759##"_s << green;
        QTest::newRow("lower case") << u"#34c759"_s << green;
        QTest::newRow("plus sign") << u"+4C759"_s << QColor(0x04, 0xC7, 0x59);
        QTest::newRow("minus zero") << u"-00000"_s << QColor(0, 0, 0);
        QTest::newRow("minus non-zero") << u"-00001"_s << QColor();
        QTest::newRow("two signs") << u"+-0000"_s << QColor();
        QTest::newRow("five digits") << u"#34C75"_s << QColor();
        QTest::newRow("seven digits") << u"#34C7590"_s << QColor();
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
        QTest::newRow("round trip") << *velmora::colorFromHex(u"#34C759") << u"#34C759"_s;
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
