// The recipes in examples/status, as they stand, in the real bars they are written for: waybar
// on a headless sway, polybar on X and Xfce's Generic Monitor in the Xfce panel. Each bar finds
// `velmora` on its PATH and runs it as its recipe says, beside the running program, which sees
// live traffic on a wired link of its own and has its lookups answered by a local stand-in.
// What the bar shows is read back from the screen.

#include "../model/privatenetwork.h"
#include "desktopsession.h"
#include "testcertificates.h"
#include "testhelpers.h"
#include "testserver.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <atomic>
#include <cmath>
#include <thread>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

using Component = DesktopSession::Component;

// A bar with a recipe, as ratesOnTheBar reads it.
struct BarRow
{
    Component bar;
    QString recipe; // in examples/status
    QString module;
    QByteArray config; // the module's, RECIPE where the recipe goes
    int height;        // of the bar, along the top
    int period;        // ms between the bar's runs of the recipe, 0 if it follows
};

// The rates a picture of the bar shows, in bits per second, as the OCR reads them: smoothly
// enlarged, as small type defeats it otherwise, and told the characters rates are written in,
// or it reads "0 b/s" as "Ob/s" (it may still drop that space). read is all it read.
QList<double> shownRates(const DesktopSession &session, const QImage &bar, QString &read)
{
    const QString scan = session.path() + u"/bar.png"_s;
    if (!bar.scaled(bar.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(scan))
        return {};
    read = session.run({u"tesseract"_s, scan, u"-"_s, u"--psm"_s, u"7"_s, u"-c"_s,
                        u"tessedit_char_whitelist=0123456789.KMGb/s "_s});
    static const QRegularExpression rate(u"(\\d+(?:\\.\\d)?) ?([KMG]?)b/s"_s);
    QList<double> rates;
    for (const QRegularExpressionMatch &match : rate.globalMatch(read)) {
        const QString prefix = match.captured(2);
        rates << match.captured(1).toDouble() *
                     std::pow(1000.0, prefix.isEmpty() ? 0 : u"KMG"_s.indexOf(prefix) + 1);
    }
    return rates;
}

} // namespace

Q_DECLARE_METATYPE(BarRow)

class TestStatusConsumers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TestCertificates> m_certificates;
    std::unique_ptr<TestServer> m_server;
    QProcess m_velmora;
    std::atomic_bool m_sending = false;
    std::jthread m_traffic;

private Q_SLOTS:
    void initTestCase()
    {
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
        // Frames to a neighbour that is not there, out of one end of a veth pair named like
        // Ethernet, leave nothing out of the namespace; the lookups go to the stand-in.
        VERIFY_IP(u"link add eth0 type veth peer name eth1\nlink set eth0 up\nlink set eth1 up\n"
                  "addr add 10.9.0.1/24 dev eth0\nlink set lo up\n"
                  "neigh add 10.9.0.2 lladdr 02:00:00:00:00:02 dev eth0 nud permanent\n"
                  "route add default via 10.9.0.2 dev eth0\n"_s);
        const QStringList hosts{u"ipwho.is"_s, u"ipapi.co"_s};
        m_certificates = std::make_unique<TestCertificates>(hosts);
        QVERIFY2(m_certificates->isValid(), qPrintable(m_certificates->errorString()));
        QVERIFY(test::bindOver(m_dir.filePath(u"hosts"_s), "/etc/hosts",
                               "127.0.0.1 localhost " + hosts.join(u' ').toUtf8() + "\n"));
        QVERIFY(test::bindOver(m_dir.filePath(u"resolv.conf"_s), "/etc/resolv.conf",
                               "nameserver 192.0.2.53\n"));
        QVERIFY(test::bindOver(m_certificates->caDirectory(), "/etc/ssl/certs"));
        m_server = std::make_unique<TestServer>(m_certificates->serverConfiguration(),
                                                QHostAddress::LocalHost, 443);
        QVERIFY2(m_server->isListening(), qPrintable(m_server->errorString()));
        m_server->respond({.body = R"({"success":true,"ip":"203.0.113.42","country":"Germany",
            "country_code":"DE","city":"Berlin","connection":{"asn":3320,"isp":"Deutsche Telekom AG"},
            "timezone":{"id":"Europe/Berlin"}})"});

        // The build's program first on every bar's PATH, sway's user's too: the recipes call
        // `velmora`.
        const QString bin = m_dir.filePath(u"bin"_s);
        QVERIFY(QDir().mkpath(bin) &&
                QFile::link(QStringLiteral(VELMORA_BINARY), bin + u"/velmora"_s));
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ExeOwner | QFile::ExeOther));
        qputenv("PATH", QFile::encodeName(bin) + ':' + qgetenv("PATH"));

        // A steady 1.7 Mb/s while sending, from a thread of its own: the test's thread blocks
        // while the OCR reads.
        m_traffic = std::jthread([this](std::stop_token stop) {
            QUdpSocket out;
            for (auto next = std::chrono::steady_clock::now(); !stop.stop_requested();
                 next += 5ms) {
                std::this_thread::sleep_until(next);
                if (m_sending)
                    out.writeDatagram(QByteArray(1000, '\0'), QHostAddress(u"10.9.0.2"_s), 9);
            }
        });
    }

    void ratesOnTheBar_data()
    {
        QTest::addColumn<BarRow>("row");
        QTest::newRow("waybar") << BarRow{
            Component::Waybar, u"waybar-module.jsonc"_s, u"custom/velmora"_s, "RECIPE", 30, 0};
        QTest::newRow("polybar") << BarRow{
            Component::Polybar, u"polybar-module.ini"_s, u"velmora"_s, "RECIPE", 30, 0};
        // The Generic Monitor keeps its command in its plugin's rc file, its period in ms.
        QTest::newRow("genmon") << BarRow{Component::Xfce,
                                          u"genmon-command.txt"_s,
                                          u"genmon"_s,
                                          "Command=RECIPE\nUpdatePeriod=1000\nUseLabel=0\n",
                                          26,
                                          1000};
    }

    // The bar shows both rates whole and live, and follows the traffic: stopped, the rates it
    // shows drop within 2 s, a second for Velmora's sample and one for the way out, and the
    // bar's own period more where it runs the recipe anew each time.
    void ratesOnTheBar()
    {
        QFETCH(const BarRow, row);
        auto [bar, recipe, module, config, height, period] = row;
        const QByteArray text =
            test::readFile(QStringLiteral(VELMORA_EXAMPLES) + u'/' + recipe).trimmed();
        QVERIFY(!text.isEmpty());
        DesktopSession session;
        const auto quitFirst = qScopeGuard([this] { test::end(m_velmora); }); // before the desktop
        session.addPanelModule(module, config.replace("RECIPE", text));
        m_sending = true;
        VERIFY_STARTED(session.start(bar));
        m_velmora.setProcessEnvironment(session.environment());
        m_velmora.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_velmora.start(QStringLiteral(VELMORA_BINARY), {});

        // The module is at the bar's start; the tray, with Velmora's own item, at its end.
        const QRect strip(0, 0, session.grab().width() / 2, height);
        QString read;
        QList<double> rates;
        QVERIFY2(DesktopSession::waitUntil(
                     [&] {
                         rates = shownRates(session, session.grab().copy(strip), read);
                         return rates.size() == 2 && rates[0] + rates[1] > 1e6;
                     },
                     30s),
                 qPrintable(read));
        session.screenshot(
            u"statusconsumer-%1"_s.arg(QString::fromLatin1(QTest::currentDataTag())));
        const QString live = read;
        const double before = rates[0] + rates[1];
        m_sending = false;
        QElapsedTimer stopped;
        stopped.start();
        // Each new picture of the bar is read, timed by the grab that first showed it.
        QImage shown;
        qint64 since = 0;
        QVERIFY2(DesktopSession::waitUntil(
                     [&] {
                         const qint64 now = stopped.elapsed();
                         const QImage picture = session.grab().copy(strip);
                         if (picture != shown)
                             shown = picture, since = now;
                         else if (rates.size() == 2) // read already
                             return false;
                         rates = shownRates(session, picture, read);
                         return rates.size() == 2 && rates[0] + rates[1] < 0.75 * before;
                     },
                     10s),
                 qPrintable(read));
        qInfo("\"%s\", then \"%s\" %lld ms after the traffic stopped", qPrintable(live),
              qPrintable(read), since);
        QVERIFY2(since <= 2000 + period, qPrintable(QString::number(since)));
    }
};

int main(int argc, char *argv[])
{
    test::enterPrivateNetwork(); // before any thread exists; needs root, and is skipped without
    QCoreApplication app(argc, argv);
    TestStatusConsumers test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_statusconsumers.moc"
