#include "desktopsession.h"
#include "panelcolors.h"
#include "systemtrayitem.h"
#include "xembedtrayitem.h"

#include <QApplication>
#include <QHelpEvent>
#include <QScopeGuard>
#include <QToolTip>

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
    }
};

DESKTOP_SESSION_TEST_MAIN(TestXEmbedTray)

#include "tst_xembedtray.moc"
