#include "desktopsession.h"
#include "statusnotifieritem.h"

#include <QDBusAbstractInterface>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
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

} // namespace

class TestStatusNotifierItem : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = nullptr;
    QDBusConnection m_host{u"none"_s};
    std::unique_ptr<StatusNotifierItem> m_item;
    std::unique_ptr<ItemView> m_view;

    QStringList registeredItems() const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            u"org.kde.StatusNotifierWatcher"_s, u"/StatusNotifierWatcher"_s,
            u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        call << u"org.kde.StatusNotifierWatcher"_s << u"RegisteredStatusNotifierItems"_s;
        const QDBusReply<QDBusVariant> reply = m_host.call(call, QDBus::Block, 5000);
        return reply.isValid() ? reply.value().variant().toStringList() : QStringList();
    }

    bool registered() const
    {
        const QString service = m_item->serviceName();
        return !registeredItems().filter(service).isEmpty();
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
    }

    void cleanupTestCase()
    {
        m_view.reset();
        m_item.reset();
        QDBusConnection::disconnectFromBus(u"test-host"_s);
    }

    void registersWithTheWatcher()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_item->isShown(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(registered(), 5000);
    }

    void registersAgainWhenTheWatcherReturns_data()
    {
        QTest::addColumn<bool>("crash");
        QTest::newRow("watcher crashes") << true;
        QTest::newRow("watcher quits") << false;
    }

    void registersAgainWhenTheWatcherReturns()
    {
        QFETCH(bool, crash);
        QTRY_VERIFY_WITH_TIMEOUT(m_item->isShown(), 5000);
        QSignalSpy shown(m_item.get(), &TrayItem::shownChanged);
        m_session->stop(DesktopSession::Component::Watcher, crash);
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

    void describesItself_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("Id") << u"Id"_s << QVariant(u"velmora"_s);
        QTest::newRow("Category") << u"Category"_s << QVariant(u"ApplicationStatus"_s);
        QTest::newRow("Status") << u"Status"_s << QVariant(u"Active"_s);
        QTest::newRow("ItemIsMenu") << u"ItemIsMenu"_s << QVariant(false);
        QTest::newRow("Menu") << u"Menu"_s << QVariant::fromValue(QDBusObjectPath(u"/MenuBar"_s));
        // Hosts give up on an item that lacks any of these.
        QTest::newRow("IconThemePath") << u"IconThemePath"_s << QVariant(QString());
        QTest::newRow("AttentionAccessibleDesc")
            << u"AttentionAccessibleDesc"_s << QVariant(QString());
        QTest::newRow("WindowId") << u"WindowId"_s << QVariant(0);
    }

    void describesItself()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, expected);
        QCOMPARE(m_view->get(property), expected);
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

    // The menu's entries, clicked the way a host does it, reach the program.
    void menuEntriesAreActions()
    {
        QSignalSpy chosen(m_item.get(), &TrayItem::menuActionTriggered);
        for (const int id : {3, 4}) {
            QDBusMessage event = QDBusMessage::createMethodCall(
                m_item->serviceName(), u"/MenuBar"_s, u"com.canonical.dbusmenu"_s, u"Event"_s);
            event << id << u"clicked"_s << QVariant::fromValue(QDBusVariant(0)) << 0u;
            QVERIFY(m_host.call(event, QDBus::BlockWithGui, 5000).type() ==
                    QDBusMessage::ReplyMessage);
        }
        QTRY_COMPARE_WITH_TIMEOUT(chosen.count(), 2, 5000);
        QCOMPARE(chosen.at(0).first().value<TrayItem::MenuAction>(),
                 TrayItem::MenuAction::ShowSettings);
        QCOMPARE(chosen.at(1).first().value<TrayItem::MenuAction>(), TrayItem::MenuAction::Quit);
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

    void leavesTheWatcherWhenDestroyed()
    {
        QTRY_VERIFY_WITH_TIMEOUT(registered(), 5000);
        const QString service = m_item->serviceName();
        m_view.reset();
        m_item.reset();
        QTRY_VERIFY_WITH_TIMEOUT(registeredItems().filter(service).isEmpty(), 5000);
    }
};

DESKTOP_SESSION_TEST_MAIN(TestStatusNotifierItem)

#include "tst_statusnotifieritem.moc"
