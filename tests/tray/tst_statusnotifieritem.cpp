#include "desktopsession.h"
#include "statusnotifieritem.h"

#include <QApplication>
#include <QDBusAbstractInterface>
#include <QDBusConnection>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>

#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

const QString itemPath = u"/StatusNotifierItem"_s, menuPath = u"/MenuBar"_s;
const QString itemInterface = u"org.kde.StatusNotifierItem"_s;

// The item's signals as a host receives them, over a connection of the test's own.
class ItemView : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    ItemView(const QString &service, const QDBusConnection &connection)
        : QDBusAbstractInterface(service, itemPath, "org.kde.StatusNotifierItem", connection,
                                 nullptr)
    {}

Q_SIGNALS:
    void NewToolTip();
    void XAyatanaNewLabel(const QString &label, const QString &guide);
};

} // namespace

class TestStatusNotifierItem : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = DesktopSession::current(); // entered in main
    std::unique_ptr<StatusNotifierItem> m_item;
    std::unique_ptr<ItemView> m_view;

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

private Q_SLOTS:
    void initTestCase()
    {
        DESKTOP_SESSION_REQUIRE();
        DESKTOP_SESSION_START(*m_session, SniHost);
        m_item = std::make_unique<StatusNotifierItem>(u"velmora"_s);
        m_view = std::make_unique<ItemView>(m_item->serviceName(), QDBusConnection::sessionBus());
    }

    // Each text reaches the host once, however often it is set. This host draws no labels: the
    // label is not shown to it at all, as some hosts draw any label there is in place of the
    // picture.
    void textsReachTheHost()
    {
        QSignalSpy newToolTip(m_view.get(), &ItemView::NewToolTip);
        QSignalSpy newLabel(m_view.get(), &ItemView::XAyatanaNewLabel);
        for (int i = 0; i < 2; ++i) {
            m_item->setToolTip(u"Velmora\n↓ 12.4 Mbit/s"_s);
            m_item->setLabel(u"↓ 1 Kb/s"_s, u"↓ 888.8 Mb/s"_s);
        }
        QTRY_COMPARE_WITH_TIMEOUT(newToolTip.count(), 1, 5000);
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
        QCOMPARE(newToolTip.count() + newLabel.count(), 1);
    }

    // Activate opens the popover where the host says, numbers no screen has just off the
    // screens; ContextMenu, from hosts that do not draw the published menu, the item's own menu
    // there.
    void clicksCarryTheirPosition()
    {
        QSignalSpy activated(m_item.get(), &TrayItem::activated);
        call(itemPath, u"org.kde.StatusNotifierItem.Activate"_s,
             {u"2147483647"_s, u"-2147483648"_s});
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(activated.value(0).value(0).toRect(),
                 QRect(screen.right() + 1, screen.top() - 1, 1, 1));
        call(itemPath, u"org.kde.StatusNotifierItem.ContextMenu"_s, {u"40"_s, u"11"_s});
        QMenu *menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
        QCOMPARE(menu->pos(), QPoint(40, 11));
        menu->close();
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
};

DESKTOP_SESSION_TEST_MAIN(TestStatusNotifierItem)

#include "tst_statusnotifieritem.moc"
