#include "dbusmenu.h"
#include "desktopsession.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QSignalSpy>

#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

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

const QList<MenuEntry> standardEntries{
    {u"Open speed_test"_s}, {{}, true}, {u"Pause"_s, false, false}};

} // namespace

Q_DECLARE_METATYPE(HostEvent)

class TestDBusMenu : public QObject
{
    Q_OBJECT

    QDBusConnection m_host{u"none"_s};
    QString m_service;
    std::unique_ptr<DBusMenu> m_menu;

    // The menu answers from this thread, so the wait must keep the event loop turning.
    QDBusMessage ask(const QString &method, const QVariantList &arguments,
                     const char *interfaceName = menuInterface)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            m_service, u"/MenuBar"_s, QString::fromLatin1(interfaceName), method);
        call.setArguments(arguments);
        return m_host.call(call, QDBus::BlockWithGui, 5000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        DESKTOP_SESSION_REQUIRE();
        const QString address = DesktopSession::current()->busAddress();
        const auto server = QDBusConnection::connectToBus(address, u"test-menu"_s);
        m_host = QDBusConnection::connectToBus(address, u"test-host"_s);
        QVERIFY(server.isConnected() && m_host.isConnected());
        qDBusRegisterMetaType<HostEvent>();
        qDBusRegisterMetaType<QList<HostEvent>>();
        m_menu = std::make_unique<DBusMenu>(server, u"/MenuBar"_s);
        QVERIFY(m_menu->isExported());
        m_service = server.baseService();
    }

    void init() { m_menu->setEntries(standardEntries); }

    void cleanupTestCase()
    {
        m_menu.reset();
        QDBusConnection::disconnectFromBus(u"test-host"_s);
        QDBusConnection::disconnectFromBus(u"test-menu"_s);
    }

    void servesTheLayout_data()
    {
        QTest::addColumn<int>("parent");
        QTest::addColumn<int>("depth");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("expected");
        const QString wholeMenu = u"0{children-display='submenu'}["
                                  "1{enabled=true,label='Open speed__test',visible=true},"
                                  "2{enabled=true,type='separator',visible=true},"
                                  "3{enabled=false,label='Pause',visible=true}]"_s;
        QTest::newRow("whole menu") << 0 << -1 << QStringList{} << wholeMenu;
        QTest::newRow("root alone")
            << 0 << 0 << QStringList{} << u"0{children-display='submenu'}"_s;
        QTest::newRow("one level, two properties")
            << 0 << 1 << QStringList{u"type"_s, u"enabled"_s}
            << u"0{}[1{enabled=true},2{enabled=true,type='separator'},3{enabled=false}]"_s;
        QTest::newRow("one entry") << 3 << -1 << QStringList{u"label"_s} << u"3{label='Pause'}"_s;
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
                {QVariant::fromValue(QList<int>{3, 99, 2}), QStringList{u"label"_s, u"type"_s}});
        QCOMPARE(reply.signature(), u"a(ia{sv})"_s);
        const auto argument = reply.arguments().at(0).value<QDBusArgument>();
        QStringList items;
        argument.beginArray();
        while (!argument.atEnd())
            items.append(describe(argument, false));
        argument.endArray();
        QCOMPARE(items, QStringList({u"3{label='Pause'}"_s, u"2{type='separator'}"_s}));
    }

    void answersSingleQuestions_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QVariant>("expected"); // none: the call is refused
        const QVariantList version{QString::fromLatin1(menuInterface), u"Version"_s};
        const QVariantList themePath{QString::fromLatin1(menuInterface), u"IconThemePath"_s};
        const QVariant noData = QVariant::fromValue(QDBusVariant(0));
        QTest::newRow("Version") << u"Get"_s << version << QVariant(3u);
        QTest::newRow("IconThemePath") << u"Get"_s << themePath << QVariant(QStringList{});
        QTest::newRow("label") << u"GetProperty"_s << QVariantList{1, u"label"_s}
                               << QVariant(u"Open speed__test"_s);
        QTest::newRow("AboutToShow") << u"AboutToShow"_s << QVariantList{0} << QVariant(false);
        QTest::newRow("property") << u"GetProperty"_s << QVariantList{4, u"label"_s} << QVariant();
        QTest::newRow("event") << u"Event"_s << QVariantList{4, u"clicked"_s, noData, 0u}
                               << QVariant();
    }

    void answersSingleQuestions()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QVariant, expected);
        const QDBusMessage reply = method == "Get"_L1
                                       ? ask(method, arguments, "org.freedesktop.DBus.Properties")
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

    void clicksTriggerEnabledEntries_data()
    {
        QTest::addColumn<QList<HostEvent>>("events");
        QTest::addColumn<QList<int>>("triggered");
        QTest::addColumn<QList<int>>("idErrors"); // for a group of events
        const auto row = [](const char *name, int id, const QString &event, QList<int> triggered) {
            QTest::newRow(name) << QList<HostEvent>{{id, event}} << triggered << QList<int>{};
        };
        row("clicked", 1, u"clicked"_s, {0});
        row("separator", 2, u"clicked"_s, {});
        row("disabled", 3, u"clicked"_s, {});
        row("hovered", 1, u"hovered"_s, {});
        row("root opened", 0, u"opened"_s, {});
        QTest::newRow("group with unknown id")
            << QList<HostEvent>{{1, u"clicked"_s}, {7, u"clicked"_s}, {3, u"clicked"_s}}
            << QList<int>{0} << QList<int>{7};
    }

    void clicksTriggerEnabledEntries()
    {
        QFETCH(QList<HostEvent>, events);
        QFETCH(QList<int>, triggered);
        QFETCH(QList<int>, idErrors);
        QSignalSpy spy(m_menu.get(), &DBusMenu::triggered);
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
        // A later click on the first entry marks the point by which earlier ones have arrived.
        send({1, u"clicked"_s});
        triggered.append(0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), triggered.size(), 5000);
        for (qsizetype i = 0; i < triggered.size(); ++i)
            QCOMPARE(spy.at(i).at(0).toInt(), triggered.at(i));
    }
};

DESKTOP_SESSION_TEST_MAIN(TestDBusMenu)

#include "tst_dbusmenu.moc"
