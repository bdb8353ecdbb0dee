// The tray item and the panel's text colour with real peers on a private desktop: a
// status-notifier host, an X tray and the desktop's portal.

#include "desktopcolorscheme.h"
#include "desktopsession.h"
#include "statusnotifieritem.h"
#include "systemtrayitem.h"
#include "xembedtrayitem.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>

#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

using Carrier = SystemTrayItem::Carrier;

namespace {

const QString itemPath = u"/StatusNotifierItem"_s, menuPath = u"/MenuBar"_s;
const QString itemInterface = u"org.kde.StatusNotifierItem"_s;

// A wide picture.
QList<QImage> wideIcon()
{
    QImage image(110, 22, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0x20, 0x90, 0x30));
    return {image};
}

} // namespace

class TestTray : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = DesktopSession::current(); // entered in main
    std::unique_ptr<StatusNotifierItem> m_item;
    QStringList m_heard; // the item's signals as a host receives them

    // A call as a GLib host makes it: the answer in GVariant text, or the error's name. The item
    // answers from this thread, so the wait keeps the event loop turning.
    QString call(const QString &path, const QString &method, const QStringList &arguments = {})
    {
        QProcess gdbus;
        gdbus.start(u"gdbus"_s, u"call --session --dest %1 --object-path %2 --method %3 --"_s
                                        .arg(m_item->serviceName(), path, method)
                                        .split(u' ') +
                                    arguments);
        QSignalSpy(&gdbus, &QProcess::finished).wait(5000);
        const QString error = QString::fromUtf8(gdbus.readAllStandardError());
        return error.isEmpty() ? QString::fromUtf8(gdbus.readAllStandardOutput()).trimmed()
                               : error.section(u' ', 1, 1);
    }

public Q_SLOTS:
    void hear(const QDBusMessage &message) { m_heard << message.member(); }

private Q_SLOTS:
    void initTestCase()
    {
        DESKTOP_SESSION_REQUIRE();
        DESKTOP_SESSION_START(*m_session, SniHost);
        m_item = std::make_unique<StatusNotifierItem>(u"velmora"_s);
        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30)); // a dark desktop palette
        QGuiApplication::setPalette(palette);
    }

    // Without a portal, the desktop's palette; a portal that starts later is asked, then it
    // tells each change. The desktop's own panel beats it, even once it has answered: GNOME
    // Classic's is light. (That the program's own theme is no guide, the desktop test's panels
    // show.)
    void followsALaterPortal()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        DesktopColorScheme colors{QString()}, classic{u"GNOME-Classic:GNOME"_s};
        QSignalSpy changed(&colors, &DesktopColorScheme::changed);
        QCOMPARE(colors.panelTextColor(), QColor(Qt::white));
        DESKTOP_SESSION_START(*m_session, PortalBackend);
        m_session->run({u"gsettings"_s, u"set"_s, u"org.gnome.desktop.interface"_s,
                        u"color-scheme"_s, u"prefer-light"_s});
        DESKTOP_SESSION_START(*m_session, Portal);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), QColor(Qt::black), 5000);
        m_session->run({u"gsettings"_s, u"set"_s, u"org.gnome.desktop.interface"_s,
                        u"color-scheme"_s, u"prefer-dark"_s});
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), QColor(Qt::white), 5000);
        QCOMPARE(classic.panelTextColor(), QColor(Qt::black));
        QCOMPARE(changed.count(), 2);
    }

    // Each text reaches the host once, however often it is set. This host draws no labels: the
    // label is not shown to it at all, as some hosts draw any label there is in place of the
    // picture.
    void textsReachTheHost()
    {
        for (const QString &name : {u"NewToolTip"_s, u"XAyatanaNewLabel"_s})
            QVERIFY(QDBusConnection::sessionBus().connect(m_item->serviceName(), itemPath,
                                                          itemInterface, name, this,
                                                          SLOT(hear(QDBusMessage))));
        for (int i = 0; i < 2; ++i) {
            m_item->setToolTip(u"Velmora\n↓ 12.4 Mbit/s"_s);
            m_item->setLabel(u"↓ 1 Kb/s"_s, u"↓ 888.8 Mb/s"_s);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_heard, QStringList{u"NewToolTip"_s}, 5000);
        // Hosts read them all when they set an item up; some give up on an item that lacks one.
        QCOMPARE(call(itemPath, u"org.freedesktop.DBus.Properties.GetAll"_s, {itemInterface}),
                 u"({'AttentionAccessibleDesc': <''>, 'AttentionIconName': <''>, "
                 "'AttentionIconPixmap': <@a(iiay) []>, 'AttentionMovieName': <''>, "
                 "'Category': <'ApplicationStatus'>, "
                 "'IconAccessibleDesc': <'Velmora\\n↓ 12.4 Mbit/s, ↓ 1 Kb/s'>, 'IconName': <''>, "
                 "'IconPixmap': <@a(iiay) []>, 'IconThemePath': <''>, 'Id': <'velmora'>, "
                 "'ItemIsMenu': <false>, 'Menu': <objectpath '/MenuBar'>, 'OverlayIconName': <''>, "
                 "'OverlayIconPixmap': <@a(iiay) []>, 'Status': <'Active'>, 'Title': <'Velmora'>, "
                 "'ToolTip': <('', @a(iiay) [], 'Velmora\\n↓ 12.4 Mbit/s', '')>, 'WindowId': <0>, "
                 "'XAyatanaOrderingIndex': <uint32 0>},)"_s);
        QTest::qWait(200);
        QCOMPARE(m_heard, QStringList{u"NewToolTip"_s});
    }

    // Clicks on the entries reach the program as its actions; anything else does nothing.
    void menuEntriesAreActions()
    {
        using Action = TrayItem::MenuAction;
        QSignalSpy spy(m_item.get(), &TrayItem::menuActionTriggered);
        QCOMPARE(call(menuPath, u"com.canonical.dbusmenu.EventGroup"_s,
                      {u"[(1, 'clicked', <0>, 0), (2, 'clicked', <0>, 0), (1, 'hovered', <0>, 0), "
                       "(0, 'opened', <0>, 0), (7, 'clicked', <0>, 0), (3, 'clicked', <0>, 0)]"_s}),
                 u"([7],)"_s);
        QCOMPARE(call(menuPath, u"com.canonical.dbusmenu.Event"_s,
                      {u"4"_s, u"clicked"_s, u"<0>"_s, u"0"_s}),
                 u"()"_s);
        QTRY_COMPARE_WITH_TIMEOUT(QList<QVariantList>(spy),
                                  (QList<QVariantList>{{QVariant::fromValue(Action::ShowPopover)},
                                                       {QVariant::fromValue(Action::ShowSettings)},
                                                       {QVariant::fromValue(Action::Quit)}}),
                                  5000);
    }

    // A provider's name that looks like markup is shown as the text it is.
    void toolTipIsPlainText()
    {
        DESKTOP_SESSION_START(*m_session, XEmbedTray);
        XEmbedTrayItem item;
        item.setIcon(wideIcon());
        QTRY_VERIFY_WITH_TIMEOUT(item.isShown(), 5000);
        item.setToolTip(u"<img src=\"x\" width=4000 height=4000> \u00B7 203.0.113.7"_s);
        QWidget *window = QWidget::find(item.windowId());
        QVERIFY(window);
        QVERIFY(window->toolTip().contains(u"&lt;img src=&quot;x&quot;"_s));
    }

    // Last: it stops the watcher the status-notifier host needs.
    void waitsForATrayAndFollowsIt()
    {
        m_session->stop(DesktopSession::Component::Watcher);
        m_session->stop(DesktopSession::Component::XEmbedTray);
        SystemTrayItem item(u"velmora"_s);
        item.setIcon(wideIcon());
        // Shown exactly while something carries it.
        const auto carriedBy = [&item](Carrier carrier) {
            return QTest::qWaitFor(
                [&] {
                    return item.carrier() == carrier &&
                           item.isShown() == (carrier != Carrier::None);
                },
                5000);
        };
        QVERIFY(carriedBy(Carrier::None));
        DESKTOP_SESSION_START(*m_session, XEmbedTray);
        QVERIFY(carriedBy(Carrier::XEmbed));
        // The watcher wins over the X tray.
        DESKTOP_SESSION_START(*m_session, Watcher);
        QVERIFY(carriedBy(Carrier::StatusNotifier));
        m_session->stop(DesktopSession::Component::Watcher);
        QVERIFY(carriedBy(Carrier::XEmbed));
    }
};

DESKTOP_SESSION_TEST_MAIN(TestTray)

#include "tst_tray.moc"
