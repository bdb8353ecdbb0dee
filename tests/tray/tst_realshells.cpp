// The shipped program on the panels of real desktop shells (GNOME Shell with the AppIndicator
// extension, Xfce, Plasma) and of trayer over XEmbed, dark and light, read back from the
// screen. Offline in a private network namespace, where frames on a wired link of its own give
// it live rates to show.

#include "../model/privatenetwork.h"
#include "../ui/pixels.h"
#include "desktopsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

using Component = DesktopSession::Component;

// The most frequent colour in area: a panel's background.
QRgb dominantColour(const QImage &image, const QRect &area)
{
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    return std::ranges::max_element(counts, {}, [](const auto &entry) { return entry.second; })
        ->first;
}

// Splits [0, size) into runs of indices where has(i), bridging up to gap indices without.
QList<std::pair<int, int>> runs(int size, int gap, const std::function<bool(int)> &has)
{
    QList<std::pair<int, int>> found;
    for (int i = 0; i < size; ++i) {
        if (!has(i))
            continue;
        if (!found.isEmpty() && i - found.last().second <= gap + 1)
            found.last().second = i;
        else
            found.append({i, i});
    }
    return found;
}

// Where after shows something new in strip: of the runs of changed columns not merely moved
// sideways (a panel shifts its other icons to make room), the most changed. Null if none.
QRect newContent(const QImage &before, const QImage &after, const QRect &strip)
{
    const auto changed = [&](int x) {
        for (int y = strip.top(); y <= strip.bottom(); ++y)
            if (before.pixel(x, y) != after.pixel(x, y))
                return true;
        return false;
    };
    const auto moved = [&](int left, int right) {
        for (int shift = -120; shift <= 120; ++shift) {
            if (shift == 0 || left + shift < 0 || right + shift >= before.width())
                continue;
            int same = 0;
            for (int x = left; x <= right; ++x)
                for (int y = strip.top(); y <= strip.bottom(); ++y)
                    same += before.pixel(x + shift, y) == after.pixel(x, y);
            // Where it moved from changed too; else a plain stretch of panel would match.
            int vacated = 0;
            for (int x = left; x <= right; ++x)
                vacated += changed(x + shift);
            if (same >= 0.97 * (right - left + 1) * strip.height() &&
                2 * vacated > right - left + 1)
                return true;
        }
        return false;
    };
    // Text elsewhere re-rendered at a new subpixel offset changes a little; the new item most.
    const auto weight = [&](int left, int right) {
        int strong = 0;
        for (int x = left; x <= right; ++x)
            for (int y = strip.top(); y <= strip.bottom(); ++y) {
                const QRgb a = before.pixel(x, y), b = after.pixel(x, y);
                strong += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b))}) > 48;
            }
        return strong;
    };
    QRect box;
    int heaviest = 0;
    // Bridging a word space: a label's words belong to one item.
    for (const auto &[left, right] : runs(strip.right() + 1, 8, changed)) {
        if (const int strong = weight(left, right); strong > heaviest && !moved(left, right)) {
            heaviest = strong;
            box = QRect(left, strip.top(), right - left + 1, strip.height());
        }
    }
    return box;
}

struct Legibility
{
    double bestContrast = 1;
    int lineHeight = 0; // of the tallest line of text ink
};

// Ink is what stands out from background at 4.5:1 or more. The text is its widest block of
// columns (a glyph beside it is narrower); its lines are the row runs within that block.
Legibility legibility(const QImage &image, const QRect &area, QRgb background)
{
    Legibility result;
    const auto ink = [&](int x, int y) {
        const double ratio = pixels::contrast(image.pixel(x, y), background);
        result.bestContrast = std::max(result.bestContrast, ratio);
        return ratio >= 4.5;
    };
    const auto blocks = runs(area.width(), 4, [&](int column) {
        bool any = false;
        for (int y = area.top(); y <= area.bottom(); ++y)
            any = ink(area.left() + column, y) || any;
        return any;
    });
    if (blocks.isEmpty())
        return result;
    const auto text = *std::ranges::max_element(
        blocks, {}, [](const auto &block) { return block.second - block.first; });
    for (const auto &[top, bottom] : runs(area.height(), 0, [&](int row) {
             for (int column = text.first; column <= text.second; ++column)
                 if (ink(area.left() + column, area.top() + row))
                     return true;
             return false;
         }))
        result.lineHeight = std::max(result.lineHeight, bottom - top + 1);
    // A line of text is wider than high ("0K" is); a lone glyph, or a sliver of one, is not.
    if (text.second - text.first + 1 < 1.3 * result.lineHeight)
        result.lineHeight = 0;
    return result;
}

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    return DesktopSession::waitUntil(condition, timeout);
}

// Frames put straight onto one end of a veth pair named like Ethernet: the program counts
// them on both ends and shows live rates, and nothing leaves the namespace.
class WiredTraffic
{
public:
    QString start()
    {
        if (const QString error = test::ip(u"link add eth0 type veth peer name eth1\n"
                                           "link set eth0 up\nlink set eth1 up\n"_s);
            !error.isEmpty())
            return error;
        m_socket = ::socket(AF_PACKET, SOCK_RAW, 0);
        m_link.sll_family = AF_PACKET;
        m_link.sll_ifindex = int(if_nametoindex("eth0"));
        m_link.sll_halen = 6;
        m_link.sll_protocol = htons(0x88b5);
        if (m_socket < 0 || m_link.sll_ifindex == 0)
            return u"no packet socket on eth0"_s;
        // Locally administered addresses and the local experimental EtherType.
        const unsigned char header[] = {2, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 1, 0x88, 0xb5};
        m_frame = QByteArray(reinterpret_cast<const char *>(header), sizeof header);
        m_frame.append(1000, '\0');
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            // A rate that changes every second, as on a desktop in use.
            const int frames = ++m_ticks / 10 % 2 ? 15 : 25;
            for (int i = 0; i < frames; ++i) {
                if (::sendto(m_socket, m_frame.constData(), size_t(m_frame.size()), 0,
                             reinterpret_cast<const sockaddr *>(&m_link), sizeof m_link) < 0)
                    qWarning("sendto: %s", strerror(errno));
            }
        });
        m_timer.start(100);
        return {};
    }

    ~WiredTraffic()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

private:
    int m_socket = -1;
    sockaddr_ll m_link{};
    QByteArray m_frame;
    QTimer m_timer;
    int m_ticks = 0;
};

} // namespace

class TestRealShells : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = nullptr;
    QProcess m_velmora;
    WiredTraffic m_traffic;

    void startVelmora()
    {
        m_velmora.setProcessEnvironment(m_session->environment());
        m_velmora.start(QStringLiteral(VELMORA_BINARY), {});
    }

    void stopVelmora()
    {
        m_velmora.terminate();
        if (!m_velmora.waitForFinished(3000)) {
            m_velmora.kill();
            m_velmora.waitForFinished();
        }
    }

    void setTheme(const QString &theme)
    {
        QDir(m_session->path()).mkpath(u"config/velmora"_s);
        QFile settings(m_session->path() + u"/config/velmora/settings.json"_s);
        QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write(u"{\"theme\": \"%1\"}"_s.arg(theme).toUtf8());
    }

    // Clocks on these panels show minutes: keep a minute's turn out of the next few seconds.
    static void avoidMinuteTurn(int seconds)
    {
        const int second = QTime::currentTime().second();
        if (second >= 60 - seconds)
            QTest::qWait((61 - second) * 1000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!test::noPrivateNetwork.isEmpty())
            qWarning("the shells are skipped: %s", qPrintable(test::noPrivateNetwork));
        else
            QVERIFY2(m_traffic.start().isEmpty(), "no traffic for live rates");
    }

    void itemOnThePanel_data()
    {
        QTest::addColumn<Component>("shell");
        QTest::addColumn<bool>("lightPanel");
        QTest::addColumn<bool>("topPanel");
        QTest::addColumn<int>("panelHeight");
        QTest::addColumn<int>("starts");
        // GNOME's top bar is dark whatever it is asked; trayer carries the item over XEmbed.
        QTest::newRow("gnome") << Component::GnomeShell << false << true << 32 << 20;
        QTest::newRow("xfce-dark") << Component::Xfce << false << true << 26 << 20;
        QTest::newRow("xfce-light") << Component::Xfce << true << true << 26 << 1;
        QTest::newRow("plasma-dark") << Component::Plasma << false << false << 44 << 20;
        QTest::newRow("plasma-light") << Component::Plasma << true << false << 44 << 1;
        QTest::newRow("trayer-dark") << Component::XEmbedTray << false << true << 24 << 1;
        QTest::newRow("trayer-light") << Component::XEmbedTray << true << true << 24 << 1;
    }

    // The item shows within 2 s of every start, a real click opens the popover beside the
    // panel, and the rates read at 4.5:1 against the panel whichever theme Velmora has.
    void itemOnThePanel()
    {
        QFETCH(Component, shell);
        QFETCH(bool, lightPanel);
        QFETCH(bool, topPanel);
        QFETCH(int, panelHeight);
        QFETCH(int, starts);
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
        const QString host = QString::fromLatin1(QTest::currentDataTag());
        DesktopSession session;
        m_session = &session;
        const auto quitFirst = qScopeGuard([this] { stopVelmora(); }); // before its desktop ends
        session.setLightPanels(lightPanel);
        QElapsedTimer starting;
        starting.start();
        auto outcome = session.start(Component::Bus);
        if (outcome)
            outcome = session.start(shell);
        if (outcome.kind == DesktopSession::Outcome::Kind::Missing)
            QSKIP(qPrintable(outcome.message));
        QVERIFY2(bool(outcome), qPrintable(outcome.message));
        qInfo("%s ready after %lld ms", qPrintable(host), starting.elapsed());
        const bool statusNotifier = shell != Component::XEmbedTray;
        const QSize screen = session.grab().size();
        const QRect strip(0, topPanel ? 0 : screen.height() - panelHeight, screen.width(),
                          panelHeight);

        // Each start begins from a panel at rest: panels re-lay out their clocks after an item
        // leaves.
        const auto panelAtRest = [&] {
            QImage last;
            QElapsedTimer still;
            waitFor(
                [&] {
                    const QImage now = session.grab().copy(strip);
                    if (now != last || !still.isValid())
                        still.start();
                    last = now;
                    return still.elapsed() >= 500;
                },
                5s);
            return session.grab();
        };
        QImage before, after;
        QRect item;
        const QStringList itemsBefore = session.registeredItems();
        const auto stopGone = [&] {
            stopVelmora();
            QVERIFY2(waitFor([&] { return session.registeredItems() == itemsBefore; }, 5s),
                     "the item stays registered after the program ended");
        };
        const auto startShown = [&](bool last) {
            avoidMinuteTurn(last ? 10 : 4); // the last one is read after it settles
            before = panelAtRest();
            QElapsedTimer clock;
            clock.start();
            startVelmora();
            const bool shown = waitFor(
                [&] {
                    if (statusNotifier && session.registeredItems().size() <= itemsBefore.size())
                        return false;
                    after = session.grab();
                    item = newContent(before, after, strip);
                    return !item.isNull();
                },
                5s);
            if (!shown)
                session.screenshot(u"realshell-%1-not-shown"_s.arg(host));
            QVERIFY2(shown && clock.elapsed() <= 2000,
                     qPrintable(u"shown: %1, after %2 ms"_s.arg(shown).arg(clock.elapsed())));
            if (!last)
                stopGone();
        };
        // Live rates come with the second traffic sample; drawn late parts (a label beside
        // the picture) settle before the panel is read.
        const auto ratesLegible = [&](const QString &theme) {
            QTest::qWait(2500);
            after = panelAtRest();
            item = newContent(before, after, strip);
            session.screenshot(u"realshell-%1-%2"_s.arg(host, theme));
            // Ink at 4.5:1 against the panel, in lines 7 px high or more (the digits of the
            // two-row picture), standing on the panel itself in no box of their own.
            const QRgb background = dominantColour(before, item);
            // Inset: a tray's own frame around the slot is no text.
            const Legibility read = legibility(after, item.adjusted(2, 2, -2, -2), background);
            // The panel is the one asked for: a dark one that stayed dark would prove nothing.
            QCOMPARE(pixels::contrast(background, qRgb(0, 0, 0)) >
                         pixels::contrast(background, qRgb(255, 255, 255)),
                     lightPanel);
            QVERIFY2(read.lineHeight >= 7 && dominantColour(after, item) == background,
                     qPrintable(u"theme %1: item %2 on %3: best contrast %4:1, text ink %5 px "
                                "high"_s.arg(theme, describe(item), QColor(background).name())
                                    .arg(read.bestContrast, 0, 'f', 1)
                                    .arg(read.lineHeight)));
        };

        setTheme(u"light"_s);
        for (int start = 1; start <= starts; ++start) {
            startShown(start == starts);
            if (QTest::currentTestFailed())
                return;
        }
        ratesLegible(u"light"_s);
        if (QTest::currentTestFailed())
            return;

        // A real click opens the popover, below a top panel, above a bottom one.
        session.run({u"xdotool"_s, u"mousemove"_s, QString::number(item.center().x()),
                     QString::number(item.center().y()), u"click"_s, u"1"_s});
        QRect popover;
        QVERIFY2(
            waitFor(
                [&] {
                    const QString window =
                        session
                            .run({u"xdotool"_s, u"search"_s, u"--onlyvisible"_s, u"--pid"_s,
                                  QString::number(m_velmora.processId())})
                            .section(u'\n', 0, 0);
                    QMap<QString, int> geometry;
                    for (const QString &line :
                         session.run({u"xdotool"_s, u"getwindowgeometry"_s, u"--shell"_s, window})
                             .split(u'\n'))
                        geometry[line.section(u'=', 0, 0)] = line.section(u'=', 1).toInt();
                    popover = QRect(geometry[u"X"_s], geometry[u"Y"_s], geometry[u"WIDTH"_s],
                                    geometry[u"HEIGHT"_s]);
                    return !window.isEmpty();
                },
                5s),
            qPrintable(u"no popover after a click at "_s + describe(item.center())));
        const QString where = u"popover at "_s + describe(popover);
        QVERIFY2(topPanel ? popover.top() >= strip.bottom() - 1
                          : popover.bottom() <= strip.top() + 1,
                 qPrintable(where));
        // Mapped is not seen: most of its area must show something new on the screen.
        const QRect onScreen = popover & after.rect();
        QVERIFY2(waitFor(
                     [&] {
                         const QImage now = session.grab();
                         qsizetype changed = 0;
                         for (int y = onScreen.top(); y <= onScreen.bottom(); y += 4)
                             for (int x = onScreen.left(); x <= onScreen.right(); x += 4)
                                 changed += now.pixel(x, y) != after.pixel(x, y);
                         return changed * 16 * 2 > qsizetype(onScreen.width()) * onScreen.height();
                     },
                     5s),
                 qPrintable(where + u" is not on the screen"_s));
        session.screenshot(u"realshell-%1-popover"_s.arg(host));

        // Velmora's own theme is no guide to the panel's colour. The pointer leaves, so that the
        // panel does not highlight the item under it.
        stopGone();
        session.run({u"xdotool"_s, u"mousemove"_s, u"640"_s, u"400"_s});
        setTheme(u"dark"_s);
        startShown(true);
        if (!QTest::currentTestFailed())
            ratesLegible(u"dark"_s);
    }
};

int main(int argc, char *argv[])
{
    // Offline and in a namespace of its own: the program must not reach the internet.
    if (geteuid() == 0)
        test::enterPrivateNetwork();
    else
        test::noPrivateNetwork = u"the shells and the private network need root"_s;
    QCoreApplication app(argc, argv);
    TestRealShells test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_realshells.moc"
