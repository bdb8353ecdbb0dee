#include "desktopsession.h"
#include "statusnotifieritem.h"

#include <QDBusAbstractInterface>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QPainter>
#include <QSignalSpy>
#include <QtEndian>

#include <cstdlib>
#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

// The item as a host sees it, over a connection of the test's own.
class ItemView : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    ItemView(const QString &service, const QDBusConnection &connection)
        : QDBusAbstractInterface(service, u"/StatusNotifierItem"_s, "org.kde.StatusNotifierItem",
                                 connection, nullptr)
    {}

    QVariant get(const QString &name) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service(), path(), u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        call << interface() << name;
        // The item answers from this thread, so the wait must keep the event loop turning.
        const QDBusReply<QDBusVariant> reply = connection().call(call, QDBus::BlockWithGui, 5000);
        return reply.isValid() ? reply.value().variant() : QVariant();
    }

Q_SIGNALS:
    void NewIcon();
    void NewToolTip();
    void XAyatanaNewLabel(const QString &label, const QString &guide);
};

struct Pixmap
{
    int width = 0;
    int height = 0;
    QByteArray argb;
};

// Demarshalled by hand, so that a wrong signature shows up as a failed read.
QList<Pixmap> pixmapsFrom(const QVariant &value)
{
    QList<Pixmap> pixmaps;
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != "a(iiay)"_L1)
        return pixmaps;
    argument.beginArray();
    while (!argument.atEnd()) {
        Pixmap pixmap;
        argument.beginStructure();
        argument >> pixmap.width >> pixmap.height >> pixmap.argb;
        argument.endStructure();
        pixmaps.append(pixmap);
    }
    argument.endArray();
    return pixmaps;
}

// A wide picture with transparent, half-transparent and opaque coloured pixels at ratio;
// the opaque colour differs between formats, so that each is a new picture.
QImage picture(QImage::Format format, qreal ratio)
{
    QImage image(QSize(110, 22) * ratio, format);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(QRectF(0, 0, 30, 22), QColor(0xd0, 0x20, int(format)));
    painter.fillRect(QRectF(30, 4, 50, 10), QColor(0x10, 0x80, 0xf0, 0x80));
    painter.end();
    return image;
}

// Whether bytes hold image's pixels as the protocol wants them: non-premultiplied ARGB,
// big-endian. Undoing premultiplication may round either way.
bool samePixels(const QByteArray &bytes, const QImage &image)
{
    if (bytes.size() != qsizetype(image.width()) * image.height() * 4)
        return false;
    const auto *pixel = reinterpret_cast<const uchar *>(bytes.constData());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x, pixel += 4) {
            const QColor color = image.pixelColor(x, y);
            if (pixel[0] != color.alpha() || std::abs(pixel[1] - color.red()) > 1 ||
                std::abs(pixel[2] - color.green()) > 1 || std::abs(pixel[3] - color.blue()) > 1)
                return false;
        }
    }
    return true;
}

constexpr auto menuInterface = "com.canonical.dbusmenu";

// A host's event, marshalled as the protocol's (isvu).
struct HostEvent
{
    int id = 0;
    QString name{};
};

QDBusArgument &operator<<(QDBusArgument &argument, const HostEvent &event)
{
    argument.beginStructure();
    argument << event.id << event.name << QDBusVariant(0) << 0u;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, HostEvent &event)
{
    QDBusVariant data;
    uint timestamp = 0;
    argument.beginStructure();
    argument >> event.id >> event.name >> data >> timestamp;
    argument.endStructure();
    return argument;
}

// Demarshalled by hand, so that a wrong signature shows up as a failed read:
// "id{name=value,...}[children]", texts quoted, so a text "true" is no Boolean.
QString describe(const QDBusArgument &argument, bool withChildren)
{
    int id = -1;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    QStringList parts, children;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        const bool text = it->typeId() == QMetaType::QString;
        parts.append(it.key() + (text ? u"='%1'"_s : u"=%1"_s).arg(it->toString()));
    }
    if (withChildren) {
        argument.beginArray();
        while (!argument.atEnd()) {
            const auto child = qdbus_cast<QDBusVariant>(argument).variant().value<QDBusArgument>();
            children.append(child.currentSignature() == "(ia{sv}av)"_L1
                                ? describe(child, true)
                                : u"wrong signature "_s + child.currentSignature());
        }
        argument.endArray();
    }
    argument.endStructure();
    const QString item = u"%1{%2}"_s.arg(id).arg(parts.join(u','));
    return children.isEmpty() ? item : item + u'[' + children.join(u',') + u']';
}

} // namespace

Q_DECLARE_METATYPE(HostEvent)

class TestStatusNotifierItem : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = nullptr;
    QDBusConnection m_host{u"none"_s};
    std::unique_ptr<StatusNotifierItem> m_item;
    std::unique_ptr<ItemView> m_view;

    // The menu answers from this thread, so the wait must keep the event loop turning.
    QDBusMessage ask(const QString &method, const QVariantList &arguments,
                     const char *interfaceName = menuInterface, const char *path = "/MenuBar")
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(m_item->serviceName(), QString::fromLatin1(path),
                                           QString::fromLatin1(interfaceName), method);
        call.setArguments(arguments);
        return m_host.call(call, QDBus::BlockWithGui, 5000);
    }

    bool registered() const
    {
        const QString service = m_item->serviceName();
        return !m_session->registeredItems().filter(service).isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        DESKTOP_SESSION_REQUIRE();
        m_session = DesktopSession::current();
        DESKTOP_SESSION_START(*m_session, SniHost);
        m_host = QDBusConnection::connectToBus(m_session->busAddress(), u"test-host"_s);
        QVERIFY(m_host.isConnected());
        m_item = std::make_unique<StatusNotifierItem>(u"velmora"_s);
        QVERIFY(m_item->isPublished());
        QVERIFY(m_item->serviceName().startsWith(
            u"org.kde.StatusNotifierItem-%1-"_s.arg(QCoreApplication::applicationPid())));
        m_view = std::make_unique<ItemView>(m_item->serviceName(), m_host);
        qDBusRegisterMetaType<HostEvent>();
        qDBusRegisterMetaType<QList<HostEvent>>();
    }

    void cleanupTestCase()
    {
        m_view.reset();
        m_item.reset();
        QDBusConnection::disconnectFromBus(u"test-host"_s);
    }

    void registersAgainWhenTheWatcherReturns()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_item->isShown() && registered(), 5000);
        QSignalSpy shown(m_item.get(), &TrayItem::shownChanged);
        m_session->stop(DesktopSession::Component::Watcher, true);
        QTRY_VERIFY_WITH_TIMEOUT(!m_item->isShown(), 5000);
        QVERIFY(!m_item->isWatcherPresent());
        DESKTOP_SESSION_START(*m_session, Watcher);
        QTRY_VERIFY_WITH_TIMEOUT(m_item->isShown(), 5000);
        QVERIFY(registered());
        QCOMPARE(shown.count(), 2);
        DESKTOP_SESSION_START(*m_session, SniHost); // the host quits with its watcher
    }

    void iconPixmapCarriesEachScale_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("premultiplied") << QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("straight alpha") << QImage::Format_ARGB32;
        QTest::newRow("bytes in memory order") << QImage::Format_RGBA8888;
    }

    void iconPixmapCarriesEachScale()
    {
        QFETCH(QImage::Format, format);
        const QList<QImage> images{picture(format, 1), picture(format, 2)};
        QSignalSpy newIcon(m_view.get(), &ItemView::NewIcon);
        m_item->setIcon(images);
        QTRY_COMPARE_WITH_TIMEOUT(newIcon.count(), 1, 5000);

        const QList<Pixmap> pixmaps = pixmapsFrom(m_view->get(u"IconPixmap"_s));
        QCOMPARE(pixmaps.size(), images.size());
        for (qsizetype i = 0; i < images.size(); ++i) {
            QCOMPARE(QSize(pixmaps[i].width, pixmaps[i].height), images[i].size());
            QVERIFY(pixmaps[i].width > pixmaps[i].height);
            QVERIFY(samePixels(pixmaps[i].argb, images[i]));
        }
        if (qEnvironmentVariableIsSet("VELMORA_ARTIFACTS")) {
            QTest::qWait(1000); // the host fetches and draws the picture in its own time
            m_session->screenshot(u"sni-tray-"_s + QString::fromLatin1(QTest::currentDataTag()));
        }

        // The same picture again is nothing new for the host.
        m_item->setIcon({picture(format, 1), picture(format, 2)});
        QTest::qWait(200);
        QCOMPARE(newIcon.count(), 1);
    }

    void toolTipCarriesTheText()
    {
        const QString text = u"Velmora\n↓ 12.4 Mbit/s  ↑ 1.1 Mbit/s"_s;
        QSignalSpy newToolTip(m_view.get(), &ItemView::NewToolTip);
        m_item->setToolTip(text);
        m_item->setToolTip(text);
        QTRY_COMPARE_WITH_TIMEOUT(newToolTip.count(), 1, 5000);
        const auto argument = m_view->get(u"ToolTip"_s).value<QDBusArgument>();
        QCOMPARE(argument.currentSignature(), u"(sa(iiay)ss)"_s);
        QString iconName, title, description;
        argument.beginStructure();
        argument >> iconName;
        argument.beginArray();
        argument.endArray();
        argument >> title >> description;
        argument.endStructure();
        QCOMPARE(title, text);
        QTest::qWait(200);
        QCOMPARE(newToolTip.count(), 1);
    }

    void labelReachesTheHost()
    {
        QSignalSpy newLabel(m_view.get(), &ItemView::XAyatanaNewLabel);
        m_item->setLabel(u"\u2193 1 Kb/s"_s, u"\u2193 888.8 Mb/s"_s);
        m_item->setLabel(u"\u2193 1 Kb/s"_s, u"\u2193 888.8 Mb/s"_s); // no news
        QTRY_COMPARE_WITH_TIMEOUT(newLabel.count(), 1, 5000);
        QCOMPARE(newLabel.first(), (QVariantList{u"\u2193 1 Kb/s"_s, u"\u2193 888.8 Mb/s"_s}));
        QCOMPARE(m_view->get(u"XAyatanaLabel"_s), QVariant(u"\u2193 1 Kb/s"_s));
        QCOMPARE(m_view->get(u"XAyatanaLabelGuide"_s), QVariant(u"\u2193 888.8 Mb/s"_s));
        QVERIFY(m_view->get(u"IconAccessibleDesc"_s).toString().contains(u"1 Kb/s"_s));
        QTest::qWait(200);
        QCOMPARE(newLabel.count(), 1);
    }

    void clicksCarryTheirPosition_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<bool>("secondary");
        QTest::newRow("Activate") << u"Activate"_s << false;
        QTest::newRow("SecondaryActivate") << u"SecondaryActivate"_s << false;
        QTest::newRow("ContextMenu") << u"ContextMenu"_s << true;
    }

    void clicksCarryTheirPosition()
    {
        QFETCH(QString, method);
        QFETCH(bool, secondary);
        QSignalSpy activated(m_item.get(), &TrayItem::activated);
        QSignalSpy menu(m_item.get(), &TrayItem::contextMenuRequested);
        m_view->asyncCall(method, 1203, 11);
        QSignalSpy &expected = secondary ? menu : activated;
        QTRY_COMPARE_WITH_TIMEOUT(expected.count(), 1, 5000);
        QCOMPARE(expected.first().first().toRect(), QRect(1203, 11, 1, 1));
        QCOMPARE((secondary ? activated : menu).count(), 0);
    }

    void servesTheLayout_data()
    {
        QTest::addColumn<int>("parent");
        QTest::addColumn<int>("depth");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("expected");
        const QString wholeMenu = u"0{children-display='submenu'}["
                                  "1{enabled=true,label='Open Velmora',visible=true},"
                                  "2{enabled=true,type='separator',visible=true},"
                                  "3{enabled=true,label='Settings\u2026',visible=true},"
                                  "4{enabled=true,label='Quit',visible=true}]"_s;
        QTest::newRow("whole menu") << 0 << -1 << QStringList{} << wholeMenu;
        QTest::newRow("root alone")
            << 0 << 0 << QStringList{} << u"0{children-display='submenu'}"_s;
        QTest::newRow("one level, two properties")
            << 0 << 1 << QStringList{u"type"_s, u"enabled"_s}
            << u"0{}[1{enabled=true},2{enabled=true,type='separator'},3{enabled=true},"
               "4{enabled=true}]"_s;
        QTest::newRow("one entry") << 4 << -1 << QStringList{u"label"_s} << u"4{label='Quit'}"_s;
    }

    void servesTheLayout()
    {
        QFETCH(int, parent);
        QFETCH(int, depth);
        QFETCH(QStringList, names);
        QFETCH(QString, expected);
        const QDBusMessage reply = ask(u"GetLayout"_s, {parent, depth, names});
        QCOMPARE(reply.signature(), u"u(ia{sv}av)"_s);
        QCOMPARE(describe(reply.arguments().at(1).value<QDBusArgument>(), true), expected);
    }

    void servesGroupProperties()
    {
        const QDBusMessage reply =
            ask(u"GetGroupProperties"_s,
                {QVariant::fromValue(QList<int>{4, 99, 2}), QStringList{u"label"_s, u"type"_s}});
        QCOMPARE(reply.signature(), u"a(ia{sv})"_s);
        const auto argument = reply.arguments().at(0).value<QDBusArgument>();
        QStringList items;
        argument.beginArray();
        while (!argument.atEnd())
            items.append(describe(argument, false));
        argument.endArray();
        QCOMPARE(items, QStringList({u"4{label='Quit'}"_s, u"2{type='separator'}"_s}));
    }

    void answersSingleQuestions_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QVariant>("expected"); // none: the call is refused
        const QVariantList version{QString::fromLatin1(menuInterface), u"Version"_s};
        const QVariantList themePath{QString::fromLatin1(menuInterface), u"IconThemePath"_s};
        const QVariant noData = QVariant::fromValue(QDBusVariant(0));
        const auto item = [](const char *name, const QVariant &expected) {
            QTest::newRow(name) << u"Get"_s
                                << QVariantList{u"org.kde.StatusNotifierItem"_s,
                                                QString::fromLatin1(name)}
                                << expected;
        };
        item("Id", u"velmora"_s);
        item("Category", u"ApplicationStatus"_s);
        item("Status", u"Active"_s);
        item("ItemIsMenu", false);
        item("Menu", QVariant::fromValue(QDBusObjectPath(u"/MenuBar"_s)));
        // Hosts give up on an item that lacks any of these.
        item("IconThemePath", QString());
        item("AttentionAccessibleDesc", QString());
        item("WindowId", 0);
        QTest::newRow("Version") << u"Get"_s << version << QVariant(3u);
        QTest::newRow("IconThemePath") << u"Get"_s << themePath << QVariant(QStringList{});
        QTest::newRow("label") << u"GetProperty"_s << QVariantList{1, u"label"_s}
                               << QVariant(u"Open Velmora"_s);
        QTest::newRow("AboutToShow") << u"AboutToShow"_s << QVariantList{0} << QVariant(false);
        QTest::newRow("property") << u"GetProperty"_s << QVariantList{5, u"label"_s} << QVariant();
        QTest::newRow("event") << u"Event"_s << QVariantList{5, u"clicked"_s, noData, 0u}
                               << QVariant();
    }

    void answersSingleQuestions()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QVariant, expected);
        const bool ofItem = arguments.value(0) == "org.kde.StatusNotifierItem"_L1;
        const QDBusMessage reply = method == "Get"_L1
                                       ? ask(method, arguments, "org.freedesktop.DBus.Properties",
                                             ofItem ? "/StatusNotifierItem" : "/MenuBar")
                                       : ask(method, arguments);
        if (!expected.isValid()) { // refused by the menu, not by a dispatch failure
            QCOMPARE(reply.errorName(), u"org.freedesktop.DBus.Error.InvalidArgs"_s);
            return;
        }
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QVariant value = reply.arguments().value(0);
        if (value.metaType() == QMetaType::fromType<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
        QCOMPARE(value.metaType(), expected.metaType());
        QCOMPARE(value, expected);
    }

    // The entries, clicked the way a host does it, reach the program as its actions.
    void menuEntriesAreActions_data()
    {
        using Action = TrayItem::MenuAction;
        QTest::addColumn<QList<HostEvent>>("events");
        QTest::addColumn<QList<Action>>("triggered");
        QTest::addColumn<QList<int>>("idErrors"); // for a group of events
        const auto row = [](const char *name, int id, const QString &event,
                            QList<Action> triggered) {
            QTest::newRow(name) << QList<HostEvent>{{id, event}} << triggered << QList<int>{};
        };
        row("open", 1, u"clicked"_s, {Action::ShowPopover});
        row("settings", 3, u"clicked"_s, {Action::ShowSettings});
        row("separator", 2, u"clicked"_s, {});
        row("hovered", 1, u"hovered"_s, {});
        row("root opened", 0, u"opened"_s, {});
        QTest::newRow("group with unknown id")
            << QList<HostEvent>{{1, u"clicked"_s}, {7, u"clicked"_s}, {3, u"clicked"_s}}
            << QList<Action>{Action::ShowPopover, Action::ShowSettings} << QList<int>{7};
    }

    void menuEntriesAreActions()
    {
        using Action = TrayItem::MenuAction;
        QFETCH(QList<HostEvent>, events);
        QFETCH(QList<Action>, triggered);
        QFETCH(QList<int>, idErrors);
        QSignalSpy spy(m_item.get(), &TrayItem::menuActionTriggered);
        const auto send = [this](const HostEvent &event) {
            return ask(u"Event"_s,
                       {event.id, event.name, QVariant::fromValue(QDBusVariant(0)), 0u});
        };
        if (events.size() == 1) {
            QCOMPARE(send(events.first()).type(), QDBusMessage::ReplyMessage);
        } else {
            const QDBusMessage reply = ask(u"EventGroup"_s, {QVariant::fromValue(events)});
            QCOMPARE(reply.signature(), u"ai"_s);
            QCOMPARE(qdbus_cast<QList<int>>(reply.arguments().at(0)), idErrors);
        }
        // A later click on Quit marks the point by which earlier ones have arrived.
        send({4, u"clicked"_s});
        triggered.append(Action::Quit);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), triggered.size(), 5000);
        for (qsizetype i = 0; i < triggered.size(); ++i)
            QCOMPARE(spy.at(i).at(0).value<Action>(), triggered.at(i));
    }

    void leavesTheWatcherWhenDestroyed()
    {
        QTRY_VERIFY_WITH_TIMEOUT(registered(), 5000);
        const QString service = m_item->serviceName();
        m_view.reset();
        m_item.reset();
        QTRY_VERIFY_WITH_TIMEOUT(m_session->registeredItems().filter(service).isEmpty(), 5000);
    }
};

DESKTOP_SESSION_TEST_MAIN(TestStatusNotifierItem)

#include "tst_statusnotifieritem.moc"
