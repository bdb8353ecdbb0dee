#include "flag.h"
#include "throughput.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {
QString indicators(char first, char second)
{
    const char32_t pair[] = {char32_t(0x1F1E6 + (first - 'A')), char32_t(0x1F1E6 + (second - 'A'))};
    return QString::fromUcs4(pair, 2);
}
} // namespace

class TestFlag : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emoji_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");

        QTest::newRow("US") << u"US"_s << indicators('U', 'S');
        QTest::newRow("DE") << u"DE"_s << indicators('D', 'E');
        QTest::newRow("IR") << u"IR"_s << indicators('I', 'R');
        QTest::newRow("lower case") << u"de"_s << indicators('D', 'E');
        QTest::newRow("mixed case") << u"tR"_s << indicators('T', 'R');
        QTest::newRow("unassigned pair") << u"ZZ"_s << indicators('Z', 'Z');
        QTest::newRow("sharp s upper-cases to SS") << u"\u00DF"_s << indicators('S', 'S');
        QTest::newRow("empty") << QString() << Flag::loading();
        QTest::newRow("one letter") << u"D"_s << Flag::loading();
        QTest::newRow("three letters") << u"DEU"_s << Flag::loading();
        QTest::newRow("letter digit") << u"D1"_s << Flag::loading();
        QTest::newRow("digit letter") << u"1D"_s << Flag::loading();
        QTest::newRow("letter dash") << u"D-"_s << Flag::loading();
        QTest::newRow("X1") << u"X1"_s << Flag::loading();
        QTest::newRow("accented letter") << u"\u00C9S"_s << Flag::loading();
        QTest::newRow("combining mark: two clusters, three scalars")
            << u"E\u0301S"_s << Flag::loading();
        QTest::newRow("fullwidth letters") << u"\uFF24\uFF25"_s << Flag::loading();
        QTest::newRow("space padded") << u" DE"_s << Flag::loading();
        QTest::newRow("already a flag") << indicators('D', 'E') << Flag::loading();
    }

    void emoji()
    {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        QCOMPARE(Flag::emoji(code), expected);
    }

    void placeholders()
    {
        QCOMPARE(Flag::loading().toUcs4(), QList<uint>{0x1F310});
        QCOMPARE(Flag::offline().toUcs4(), (QList<uint>{0x26A0, 0xFE0F}));
    }

    void mbps_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("expected");

        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("1 MB in 1 s") << qint64(1'000'000) << 1.0 << 8.0;
        QTest::newRow("25 MB in 2 s") << qint64(25'000'000) << 2.0 << 100.0;
        QTest::newRow("1.25 MB in 1 s") << qint64(1'250'000) << 1.0 << 10.0;
        QTest::newRow("fraction of a second") << qint64(125'000) << 0.5 << 2.0;
        QTest::newRow("no bytes") << qint64(0) << 1.0 << 0.0;
        QTest::newRow("negative bytes") << qint64(-5) << 1.0 << 0.0;
        QTest::newRow("zero duration") << qint64(1) << 0.0 << 0.0;
        QTest::newRow("negative duration") << qint64(1) << -1.0 << 0.0;
        QTest::newRow("NaN duration") << qint64(1) << nan << 0.0;
    }

    void mbps()
    {
        QFETCH(qint64, bytes);
        QFETCH(double, seconds);
        QFETCH(double, expected);
        QCOMPARE(Throughput::mbps(bytes, seconds), expected);
    }
};

QTEST_GUILESS_MAIN(TestFlag)
#include "tst_flag.moc"
