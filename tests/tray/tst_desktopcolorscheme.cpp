#include "../ui/pixels.h"
#include "desktopcolorscheme.h"
#include "desktopsession.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>

#include <optional>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

const QColor white(Qt::white), black(Qt::black);

} // namespace

class TestDesktopColorScheme : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = DesktopSession::current(); // entered in main

    // The desktop's colour scheme as GNOME settings hold it ("default", "prefer-dark",
    // "prefer-light"), served by the real portal once it tells it.
    void prefer(const QString &scheme)
    {
        DESKTOP_SESSION_START(*m_session, Portal);
        m_session->run({u"gsettings"_s, u"set"_s, u"org.gnome.desktop.interface"_s,
                        u"color-scheme"_s, scheme});
        const QString code = u"uint32 %1>"_s.arg(
            QStringList{u"default"_s, u"prefer-dark"_s, u"prefer-light"_s}.indexOf(scheme));
        const QStringList read = u"gdbus call --session --dest org.freedesktop.portal.Desktop "
                                 "--object-path /org/freedesktop/portal/desktop --method "
                                 "org.freedesktop.portal.Settings.Read org.freedesktop.appearance "
                                 "color-scheme"_s.split(u' ');
        QVERIFY(DesktopSession::waitUntil([&] { return m_session->run(read).contains(code); }));
    }

private Q_SLOTS:
    void initTestCase()
    {
        DESKTOP_SESSION_REQUIRE();
        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30)); // a dark desktop palette
        QGuiApplication::setPalette(palette);
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
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QColor>("expected");
        // This portal wraps its answer twice, as older ones do.
        QTest::newRow("MATE, prefers light") << u"MATE"_s << u"prefer-light"_s << black;
        // The desktop's own panel beats its colour scheme: GNOME Classic's is light.
        QTest::newRow("GNOME Classic") << u"GNOME-Classic:GNOME"_s << u"prefer-dark"_s << black;
        // Then the desktop's palette, dark here.
        QTest::newRow("no preference") << QString() << u"default"_s << white;
    }

    void decidesFromTheDesktopThenThePortal()
    {
        QFETCH(QString, desktop);
        QFETCH(QString, scheme);
        QFETCH(QColor, expected);
        prefer(scheme);
        if (QTest::currentTestFailed())
            return;
        DesktopColorScheme colors(desktop);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), expected, 5000);
        QTest::qWait(100);
        QCOMPARE(colors.panelTextColor(), expected);
    }

    // Without a portal, the desktop's palette; a portal that starts later is asked, then it
    // tells each change. (That the program's own theme is no guide, the desktop test's panels
    // show.)
    void followsALaterPortal()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        m_session->stop(DesktopSession::Component::Portal);
        DesktopColorScheme colors{QString()};
        QSignalSpy changed(&colors, &DesktopColorScheme::changed);
        QCOMPARE(colors.panelTextColor(), white);
        DESKTOP_SESSION_START(*m_session, PortalBackend);
        m_session->run({u"gsettings"_s, u"set"_s, u"org.gnome.desktop.interface"_s,
                        u"color-scheme"_s, u"prefer-light"_s});
        DESKTOP_SESSION_START(*m_session, Portal);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), black, 5000);
        prefer(u"prefer-dark"_s);
        QTRY_COMPARE_WITH_TIMEOUT(colors.panelTextColor(), white, 5000);
        QCOMPARE(changed.count(), 2);
    }
};

DESKTOP_SESSION_TEST_MAIN(TestDesktopColorScheme)

#include "tst_desktopcolorscheme.moc"
