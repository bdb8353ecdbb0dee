#pragma once

#include <QWidget>

#include <functional>

class QAbstractButton;
class QLabel;
class QPushButton;
class QToolButton;

namespace velmora {

class AppModel;
class Preferences;
class Spinner;
class SymbolImage;
class TrafficGraph;
class WrappingLabel;

// The content of the popover: a header (flag, country, city, refresh), the Network card,
// the Traffic card, the Speed card and a footer (settings, quit), 320 pixels wide, as tall as its
// content.
//
// It keeps nothing of its own: every text and state is read from the model and the
// preferences, and rewritten in place whenever one of the values it shows changes. Its width
// is fixed; sizeHint() follows the content, and a change of it reaches the host through the
// usual layout requests (a host layout with QLayout::SetFixedSize follows it). Shown as a
// window of its own, the view resizes itself. Widgets that tests and
// end-to-end scripts look for carry object names: "refreshButton", "copyButton",
// "runTestButton", "settingsButton", "quitButton", and the texts "flag", "title",
// "subtitle", "publicIP", "localIP", "isp", "connection", "vpnBadge", "dns", "timezone",
// "geoNotice", "dnsNotice", "trafficGraph", "trafficCaption", "latency", "download", "upload",
// "speedNotice", "speedStatus"; the two
// spinners are "refreshSpinner" and "speedSpinner", the copy symbol "copySymbol".
class PopoverView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int fixedWidth = 320;

    // model and prefs must outlive the view. openSettings shows the settings window.
    PopoverView(AppModel &model, Preferences &prefs, std::function<void()> openSettings,
                QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;

private:
    QWidget *makeHeader();
    QWidget *makeNetworkCard();
    QWidget *makeTrafficCard();
    QWidget *makeSpeedCard();
    QWidget *makeFooter();

    // Each rewrites the widgets that show one group of model values.
    void updateGeo();
    void updateRefreshing();
    void updateLocalIP();
    void updateConnection();
    void updateDns();
    void updateSpeed();
    void updateTraffic();
    void showTraffic();

    void refresh();
    void runSpeedTest();

    AppModel &m_model;
    Preferences &m_prefs;
    std::function<void()> m_openSettings;

    QLabel *m_flag = nullptr;
    WrappingLabel *m_title = nullptr;
    WrappingLabel *m_subtitle = nullptr;
    QToolButton *m_refreshButton = nullptr;
    Spinner *m_refreshSpinner = nullptr;

    QWidget *m_geoNotice = nullptr;
    WrappingLabel *m_geoNoticeText = nullptr;
    QAbstractButton *m_copyButton = nullptr;
    QLabel *m_publicIP = nullptr;
    SymbolImage *m_copySymbol = nullptr;
    WrappingLabel *m_localIP = nullptr;
    WrappingLabel *m_isp = nullptr;
    QLabel *m_vpnBadge = nullptr;
    QLabel *m_connection = nullptr;
    QWidget *m_dnsNotice = nullptr;
    WrappingLabel *m_dns = nullptr;
    WrappingLabel *m_timezone = nullptr;

    TrafficGraph *m_trafficGraph = nullptr;
    QLabel *m_trafficCaption = nullptr;

    WrappingLabel *m_latency = nullptr;
    WrappingLabel *m_download = nullptr;
    WrappingLabel *m_upload = nullptr;
    QWidget *m_speedNotice = nullptr;
    WrappingLabel *m_speedNoticeText = nullptr;
    Spinner *m_speedSpinner = nullptr;
    QLabel *m_speedStatus = nullptr;
    QPushButton *m_runTestButton = nullptr;
};

} // namespace velmora
