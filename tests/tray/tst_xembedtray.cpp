#include "desktopsession.h"
#include "systemtrayitem.h"
#include "xembedtrayitem.h"

#include <QWidget>

using namespace velmora;
using namespace Qt::StringLiterals;

using Component = DesktopSession::Component;
using Carrier = SystemTrayItem::Carrier;

namespace {

// A wide picture.
QList<QImage> wideIcon()
{
    QImage image(110, 22, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0x20, 0x90, 0x30));
    return {image};
}

} // namespace

class TestXEmbedTray : public QObject
{
    Q_OBJECT

    DesktopSession *m_session = DesktopSession::current(); // entered in main

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
        QVERIFY(window->toolTip().contains(u"&lt;img src=&quot;x&quot;"_s));
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
        // The watcher wins over the X tray.
        DESKTOP_SESSION_START(*m_session, Watcher);
        QVERIFY(carriedBy(Carrier::StatusNotifier));
        m_session->stop(Component::Watcher);
        QVERIFY(carriedBy(Carrier::XEmbed));
        m_session->stop(Component::XEmbedTray);
        QVERIFY(carriedBy(Carrier::None));
    }
};

DESKTOP_SESSION_TEST_MAIN(TestXEmbedTray)

#include "tst_xembedtray.moc"
