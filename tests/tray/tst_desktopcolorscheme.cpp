#include "../ui/pixels.h"
#include "desktopcolorscheme.h"
#include "desktopsession.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <optional>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

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

    bool start() { return m_connection.registerService(u"org.freedesktop.portal.Desktop"_s); }

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

const QColor white(Qt::white), black(Qt::black);

void setPaletteWindow(const QColor &color)
{
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::Window, color);
    QGuiApplication::setPalette(palette);
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(contents) == contents.size();
}

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
        setPaletteWindow(QColor(0x30, 0x30, 0x30)); // a dark desktop palette
    }

    // Whatever the background, one of the two text colours reads at 4.5:1 and is chosen.
    void textReadsOnAnyPanel()
    {
        for (int grey = 0; grey < 256; grey += 5) {
            for (const QColor &panel : {QColor(grey, grey, grey), QColor(grey, 255 - grey, 0)}) {
                const QColor text = textColorFor(shadeOf(panel));
                QVERIFY2(pixels::contrast(text.rgb(), panel.rgb()) >= 4.5,
                         qPrintable(panel.name()));
            }
        }
    }

    void decidesFromTheDesktopThenThePortal_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<std::optional<uint>>("scheme");
        QTest::addColumn<bool>("wrapTwice");
        QTest::addColumn<QColor>("expected");
        const std::optional<uint> absent, none(0), dark(1), light(2), unknown(7);
        // The desktop's own panel beats its colour scheme: GNOME's bar is dark in light mode.
        QTest::newRow("GNOME, prefers light") << u"ubuntu:GNOME"_s << light << false << white;
        QTest::newRow("GNOME Classic") << u"GNOME-Classic:GNOME"_s << dark << false << black;
        QTest::newRow("Budgie on GNOME") << u"Budgie:GNOME"_s << light << false << white;
        QTest::newRow("MATE, prefers light") << u"MATE"_s << light << false << black;
        QTest::newRow("prefers dark") << u"sway"_s << dark << false << white;
        QTest::newRow("prefers light, older portal") << QString() << light << true << black;
        // Then the desktop's palette, dark here.
        QTest::newRow("no preference") << QString() << none << false << white;
        QTest::newRow("unknown value") << QString() << unknown << false << white;
        QTest::newRow("setting absent") << QString() << absent << false << white;
    }

    void decidesFromTheDesktopThenThePortal()
    {
        QFETCH(QString, desktop);
        QFETCH(std::optional<uint>, scheme);
        QFETCH(bool, wrapTwice);
        QFETCH(QColor, expected);
        Portal portal(m_session->busAddress());
        portal.scheme = scheme;
        portal.wrapTwice = wrapTwice;
        QVERIFY(portal.start());
        DesktopColorScheme colors(desktop);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), expected, 5000);
        QTest::qWait(100);
        QCOMPARE(colors.panelTextColor(), expected);
    }

    // The program's own theme changes the application palette; the panel stays as it was.
    void followsTheDesktopNotTheProgramsTheme()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        DesktopColorScheme colors{QString()};
        QSignalSpy changed(&colors, &DesktopColorScheme::changed);
        setPaletteWindow(QColor(0xf0, 0xf0, 0xf0));
        QTest::qWait(200);
        QCOMPARE(colors.panelTextColor(), white); // no portal yet: the palette it started with

        Portal portal(m_session->busAddress());
        portal.scheme = 2;
        QVERIFY(portal.start());
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), black, 5000);
        portal.change(1);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), white, 5000);
        portal.change(2);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), black, 5000);
        QCOMPARE(changed.count(), 3);
        setPaletteWindow(QColor(0x30, 0x30, 0x30));
    }

    void readsThePlasmaTheme_data()
    {
        QTest::addColumn<QByteArray>("plasmarc");
        QTest::addColumn<QByteArray>("kdeglobals");
        QTest::addColumn<PanelShade>("expected");
        const QByteArray darkScheme = "[Colors:Window]\nBackgroundNormal=42,46,50\n";
        QTest::newRow("nothing set: Breeze") << QByteArray() << QByteArray() << PanelShade::Light;
        QTest::newRow("Breeze follows the scheme")
            << QByteArray("[Theme]\nname=default\n") << darkScheme << PanelShade::Dark;
        QTest::newRow("a theme's own colours win")
            << QByteArray("[Theme]\nname=mine\n") << darkScheme << PanelShade::Light;
    }

    void readsThePlasmaTheme()
    {
        QFETCH(QByteArray, plasmarc);
        QFETCH(QByteArray, kdeglobals);
        QFETCH(PanelShade, expected);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"config/plasmarc"_s), plasmarc));
        QVERIFY(writeFile(dir.filePath(u"config/kdeglobals"_s), kdeglobals));
        QVERIFY(writeFile(dir.filePath(u"data/plasma/desktoptheme/mine/colors"_s),
                          "[Colors:Window]\nBackgroundNormal=250,250,250\n"));
        QCOMPARE(shadeOf(plasmaPanelColor(dir.filePath(u"config"_s), {dir.filePath(u"data"_s)})),
                 expected);
    }
};

DESKTOP_SESSION_TEST_MAIN(TestDesktopColorScheme)

#include "tst_desktopcolorscheme.moc"
