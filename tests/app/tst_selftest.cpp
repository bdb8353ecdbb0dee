#include "applicationrequest.h"

#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

// The requests other programs make. (The self-test runs from the package, in
// tests/package/check_package.sh.)
class TestSelfTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
