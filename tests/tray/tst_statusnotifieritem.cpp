#include "desktopsession.h"
#include "statusnotifieritem.h"

#include <QDBusAbstractInterface>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QPainter>
#include <QSignalSpy>

#include <cstdlib>
#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

constexpr auto itemPath = "/StatusNotifierItem";
constexpr auto itemInterface = "org.kde.StatusNotifierItem";
constexpr auto menuPath = "/MenuBar";
constexpr auto menuInterface = "com.canonical.dbusmenu";
constexpr auto propertiesInterface = "org.freedesktop.DBus.Properties";

// The item's signals as a host receives them, over a connection of the test's own.
class ItemView : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    ItemView(const QString &service, const QDBusConnection &connection)
        : QDBusAbstractInterface(service, QString::fromLatin1(itemPath), itemInterface, connection,
                                 nullptr)
    {}

Q_SIGNALS:
    void NewIcon();
    void NewToolTip();
    void XAyatanaNewLabel(const QString &label, const QString &guide);
};

// A value as text, read by its wire types: (…) a structure, […] an array, {…} a map, texts
// quoted, and what a variant holds after its own signature.
QString text(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        const QVariant inner = value.value<QDBusVariant>().variant();
        const bool complex = inner.metaType() == QMetaType::fromType<QDBusArgument>();
        return (complex ? inner.value<QDBusArgument>().currentSignature()
                        : QString::fromLatin1(QDBusMetaType::typeToSignature(inner.metaType()))) +
               u':' + text(inner);
    }
    if (value.metaType() == QMetaType::fromType<QString>())
        return u'\'' + value.toString() + u'\'';
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.metaType() == QMetaType::fromType<QStringList>())
        return u'[' + value.toStringList().join(u',') + u']';
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return value.toString();
    const auto argument = value.value<QDBusArgument>();
    QStringList parts;
    switch (argument.currentType()) {
    case QDBusArgument::StructureType:
        argument.beginStructure();
        while (!argument.atEnd())
            parts.append(text(argument.asVariant()));
        argument.endStructure();
        return u'(' + parts.join(u',') + u')';
    case QDBusArgument::MapType:
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QString key = argument.asVariant().toString();
            parts.append(key + u'=' + text(argument.asVariant()));
            argument.endMapEntry();
        }
        argument.endMap();
        return u'{' + parts.join(u',') + u'}';
    default:
        argument.beginArray();
        while (!argument.atEnd())
            parts.append(text(argument.asVariant()));
        argument.endArray();
        return u'[' + parts.join(u',') + u']';
    }
}

// A reply as a host reads it: its signature and values, or the error's name.
QString answerOf(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage)
        return reply.errorName();
    QStringList values;
    for (const QVariant &value : reply.arguments())
        values.append(text(value));
    return (reply.signature() + u' ' + values.join(u", "_s)).trimmed();
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

// Whether an IconPixmap value (a(iiay)) carries images as the protocol wants them:
// non-premultiplied ARGB, big-endian. Undoing premultiplication may round either way.
bool carries(const QVariant &value, const QList<QImage> &images)
{
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != "a(iiay)"_L1)
        return false;
    argument.beginArray();
    for (const QImage &image : images) {
        int width = 0, height = 0;
        QByteArray argb;
        if (argument.atEnd())
            return false;
        argument.beginStructure();
        argument >> width >> height >> argb;
        argument.endStructure();
        if (QSize(width, height) != image.size() || argb.size() != qsizetype(width) * height * 4)
            return false;
        const auto *pixel = reinterpret_cast<const uchar *>(argb.constData());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x, pixel += 4) {
                const QColor color = image.pixelColor(x, y);
                if (pixel[0] != color.alpha() || std::abs(pixel[1] - color.red()) > 1 ||
                    std::abs(pixel[2] - color.green()) > 1 || std::abs(pixel[3] - color.blue()) > 1)
                    return false;
            }
        }
    }
    const bool all = argument.atEnd();
    argument.endArray(); // which also frees what reading the array took
    return all;
}

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

} // namespace

Q_DECLARE_METATYPE(HostEvent)

class TestStatusNotifierItem : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = nullptr;
    QDBusConnection m_host{u"none"_s};
    std::unique_ptr<StatusNotifierItem> m_item;
    std::unique_ptr<ItemView> m_view;

    // The item answers from this thread, so the wait must keep the event loop turning.
    QDBusMessage ask(const char *path, const char *interfaceName, const QString &method,
                     const QVariantList &arguments)
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(m_item->serviceName(), QString::fromLatin1(path),
                                           QString::fromLatin1(interfaceName), method);
        call.setArguments(arguments);
        return m_host.call(call, QDBus::BlockWithGui, 5000);
    }

    QVariant property(const char *name)
    {
        return ask(itemPath, propertiesInterface, u"Get"_s,
                   {QString::fromLatin1(itemInterface), QString::fromLatin1(name)})
            .arguments()
            .value(0);
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

    // Each text reaches the host once, however often it is set.
    void textsReachTheHost()
    {
        QSignalSpy newToolTip(m_view.get(), &ItemView::NewToolTip);
        QSignalSpy newLabel(m_view.get(), &ItemView::XAyatanaNewLabel);
        for (int i = 0; i < 2; ++i) {
            m_item->setToolTip(u"Velmora\n↓ 12.4 Mbit/s"_s);
            m_item->setLabel(u"↓ 1 Kb/s"_s, u"↓ 888.8 Mb/s"_s);
        }
        QTRY_VERIFY_WITH_TIMEOUT(newToolTip.count() == 1 && newLabel.count() == 1, 5000);
        QCOMPARE(newLabel.first(), (QVariantList{u"↓ 1 Kb/s"_s, u"↓ 888.8 Mb/s"_s}));
        // Hosts read them all when they set an item up; some give up on an item that lacks one.
        QCOMPARE(answerOf(ask(itemPath, propertiesInterface, u"GetAll"_s,
                              {QString::fromLatin1(itemInterface)})),
                 u"a{sv} {AttentionAccessibleDesc=s:'',AttentionIconName=s:'',"
                 "AttentionIconPixmap=a(iiay):[],AttentionMovieName=s:'',"
                 "Category=s:'ApplicationStatus',"
                 "IconAccessibleDesc=s:'Velmora\n↓ 12.4 Mbit/s, ↓ 1 Kb/s',IconName=s:'',"
                 "IconPixmap=a(iiay):[],IconThemePath=s:'',Id=s:'velmora',ItemIsMenu=b:false,"
                 "Menu=o:/MenuBar,OverlayIconName=s:'',OverlayIconPixmap=a(iiay):[],"
                 "Status=s:'Active',Title=s:'Velmora',"
                 "ToolTip=(sa(iiay)ss):('',[],'Velmora\n↓ 12.4 Mbit/s',''),WindowId=i:0,"
                 "XAyatanaLabel=s:'↓ 1 Kb/s',XAyatanaLabelGuide=s:'↓ 888.8 Mb/s',"
                 "XAyatanaOrderingIndex=u:0}"_s);
        QTest::qWait(200);
        QCOMPARE(newToolTip.count() + newLabel.count(), 2);
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
        QVERIFY(carries(property("IconPixmap").value<QDBusVariant>().variant(), images));
        if (qEnvironmentVariableIsSet("VELMORA_ARTIFACTS")) {
            QTest::qWait(1000); // the host fetches and draws the picture in its own time
            m_session->screenshot(u"sni-tray-"_s + QString::fromLatin1(QTest::currentDataTag()));
        }

        // The same picture again is nothing new for the host.
        m_item->setIcon({picture(format, 1), picture(format, 2)});
        QTest::qWait(200);
        QCOMPARE(newIcon.count(), 1);
    }

    // Activate and SecondaryActivate open the popover, ContextMenu the menu, where the host says.
    void clicksCarryTheirPosition()
    {
        QSignalSpy activated(m_item.get(), &TrayItem::activated);
        QSignalSpy menu(m_item.get(), &TrayItem::contextMenuRequested);
        ask(itemPath, itemInterface, u"Activate"_s, {1203, 11});
        ask(itemPath, itemInterface, u"SecondaryActivate"_s, {7, 11});
        ask(itemPath, itemInterface, u"ContextMenu"_s, {40, 11});
        QCOMPARE(QList<QVariantList>(activated),
                 (QList<QVariantList>{{QRect(1203, 11, 1, 1)}, {QRect(7, 11, 1, 1)}}));
        QCOMPARE(QList<QVariantList>(menu), (QList<QVariantList>{{QRect(40, 11, 1, 1)}}));
    }

    void menuAnswersAsHostsExpect_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QString &method, const QVariantList &arguments,
                            const QString &expected) {
            QTest::newRow(name) << method << arguments << expected;
        };
        row("properties", u"GetAll"_s, {QString::fromLatin1(menuInterface)},
            u"a{sv} {IconThemePath=as:[],Status=s:'normal',TextDirection=s:'ltr',Version=u:3}"_s);
        row("whole layout", u"GetLayout"_s, {0, -1, QStringList{}},
            u"u(ia{sv}av) (0,{children-display=s:'submenu'},["
            "(ia{sv}av):(1,{enabled=b:true,label=s:'Open Velmora',visible=b:true},[]),"
            "(ia{sv}av):(2,{enabled=b:true,type=s:'separator',visible=b:true},[]),"
            "(ia{sv}av):(3,{enabled=b:true,label=s:'Settings\u2026',visible=b:true},[]),"
            "(ia{sv}av):(4,{enabled=b:true,label=s:'Quit',visible=b:true},[])])"_s);
        row("root alone", u"GetLayout"_s, {0, 0, QStringList{}},
            u"u(ia{sv}av) (0,{children-display=s:'submenu'},[])"_s);
        row("one level, two properties", u"GetLayout"_s,
            {0, 1, QStringList{u"type"_s, u"enabled"_s}},
            u"u(ia{sv}av) (0,{},[(ia{sv}av):(1,{enabled=b:true},[]),"
            "(ia{sv}av):(2,{enabled=b:true,type=s:'separator'},[]),"
            "(ia{sv}av):(3,{enabled=b:true},[]),(ia{sv}av):(4,{enabled=b:true},[])])"_s);
        row("one entry", u"GetLayout"_s, {4, -1, QStringList{u"label"_s}},
            u"u(ia{sv}av) (4,{label=s:'Quit'},[])"_s);
        row("group", u"GetGroupProperties"_s,
            {QVariant::fromValue(QList<int>{4, 99, 2}), QStringList{u"label"_s, u"type"_s}},
            u"a(ia{sv}) [(4,{label=s:'Quit'}),(2,{type=s:'separator'})]"_s);
        row("label", u"GetProperty"_s, {1, u"label"_s}, u"v s:'Open Velmora'"_s);
        row("AboutToShow", u"AboutToShow"_s, {0}, u"b false"_s);
        // Refused by the menu, not by a dispatch failure.
        const QString refused = u"org.freedesktop.DBus.Error.InvalidArgs"_s;
        row("unknown property", u"GetProperty"_s, {5, u"label"_s}, refused);
        row("unknown event", u"Event"_s,
            {5, u"clicked"_s, QVariant::fromValue(QDBusVariant(0)), 0u}, refused);
    }

    void menuAnswersAsHostsExpect()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, expected);
        const QDBusMessage reply =
            ask(menuPath, method == "GetAll"_L1 ? propertiesInterface : menuInterface, method,
                arguments);
        QString answer = answerOf(reply);
        if (method == "GetLayout"_L1) // its revision only has to grow
            answer = reply.signature() + u' ' + answer.section(u", "_s, 1);
        QCOMPARE(answer, expected);
    }

    // Clicks on the entries reach the program as its actions; anything else does nothing.
    void menuEntriesAreActions()
    {
        using Action = TrayItem::MenuAction;
        QSignalSpy spy(m_item.get(), &TrayItem::menuActionTriggered);
        const QList<HostEvent> events{{1, u"clicked"_s}, {2, u"clicked"_s}, {1, u"hovered"_s},
                                      {0, u"opened"_s},  {7, u"clicked"_s}, {3, u"clicked"_s}};
        QCOMPARE(
            answerOf(ask(menuPath, menuInterface, u"EventGroup"_s, {QVariant::fromValue(events)})),
            u"ai [7]"_s);
        QCOMPARE(answerOf(ask(menuPath, menuInterface, u"Event"_s,
                              {4, u"clicked"_s, QVariant::fromValue(QDBusVariant(0)), 0u})),
                 QString());
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, 5000);
        QList<Action> triggered;
        for (const QVariantList &arguments : std::as_const(spy))
            triggered.append(arguments.at(0).value<Action>());
        QCOMPARE(triggered,
                 (QList<Action>{Action::ShowPopover, Action::ShowSettings, Action::Quit}));
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
