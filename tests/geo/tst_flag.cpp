#include "flag.h"
#include "throughput.h"

#include <QTest>

#include <limits>

using namespace velmora;
using namespace Qt::StringLiterals;

class TestFlag : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emoji_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");

        QTest::newRow("unassigned pair") << u"ZZ"_s << QString::fromUcs4(U"\U0001F1FF\U0001F1FF");
        QTest::newRow("sharp s upper-cases to SS")
            << u"\u00DF"_s << QString::fromUcs4(U"\U0001F1F8\U0001F1F8");
        QTest::newRow("empty") << QString() << Flag::loading();
        QTest::newRow("three letters") << u"DEU"_s << Flag::loading();
        QTest::newRow("letter digit") << u"D1"_s << Flag::loading();
        QTest::newRow("digit letter") << u"1D"_s << Flag::loading();
        QTest::newRow("accented letter") << u"\u00C9S"_s << Flag::loading();
        QTest::newRow("combining mark: two clusters, three scalars")
            << u"E\u0301S"_s << Flag::loading();
        QTest::newRow("space padded") << u" DE"_s << Flag::loading();
    }

    void emoji()
    {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        QCOMPARE(Flag::emoji(code), expected);
    }

    void mbps_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("expected");

        QTest::newRow("no bytes") << qint64(0) << 1.0 << 0.0;
        QTest::newRow("negative bytes") << qint64(-5) << 1.0 << 0.0;
        QTest::newRow("negative duration") << qint64(1) << -1.0 << 0.0;
        QTest::newRow("NaN duration")
            << qint64(1) << std::numeric_limits<double>::quiet_NaN() << 0.0;
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
