#include "desktopsession.h"
#include "panelcolors.h"
#include "systemtrayitem.h"
#include "testhelpers.h"
#include "xembedtrayitem.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QToolTip>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

using namespace velmora;
using namespace Qt::StringLiterals;

using Component = DesktopSession::Component;
using Carrier = SystemTrayItem::Carrier;

namespace {

// A wide picture at both scales.
QList<QImage> wideIcon(const QColor &color = QColor(0x20, 0x90, 0x30))
{
    QList<QImage> images;
    for (const qreal ratio : {1.0, 2.0}) {
        images.append(QImage(QSize(110, 22) * ratio, QImage::Format_ARGB32_Premultiplied));
        images.last().setDevicePixelRatio(ratio);
        images.last().fill(color);
    }
    return images;
}

// What this process writes to stderr while it lives.
struct StderrCapture
{
    QTemporaryFile file;
    int saved = (std::fflush(stderr), ::dup(STDERR_FILENO));
    StderrCapture() { file.open() && ::dup2(file.handle(), STDERR_FILENO); }
    ~StderrCapture() { std::fflush(stderr), ::dup2(saved, STDERR_FILENO), ::close(saved); }
    QString text() { return std::fflush(stderr), file.seek(0), QString::fromUtf8(file.readAll()); }
};

} // namespace

class TestXEmbedTray : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = DesktopSession::current(); // entered in main

    // Where the item's window (the one window of that name) is on screen, as the X server says.
    QRect onScreen() const { return m_session->windowGeometry({u"--name"_s, u"^Velmora$"_s}); }

private Q_SLOTS:
    void initTestCase()
    {
        DESKTOP_SESSION_REQUIRE();
        DESKTOP_SESSION_START(*m_session, Bus);
    }

    // polybar squares every tray window: the item knows the tray and asks for a square.
    void knowsASquaringTray()
    {
        if (QStandardPaths::findExecutable(u"polybar"_s).isEmpty())
            QSKIP("polybar is not installed");
        m_session->stop(Component::XEmbedTray);
        XEmbedTrayItem item;
        QList<QImage> squares;
        for (const int size : {16, 22, 32}) {
            squares.append(QImage(size, size, QImage::Format_ARGB32_Premultiplied));
            squares.last().fill(Qt::darkGreen);
        }
        item.setIcon(squares);
        const QString config = m_session->path() + u"/polybar.ini"_s;
        QVERIFY(test::writeFile(config,
                                "[bar/main]\nwidth = 100%\nheight = 24\nmodules-left = date\n"
                                "tray-position = right\n[module/date]\ntype = internal/date\n"
                                "date = %H:%M\n"));
        QProcess polybar;
        polybar.setProcessEnvironment(m_session->environment());
        polybar.start(u"polybar"_s, {u"-c"_s, config, u"main"_s});
        QTRY_COMPARE_WITH_TIMEOUT(item.rendering(), TrayRendering::Square, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(item.isShown(), 5000);
        // A square slot within the 24-px bar, not the wide one a wide picture would ask for.
        QRect slot;
        QTRY_VERIFY_WITH_TIMEOUT(
            (slot = onScreen()).width() == slot.height() && slot.height() <= 24, 5000);
        polybar.terminate();
        polybar.waitForFinished(3000);
        QTRY_COMPARE_WITH_TIMEOUT(item.rendering(), TrayRendering::Wide, 5000);
    }

    // Docked at the picture's full width and clicked there.
    void docksAtFullWidth()
    {
        DESKTOP_SESSION_START(*m_session, XEmbedTray);
        XEmbedTrayItem item;
        QVERIFY(item.isTrayPresent());
        item.setIcon(wideIcon());
        QTRY_VERIFY_WITH_TIMEOUT(item.isShown(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(onScreen().size(), QSize(110, 22), 5000);
        QCOMPARE(item.rendering(), TrayRendering::Wide);
        m_session->screenshot(u"xembed-tray"_s);

        // The left button activates at the item; the right one opens the item's menu there,
        // whose lines do what they say.
        QSignalSpy activated(&item, &TrayItem::activated);
        QSignalSpy chosen(&item, &TrayItem::menuActionTriggered);
        const QRect where = onScreen();
        m_session->click(where.center(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(QList<QVariantList>(activated), QList<QVariantList>{{where}},
                                  5000);
        m_session->click(where.center(), 3);
        QWidget *menu = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((menu = QApplication::activePopupWidget()), 5000);
        QStringList lines;
        for (const QAction *action : menu->actions())
            lines.append(action->text());
        QCOMPARE(lines, (QStringList{u"Open Velmora"_s, QString(), u"Settings…"_s, u"Quit"_s}));
        QVERIFY(menu->geometry().contains(where.center() + QPoint(1, 1)));
        menu->actions().at(2)->trigger();
        QCOMPARE(chosen.value(0).value(0).value<TrayItem::MenuAction>(),
                 TrayItem::MenuAction::ShowSettings);
        menu->close();
        QCOMPARE(activated.count(), 1);

        // A provider's name that looks like markup is shown as the text it is.
        item.setToolTip(u"<img src=\"x\" width=4000 height=4000> \u00B7 203.0.113.7"_s);
        QWidget *window = QWidget::find(item.windowId());
        QVERIFY(window);
        QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), window->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(window, &hover);
        QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 5000);
        QVERIFY(QToolTip::text().contains(u"&lt;img src=&quot;x&quot;"_s));
        for (const QWidget *tip : QApplication::topLevelWidgets()) {
            if (tip->inherits("QTipLabel"))
                QVERIFY2(tip->height() < 50 && tip->width() < 500, qPrintable(QToolTip::text()));
        }
    }

    // Xfce's tray offers a visual with alpha: the item draws no box, so a clear picture shows
    // the panel, and it knows the panel's colour.
    void standsOnTheXfcePanel()
    {
        m_session->stop(Component::XEmbedTray);
        m_session->stop(Component::Watcher);
        DESKTOP_SESSION_START(*m_session, Xfce);
        const auto leave = qScopeGuard([this] { m_session->stop(Component::Xfce); });
        XEmbedTrayItem item;
        item.setIcon(wideIcon(Qt::transparent));
        QTRY_VERIFY_WITH_TIMEOUT(item.isShown(), 5000);
        const QRect where = onScreen();
        const QPoint beside(where.left() - 3, where.center().y());
        // The panel may still be drawing: what counts is the screen once it is done.
        QImage screen;
        QTRY_VERIFY_WITH_TIMEOUT((screen = m_session->grab()).pixel(where.center()) ==
                                         screen.pixel(beside) &&
                                     item.panelBackground() == QColor(screen.pixel(beside)),
                                 15000);
        QCOMPARE(shadeOf(item.panelBackground()), PanelShade::Dark);
    }

    void waitsForATrayAndFollowsIt()
    {
        m_session->stop(Component::Watcher);
        m_session->stop(Component::XEmbedTray);
        StderrCapture errors;
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
        DESKTOP_SESSION_START(*m_session, Watcher);
        QVERIFY(carriedBy(Carrier::StatusNotifier));
        m_session->stop(Component::Watcher);
        QVERIFY(carriedBy(Carrier::XEmbed));
        // The watcher wins over the X tray, and needs none beside it.
        m_session->stop(Component::XEmbedTray);
        DESKTOP_SESSION_START(*m_session, Watcher);
        QVERIFY(carriedBy(Carrier::StatusNotifier));
        m_session->stop(Component::Watcher);
        QVERIFY(carriedBy(Carrier::None));

        QCOMPARE(errors.text(),
                 u"velmora: no system tray found; the item will appear when one starts.\n"_s);
    }
};

DESKTOP_SESSION_TEST_MAIN(TestXEmbedTray)

#include "tst_xembedtray.moc"
