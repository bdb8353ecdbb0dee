// The card that tells of a new public address, as it reads, and the desktop's notification
// that stands in for it.

#include "desktopsession.h"
#include "pixels.h"
#include "toast/desktopnotice.h"
#include "toast/toastview.h"
#include "viewsetup.h"
#include "wrappinglabel.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

GeoInfo record(const QString &ip, const QString &code, const QString &country)
{
    return {.ip = ip, .country = country, .countryCode = code};
}

// The desktop's notification service, slow to answer Notify as a busy one is. It keeps the ids
// of the notifications it shows; it names no capabilities, so the notice sends plain text.
class SlowNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit SlowNotifications(const QDBusConnection &bus)
        : m_bus(bus)
    {}

    QList<uint> shown;
    QList<uint> replaced; // the replaces_id of each Notify

public Q_SLOTS:
    uint Notify(const QString &, uint replaces, const QString &, const QString &, const QString &,
                const QStringList &, const QVariantMap &, int, const QDBusMessage &message)
    {
        replaced << replaces;
        const uint id = replaces != 0 ? replaces : m_next++;
        message.setDelayedReply(true);
        QTimer::singleShot(300, this, [this, id, message] {
            if (!shown.contains(id))
                shown << id;
            m_bus.send(message.createReply(id));
        });
        return 0;
    }
    void CloseNotification(uint id) { shown.removeAll(id); }

private:
    QDBusConnection m_bus;
    uint m_next = 7;
};

} // namespace

class TestToast : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The title says whether the country changed, however long the names; the addresses keep
    // one line, shortened in the middle, and a reader still gets them whole. Every text reads on
    // the card in both themes (one row is dark). (The desktop test reads a plain change's card.)
    void texts_data()
    {
        QTest::addColumn<Preferences::Theme>("theme");
        QTest::addColumn<GeoInfo>("old");
        QTest::addColumn<GeoInfo>("now");
        QTest::addColumn<QStringList>("lines");
        using enum Preferences::Theme;
        const QString ip4 = u"203.0.113.4"_s, ip7 = u"198.51.100.7"_s, arrow = u" → "_s;
        const auto row = [](const char *name, Preferences::Theme theme, const GeoInfo &old,
                            const GeoInfo &now, const QStringList &lines) {
            QTest::newRow(name) << theme << old << now << lines;
        };
        // Long country names wrap, at the common desktop font size.
        row("long-names-dark", dark, record(ip4, u"BA"_s, u"Bosnia and Herzegovina"_s),
            record(ip7, u"GS"_s, u"South Georgia and the South Sandwich Islands"_s),
            {u"Now in South Georgia and the South Sandwich Islands"_s, ip4 + arrow + ip7,
             u"was 🇧🇦 Bosnia and Herzegovina"_s});
        const QString v6a = u"2001:db8:aaaa:bbbb:cccc:dddd:eeee:1"_s;
        const QString v6b = u"2001:db8:ffff:1111:2222:3333:4444:2"_s;
        row("long-ipv6", light, record(v6a, u"DE"_s, u"Germany"_s),
            record(v6b, u"DE"_s, u"Germany"_s), {u"IP address changed"_s, v6a + arrow + v6b});
    }

    void texts()
    {
        QFETCH(Preferences::Theme, theme);
        QFETCH(GeoInfo, old);
        QFETCH(GeoInfo, now);
        QFETCH(QStringList, lines);
        fakes::ThemedApplication themed(theme);
        QFont desktop = QApplication::font(); // for the whole run
        desktop.setPointSize(10);
        QApplication::setFont(desktop);
        ToastView view(old, now, {});
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QImage image = pixels::fromScreen(&view);
        const QRgb card = image.pixel(view.width() / 2, 3);
        QStringList read;
        for (const QLabel *label : view.findChildren<QLabel *>()) {
            if (label->text() == now.flag())
                continue;
            const auto *wrapping = qobject_cast<const WrappingLabel *>(label);
            const QString shown = label->text();
            read.append(wrapping                            ? wrapping->fullText()
                        : label->accessibleName().isEmpty() ? shown
                                                            : label->accessibleName());
            // Titles wrap, every word shown; the addresses keep one line, shown whole or
            // shortened in the middle.
            if (wrapping)
                QCOMPARE(QString(shown).replace(u'\n', u' '), read.last());
            else
                QVERIFY2(!shown.contains(u'\n') &&
                             read.last().startsWith(shown.section(u'…', 0, 0)) &&
                             read.last().endsWith(shown.section(u'…', -1)),
                         qPrintable(shown));
            for (const QString &line : shown.split(u'\n'))
                QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->width(),
                         qPrintable(line));
            QVERIFY2(pixels::bestContrast(image, label->geometry(), card) >= 4.5,
                     qPrintable(shown));
        }
        QCOMPARE(read, lines);
    }

    // Where the desktop's notification stands in for the card: a notice still on its way when
    // the next change comes is replaced, and one still on its way when its time is up is
    // closed, each once the service has shown it. Never two notices, never one left over.
    void desktopNoticeFollowsTheLatestChange()
    {
        DesktopSession session;
        DESKTOP_SESSION_START(session, Bus);
        QDBusConnection serviceBus =
            QDBusConnection::connectToBus(session.busAddress(), u"service"_s);
        SlowNotifications service(serviceBus);
        QVERIFY(serviceBus.registerObject(u"/org/freedesktop/Notifications"_s, &service,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(u"org.freedesktop.Notifications"_s));
        DesktopNotice notice({}, QDBusConnection::connectToBus(session.busAddress(), u"notice"_s));
        const GeoInfo berlin = record(u"203.0.113.4"_s, u"DE"_s, u"Germany"_s);
        const GeoInfo amsterdam = record(u"198.51.100.7"_s, u"NL"_s, u"Netherlands"_s);
        notice.show(berlin, amsterdam, 5s);
        QTRY_COMPARE(service.replaced, QList<uint>{0}); // and not answered yet
        notice.show(amsterdam, record(u"192.0.2.9"_s, u"FR"_s, u"France"_s), 5s);
        QTRY_COMPARE(service.replaced, (QList<uint>{0, 7})); // and not answered yet
        QCOMPARE(service.shown, QList<uint>{7});
        notice.close();
        QTest::qWait(1000); // the answer given, and what follows it
        QCOMPARE(service.shown, QList<uint>());
        QCOMPARE(service.replaced, (QList<uint>{0, 7}));
    }
};

QTEST_MAIN(TestToast)
#include "tst_toast.moc"
