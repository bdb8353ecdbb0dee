#include "desktopcolorscheme.h"
#include "desktopsession.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>

#include <memory>
#include <optional>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

constexpr auto portalService = "org.freedesktop.portal.Desktop";

// A settings portal served by the test on the private bus: a real peer for the scheme.
class Portal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    std::optional<uint> scheme;
    bool wrapTwice = false; // as older portals answer Read

    explicit Portal(const QString &busAddress)
        : m_connection(QDBusConnection::connectToBus(busAddress, u"test-portal"_s))
    {
        m_connection.registerObject(u"/org/freedesktop/portal/desktop"_s, this,
                                    QDBusConnection::ExportAllSlots |
                                        QDBusConnection::ExportAllSignals);
    }
    ~Portal() override { QDBusConnection::disconnectFromBus(u"test-portal"_s); }

    bool start() { return m_connection.registerService(QString::fromLatin1(portalService)); }

    void change(uint value)
    {
        scheme = value;
        Q_EMIT SettingChanged(u"org.freedesktop.appearance"_s, u"color-scheme"_s,
                              QDBusVariant(value));
    }

public Q_SLOTS:
    QDBusVariant Read(const QString &nameSpace, const QString &key)
    {
        if (nameSpace != "org.freedesktop.appearance"_L1 || key != "color-scheme"_L1 || !scheme) {
            sendErrorReply(u"org.freedesktop.portal.Error.NotFound"_s, u"no such setting"_s);
            return {};
        }
        const QDBusVariant value(*scheme);
        return wrapTwice ? QDBusVariant(QVariant::fromValue(value)) : value;
    }

Q_SIGNALS:
    void SettingChanged(const QString &nameSpace, const QString &key, const QDBusVariant &value);

private:
    QDBusConnection m_connection;
};

const QColor paletteText(0x33, 0x66, 0x99);

} // namespace

class TestDesktopColorScheme : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        DESKTOP_SESSION_REQUIRE();
        m_session = DesktopSession::current();
        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::WindowText, paletteText);
        QGuiApplication::setPalette(palette);
    }

    void readsThePortalsPreference_data()
    {
        QTest::addColumn<std::optional<uint>>("scheme");
        QTest::addColumn<bool>("wrapTwice");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("prefers dark") << std::optional<uint>(1) << false << QColor(Qt::white);
        QTest::newRow("prefers light") << std::optional<uint>(2) << false << QColor(Qt::black);
        QTest::newRow("prefers dark, older portal")
            << std::optional<uint>(1) << true << QColor(Qt::white);
        QTest::newRow("no preference") << std::optional<uint>(0) << false << paletteText;
        QTest::newRow("unknown value") << std::optional<uint>(7) << false << paletteText;
        QTest::newRow("setting absent") << std::optional<uint>() << false << paletteText;
    }

    void readsThePortalsPreference()
    {
        QFETCH(std::optional<uint>, scheme);
        QFETCH(bool, wrapTwice);
        QFETCH(QColor, expected);
        Portal portal(m_session->busAddress());
        portal.scheme = scheme;
        portal.wrapTwice = wrapTwice;
        QVERIFY(portal.start());
        DesktopColorScheme colors;
        QSignalSpy changed(&colors, &DesktopColorScheme::changed);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), expected, 5000);
        QTest::qWait(100);
        QCOMPARE(changed.count(), expected == paletteText ? 0 : 1);
    }

    void followsTheDesktop()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        DesktopColorScheme colors;
        QSignalSpy changed(&colors, &DesktopColorScheme::changed);
        QTest::qWait(200);
        QCOMPARE(colors.panelTextColor(), paletteText); // no portal yet: quietly the palette

        Portal portal(m_session->busAddress());
        portal.scheme = 1;
        QVERIFY(portal.start());
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), QColor(Qt::white), 5000);
        portal.change(2);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), QColor(Qt::black), 5000);
        portal.change(0);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), paletteText, 5000);

        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::WindowText, Qt::darkRed);
        QGuiApplication::setPalette(palette);
        QCOMPARE(colors.panelTextColor(), QColor(Qt::darkRed));
        QCOMPARE(changed.count(), 4);
        palette.setColor(QPalette::WindowText, paletteText);
        QGuiApplication::setPalette(palette);
    }
};

DESKTOP_SESSION_TEST_MAIN(TestDesktopColorScheme)

#include "tst_desktopcolorscheme.moc"
