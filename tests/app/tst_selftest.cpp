#include "applicationrequest.h"
#include "checkreport.h"

#include <QTest>

#include <cstdio>

using namespace velmora;
using namespace Qt::StringLiterals;

// The self-test's report, and the requests other programs make.
class TestSelfTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // (The self-test itself runs from the package, in tests/package/check_package.sh.)
    void failuresAreCountedAndReported()
    {
        QByteArray printed(4096, '\0');
        std::FILE *file = fmemopen(printed.data(), size_t(printed.size()), "w");
        CheckReport report(file);
        report.check(true, u"first"_s);
        report.check(false, u"rate 1.26MB/s = 1.3 MB/s"_s);
        report.check(false, u"rate 512 B/s"_s);
        QVERIFY(!report.finish());
        std::fclose(file);
        QCOMPARE(printed.constData(),
                 "PASS  first\nFAIL  rate 1.26MB/s = 1.3 MB/s\nFAIL  rate 512 B/s\n"
                 "SELFTEST FAILED (2)\n");
    }

    // The activation calls over D-Bus: the request's name, or why it was refused.
    void applicationRequests_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("outcome");
        const QVariantMap data;
        QTest::newRow("settings") << u"ActivateAction"_s
                                  << QVariantList{u"settings"_s, QVariantList(), data}
                                  << u"settings"_s;
        QTest::newRow("unknown action: control characters escaped, long name cut")
            << u"ActivateAction"_s
            << QVariantList{u"quit\x1b[2J\"\\\n"_s + QString(64, u'a'), QVariantList(), data}
            << u"unknown action \"quit\\u001b[2J\\u0022\\u005c\\u000a%1\"… ignored"_s.arg(
                   QString(33, u'a'));
        QTest::newRow("arguments of another type")
            << u"Open"_s << QVariantList{u"velmora://open"_s, data}
            << u"call \"Open\" with 2 arguments ignored"_s;
    }

    void applicationRequests()
    {
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, outcome);
        const auto request = applicationRequest(member, arguments);
        const QString names[] = {u"popover"_s, u"settings"_s};
        QCOMPARE(request ? names[int(*request)] : request.error(), outcome);
    }
};

QTEST_GUILESS_MAIN(TestSelfTest)
#include "tst_selftest.moc"
