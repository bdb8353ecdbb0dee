#include "platform/dnsconfig_linux.h"
#include "testhelpers.h"

#include <QTemporaryDir>

using namespace velmora;
using namespace Qt::StringLiterals;

class TestDnsConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void servers_data()
    {
        QTest::addColumn<QByteArray>("resolvConf"); // null: no file
        QTest::addColumn<QByteArray>("upstream");
        QTest::addColumn<QStringList>("servers");
        const QByteArray upstream = "nameserver 192.168.1.1\nnameserver 2001:db8::1\n"_ba;

        QTest::newRow("order and duplicates kept")
            << "nameserver 10.0.0.1\nnameserver 9.9.9.9\nnameserver 10.0.0.1\n"_ba << upstream
            << QStringList{u"10.0.0.1"_s, u"9.9.9.9"_s, u"10.0.0.1"_s};
        QTest::newRow("comments, other keywords, tabs, CRLF, zones, trailing text")
            << "# nameserver 1.1.1.1\n; nameserver 1.0.0.1\nsearch "
               "lan\nnameserver\t2001:db8::53\r\n"
               "nameserver fe80::1%wlp2s0  # link\n"_ba
            << upstream << QStringList{u"2001:db8::53"_s, u"fe80::1%wlp2s0"_s};
        // As the C library reads them, none of these names a server.
        QTest::newRow("not nameserver lines")
            << " nameserver 10.0.0.5\nnameservers 10.0.0.6\nnameserver10.0.0.7\n"
               "nameserver dns.example\nnameserver 300.1.1.1\nnameserver 1.2.3\n"
               "nameserver fe80::1%a/b\nnameserver <b>1.1.1.1</b>\n"_ba
            << upstream << QStringList();
        QTest::newRow("both stubs") << "nameserver 127.0.0.53\nnameserver 127.0.0.54\n"_ba
                                    << upstream << QStringList{u"192.168.1.1"_s, u"2001:db8::1"_s};
        QTest::newRow("stub and another")
            << "nameserver 127.0.0.53\nnameserver 10.0.0.1\n"_ba << upstream
            << QStringList{u"127.0.0.53"_s, u"10.0.0.1"_s};
        QTest::newRow("stub, upstream missing")
            << "nameserver 127.0.0.53\n"_ba << QByteArray() << QStringList();
        QTest::newRow("missing") << QByteArray() << upstream << QStringList();
        QTest::newRow("binary garbage") << "\x7f"
                                           "ELF\x02\x01\0\0\nnameserver 10.0.0.1\n\xff"_ba
                                        << upstream << QStringList();
        QTest::newRow("too large")
            << "nameserver 10.0.0.1\n"_ba + QByteArray(ResolvConfDnsConfig::maxFileBytes, '#')
            << upstream << QStringList();
    }

    void servers()
    {
        QFETCH(QByteArray, resolvConf);
        QFETCH(QByteArray, upstream);
        QFETCH(QStringList, servers);
        QTemporaryDir dir;
        const QString paths[] = {dir.filePath(u"resolv.conf"_s), dir.filePath(u"upstream"_s)};
        QVERIFY(resolvConf.isNull() || test::writeFile(paths[0], resolvConf));
        QVERIFY(upstream.isNull() || test::writeFile(paths[1], upstream));
        QCOMPARE(ResolvConfDnsConfig(paths[0], paths[1]).servers(), servers);
    }

    void endlessDevice() // read as a file, it would never end
    {
        QCOMPARE(ResolvConfDnsConfig(u"/dev/zero"_s, u"/dev/zero"_s).servers(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestDnsConfig)
#include "tst_dnsconfig.moc"
