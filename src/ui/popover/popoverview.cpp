#include "popoverview.h"

#include "appmodel.h"
#include "card.h"
#include "look.h"
#include "preferences.h"
#include "row.h"
#include "shownvalues.h"
#include "speedtexts.h"
#include "spinner.h"
#include "symbols.h"
#include "trafficgraph.h"
#include "traffictexts.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int padding = 14;
constexpr int spacing = 12;
constexpr int refreshButtonSide = 24;

// The "VPN likely" capsule: its text in the system blue on that blue at 0.18 opacity.
class Badge final : public QLabel
{
public:
    explicit Badge(const QString &text)
        : QLabel(text)
    {
        setTextFormat(Qt::PlainText);
        setFont(textFont(TextStyle::caption2, QFont::DemiBold));
        setContentsMargins(6, 2, 6, 2);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setTint(this, Tint::blue);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::Active, QPalette::WindowText);
        fill.setAlphaF(0.18f);
        const QRectF shape = QRectF(rect());
        const double radius = shape.height() / 2.0;
        QPainterPath capsule;
        capsule.addRoundedRect(shape, radius, radius);
        painter.fillPath(capsule, fill);
        painter.end();
        QLabel::paintEvent(event);
    }
};

// A button without a bezel whose label is whatever its layout holds; it dims a little
// while pressed and shows the focus frame when it has keyboard focus.
class PlainButton final : public QAbstractButton
{
public:
    PlainButton() { setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (isDown()) {
            painter.setRenderHint(QPainter::Antialiasing);
            QColor shade = palette().color(QPalette::WindowText);
            shade.setAlphaF(0.1f);
            QPainterPath shape;
            shape.addRoundedRect(QRectF(rect()), 4, 4);
            painter.fillPath(shape, shade);
        }
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
};

QHBoxLayout *bareRow(QWidget *parent, int spacing)
{
    auto *layout = new QHBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

WrappingLabel *valueLabel(const QString &objectName, bool monospaced = false)
{
    auto *label = new WrappingLabel;
    label->setObjectName(objectName);
    if (monospaced)
        label->setFont(monospacedFont());
    return label;
}

// The orange warning with its text: a symbol, then the text wrapped, in the caption font.
QWidget *notice(const QString &objectName, int maximumLines, WrappingLabel **text)
{
    auto *box = new QWidget;
    box->setFont(textFont(TextStyle::caption));
    setTint(box, Tint::orange);
    auto *layout = bareRow(box, 4);
    layout->addWidget(new SymbolImage(QStringLiteral("exclamationmark.triangle.fill")), 0,
                      Qt::AlignTop);
    *text = new WrappingLabel;
    (*text)->setObjectName(objectName);
    (*text)->setTextFormat(Qt::PlainText);
    (*text)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    (*text)->setMaximumLines(maximumLines);
    layout->addWidget(*text, 1);
    box->hide();
    return box;
}

} // namespace

PopoverView::PopoverView(AppModel &model, Preferences &prefs, std::function<void()> openSettings,
                         QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_prefs(prefs)
    , m_openSettings(std::move(openSettings))
{
    setObjectName(QStringLiteral("popoverView"));
    setFixedWidth(fixedWidth);
    QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    auto *layout = new QVBoxLayout(this);
    // The height comes from sizeHint() alone: the layout's own minimum, worked out at the
    // narrowest widths of wrapping texts, would be far taller than the content at 320.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(spacing);
    layout->addWidget(makeHeader());
    layout->addWidget(makeNetworkCard());
    layout->addWidget(makeTrafficCard());
    layout->addWidget(makeSpeedCard());
    layout->addWidget(makeFooter());

    connect(&m_model, &AppModel::geoStateChanged, this, &PopoverView::updateGeo);
    connect(&m_model, &AppModel::lastGeoChanged, this, &PopoverView::updateGeo);
    connect(&m_model, &AppModel::ipCopiedChanged, this, &PopoverView::updateGeo);
    // Online or not decides the title, the flag and whether a test may start.
    connect(&m_model, &AppModel::isOnlineChanged, this, &PopoverView::updateGeo);
    connect(&m_model, &AppModel::isOnlineChanged, this, &PopoverView::updateSpeed);
    connect(&m_model, &AppModel::isRefreshingChanged, this, &PopoverView::updateRefreshing);
    connect(&m_model, &AppModel::localIPChanged, this, &PopoverView::updateLocalIP);
    connect(&m_model, &AppModel::connectionKindChanged, this, &PopoverView::updateConnection);
    connect(&m_model, &AppModel::vpnLikelyChanged, this, &PopoverView::updateConnection);
    connect(&m_model, &AppModel::dnsOutsideVpnChanged, this, &PopoverView::updateDns);
    connect(&m_model, &AppModel::dnsServersChanged, this, &PopoverView::updateDns);
    connect(&m_model, &AppModel::speedPhaseChanged, this, &PopoverView::updateSpeed);
    connect(&m_model, &AppModel::speedResultChanged, this, &PopoverView::updateSpeed);
    connect(&m_model, &AppModel::failedSpeedStepsChanged, this, &PopoverView::updateSpeed);
    connect(&m_prefs, &Preferences::speedUnitChanged, this, &PopoverView::updateSpeed);
    connect(&m_model, &AppModel::trafficHistoryChanged, this, &PopoverView::updateTraffic);
    connect(&m_prefs, &Preferences::speedUnitChanged, this, &PopoverView::updateTraffic);
    connect(&m_prefs, &Preferences::showLiveSpeedChanged, this, &PopoverView::updateTraffic);

    updateGeo();
    updateRefreshing();
    updateLocalIP();
    updateConnection();
    updateDns();
    updateSpeed();
    // The caption's line is there before the first showing, so the window shows at its size.
    showTraffic();
}

QSize PopoverView::sizeHint() const
{
    return {fixedWidth, layout()->totalHeightForWidth(fixedWidth)};
}

QSize PopoverView::minimumSizeHint() const
{
    return sizeHint();
}

QWidget *PopoverView::makeHeader()
{
    auto *header = new QWidget;
    auto *layout = bareRow(header, spacing);

    m_flag = new QLabel;
    m_flag->setObjectName(QStringLiteral("flag"));
    m_flag->setTextFormat(Qt::PlainText);
    m_flag->setFont(flagFont());
    m_flag->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addWidget(m_flag, 0, Qt::AlignVCenter);

    auto *titles = new QWidget;
    auto *titlesLayout = new QVBoxLayout(titles);
    titlesLayout->setContentsMargins(0, 0, 0, 0);
    titlesLayout->setSpacing(2);
    m_title = valueLabel(QStringLiteral("title"));
    m_title->setFont(textFont(TextStyle::title3, QFont::DemiBold));
    m_subtitle = valueLabel(QStringLiteral("subtitle"));
    m_subtitle->setFont(textFont(TextStyle::subheadline));
    setTint(m_subtitle, Tint::secondary);
    for (QLabel *label : {static_cast<QLabel *>(m_title), static_cast<QLabel *>(m_subtitle)}) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        titlesLayout->addWidget(label);
    }
    layout->addWidget(titles, 1, Qt::AlignVCenter);

    m_refreshButton = new QToolButton;
    m_refreshButton->setObjectName(QStringLiteral("refreshButton"));
    m_refreshButton->setAutoRaise(true);
    m_refreshButton->setFixedSize(refreshButtonSide, refreshButtonSide);
    m_refreshButton->setIconSize(QSize(16, 16));
    m_refreshButton->setToolTip(tr("Refresh"));
    m_refreshButton->setAccessibleName(tr("Refresh"));
    m_refreshSpinner = new Spinner(16, m_refreshButton);
    m_refreshSpinner->setObjectName(QStringLiteral("refreshSpinner"));
    m_refreshSpinner->move((refreshButtonSide - 16) / 2, (refreshButtonSide - 16) / 2);
    connect(m_refreshButton, &QToolButton::clicked, this, &PopoverView::refresh);
    layout->addWidget(m_refreshButton, 0, Qt::AlignVCenter);
    return header;
}

QWidget *PopoverView::makeNetworkCard()
{
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    m_geoNotice = notice(QStringLiteral("geoNotice"), 3, &m_geoNoticeText);
    layout->addWidget(m_geoNotice);

    auto *copyButton = new PlainButton;
    copyButton->setObjectName(QStringLiteral("copyButton"));
    copyButton->setToolTip(tr("Copy public IP"));
    m_copyButton = copyButton;
    auto *copyLayout = bareRow(copyButton, 4);
    m_publicIP = new QLabel;
    m_publicIP->setObjectName(QStringLiteral("publicIP"));
    m_publicIP->setTextFormat(Qt::PlainText);
    m_publicIP->setFont(monospacedFont());
    m_copySymbol = new SymbolImage;
    m_copySymbol->setObjectName(QStringLiteral("copySymbol"));
    m_copySymbol->setFont(textFont(TextStyle::caption2));
    // Drawn at the caption's size it is too small to make out, and it is a button's label.
    m_copySymbol->setMinimumSide(12);
    setTint(m_copySymbol, Tint::secondary);
    copyLayout->addWidget(m_publicIP, 0, Qt::AlignVCenter);
    copyLayout->addWidget(m_copySymbol, 0, Qt::AlignVCenter);
    connect(copyButton, &QAbstractButton::clicked, &m_model, &AppModel::copyPublicIP);
    auto *publicRow = new Row(tr("Public IP"), copyButton);
    publicRow->setBaselineLabel(m_publicIP);
    layout->addWidget(publicRow);

    m_localIP = valueLabel(QStringLiteral("localIP"), true);
    layout->addWidget(new Row(tr("Local IP"), m_localIP));
    m_isp = valueLabel(QStringLiteral("isp"));
    layout->addWidget(new Row(tr("ISP"), m_isp));

    auto *connection = new QWidget;
    auto *connectionLayout = bareRow(connection, 6);
    m_vpnBadge = new Badge(tr("VPN likely"));
    m_vpnBadge->setObjectName(QStringLiteral("vpnBadge"));
    m_connection = new QLabel;
    m_connection->setObjectName(QStringLiteral("connection"));
    m_connection->setTextFormat(Qt::PlainText);
    m_connection->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_connection->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connectionLayout->addWidget(m_vpnBadge, 0, Qt::AlignVCenter);
    connectionLayout->addWidget(m_connection, 0, Qt::AlignVCenter);
    auto *connectionRow = new Row(tr("Connection"), connection);
    connectionRow->setBaselineLabel(m_connection);
    layout->addWidget(connectionRow);
    WrappingLabel *dnsNoticeText = nullptr;
    m_dnsNotice = notice(QStringLiteral("dnsNotice"), 1, &dnsNoticeText);
    dnsNoticeText->setFullText(Shown::dnsOutsideVpn());
    layout->addWidget(m_dnsNotice);

    m_dns = valueLabel(QStringLiteral("dns"), true);
    layout->addWidget(new Row(tr("DNS"), m_dns));
    m_timezone = valueLabel(QStringLiteral("timezone"));
    layout->addWidget(new Row(tr("Timezone"), m_timezone));

    auto *card = new Card(tr("Network"), QStringLiteral("network"), content);
    card->setObjectName(QStringLiteral("networkCard"));
    return card;
}

QWidget *PopoverView::makeTrafficCard()
{
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_trafficGraph = new TrafficGraph(m_model.trafficHistory(), m_prefs);
    m_trafficGraph->setObjectName(QStringLiteral("trafficGraph"));
    layout->addWidget(m_trafficGraph);
    m_trafficCaption = new QLabel;
    m_trafficCaption->setObjectName(QStringLiteral("trafficCaption"));
    m_trafficCaption->setTextFormat(Qt::PlainText);
    m_trafficCaption->setFont(textFont(TextStyle::caption));
    setTint(m_trafficCaption, Tint::secondary);
    layout->addWidget(m_trafficCaption);

    auto *card = new Card(tr("Traffic"), QStringLiteral("chart.xyaxis.line"), content);
    card->setObjectName(QStringLiteral("trafficCard"));
    return card;
}

QWidget *PopoverView::makeSpeedCard()
{
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    m_latency = valueLabel(QStringLiteral("latency"));
    layout->addWidget(new Row(tr("Latency"), m_latency));
    m_download = valueLabel(QStringLiteral("download"));
    layout->addWidget(new Row(tr("Download"), m_download));
    m_upload = valueLabel(QStringLiteral("upload"));
    layout->addWidget(new Row(tr("Upload"), m_upload));

    m_speedNotice = notice(QStringLiteral("speedNotice"), 0, &m_speedNoticeText);
    layout->addWidget(m_speedNotice);

    auto *status = new QWidget;
    auto *statusLayout = new QHBoxLayout(status);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    m_speedSpinner = new Spinner(14);
    m_speedSpinner->setObjectName(QStringLiteral("speedSpinner"));
    setTint(m_speedSpinner, Tint::secondary);
    m_speedStatus = new QLabel;
    m_speedStatus->setObjectName(QStringLiteral("speedStatus"));
    m_speedStatus->setTextFormat(Qt::PlainText);
    m_speedStatus->setFont(textFont(TextStyle::caption));
    setTint(m_speedStatus, Tint::secondary);
    m_runTestButton = new QPushButton(tr("Run test"));
    m_runTestButton->setObjectName(QStringLiteral("runTestButton"));
    m_runTestButton->setFont(textFont(TextStyle::smallControl));
    m_runTestButton->setAutoDefault(false);
    connect(m_runTestButton, &QPushButton::clicked, this, &PopoverView::runSpeedTest);
    statusLayout->addWidget(m_speedSpinner, 0, Qt::AlignVCenter);
    statusLayout->addWidget(m_speedStatus, 0, Qt::AlignVCenter);
    statusLayout->addStretch(1);
    statusLayout->addWidget(m_runTestButton, 0, Qt::AlignVCenter);
    layout->addWidget(status);

    auto *card = new Card(tr("Speed"), QStringLiteral("speedometer"), content);
    card->setObjectName(QStringLiteral("speedCard"));
    return card;
}

QWidget *PopoverView::makeFooter()
{
    auto *footer = new QWidget;
    footer->setFont(textFont(TextStyle::callout));
    auto *layout = new QHBoxLayout(footer);
    layout->setContentsMargins(0, 0, 0, 0);

    // The gear and the text side by side with a gap, as a label with its symbol reads; a
    // tool button's icon would sit against the text.
    auto *settings = new PlainButton;
    settings->setObjectName(QStringLiteral("settingsButton"));
    settings->setText(tr("Settings…"));
    auto *settingsLayout = bareRow(settings, 5);
    settingsLayout->setContentsMargins(2, 2, 2, 2);
    auto *gear = new SymbolImage(QStringLiteral("gearshape"));
    gear->setObjectName(QStringLiteral("gear"));
    auto *settingsText = new QLabel(settings->text());
    settingsText->setTextFormat(Qt::PlainText);
    settingsLayout->addWidget(gear, 0, Qt::AlignVCenter);
    settingsLayout->addWidget(settingsText, 0, Qt::AlignVCenter);
    connect(settings, &QAbstractButton::clicked, this, [this] {
        if (m_openSettings)
            m_openSettings();
    });

    auto *quit = new QPushButton(tr("Quit"));
    quit->setObjectName(QStringLiteral("quitButton"));
    quit->setFont(textFont(TextStyle::smallControl));
    quit->setAutoDefault(false);
    // At once, no confirmation; the application's own shutdown does the rest.
    connect(quit, &QPushButton::clicked, this, [] { QCoreApplication::quit(); });

    layout->addWidget(settings, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(quit, 0, Qt::AlignVCenter);
    return footer;
}

void PopoverView::updateGeo()
{
    namespace T = Shown;
    const std::optional<GeoInfo> geo = m_model.currentGeo();
    m_flag->setText(T::flag(m_model.isOnline(), m_model.geoState(), m_model.lastGeo()));
    m_title->setFullText(T::title(geo, m_model.isOnline()));
    m_subtitle->setFullText(T::subtitle(geo));

    const bool failed = m_model.geoState().kind() == GeoState::Kind::failed;
    m_geoNoticeText->setFullText(failed ? m_model.geoState().message() : QString());
    m_geoNotice->setVisible(failed);

    const QString publicIP = T::publicIP(geo, m_model.ipCopied());
    m_publicIP->setText(publicIP);
    // Not drawn: it names the button for assistive technology, as its label would.
    m_copyButton->setText(publicIP);
    m_copySymbol->setSymbol(m_model.ipCopied() ? QStringLiteral("checkmark")
                                               : QStringLiteral("doc.on.doc"));
    m_isp->setFullText(T::isp(geo));
    m_timezone->setFullText(T::timezone(geo));
}

void PopoverView::updateRefreshing()
{
    const bool refreshing = m_model.isRefreshing();
    m_refreshButton->setEnabled(!refreshing);
    m_refreshButton->setIcon(refreshing ? QIcon() : symbolIcon(QStringLiteral("arrow.clockwise")));
    m_refreshSpinner->setVisible(refreshing);
}

void PopoverView::updateLocalIP()
{
    m_localIP->setFullText(Shown::localIP(m_model.localIP()));
}

void PopoverView::updateConnection()
{
    m_vpnBadge->setVisible(m_model.vpnLikely());
    m_connection->setText(Shown::orPlaceholder(Shown::connectionTitle(m_model.connectionKind())));
}

void PopoverView::updateDns()
{
    m_dns->setFullText(Shown::dns(m_model.dnsServers()));
    const QList<DnsRoute> &outside = m_model.dnsOutsideVpn();
    m_dnsNotice->setVisible(!outside.isEmpty());
    m_dns->setAccessibleDescription(Shown::dnsRoutes(outside));
}

void PopoverView::updateSpeed()
{
    namespace T = Shown;
    const std::optional<SpeedResult> &result = m_model.speedResult();
    m_latency->setFullText(T::latency(result));
    m_download->setFullText(T::download(result, m_prefs));
    m_upload->setFullText(T::upload(result, m_prefs));

    const std::optional<QString> error = T::speedFailure(m_model.failedSpeedSteps());
    m_speedNoticeText->setFullText(error.value_or(QString()));
    m_speedNotice->setVisible(error.has_value());

    const SpeedPhase phase = m_model.speedPhase();
    const QString status = T::speedStatus(phase, result);
    m_speedSpinner->setVisible(phase != SpeedPhase::idle);
    m_speedStatus->setText(status);
    m_speedStatus->setVisible(!status.isEmpty());
    m_runTestButton->setEnabled(phase == SpeedPhase::idle && m_model.isOnline());
}

void PopoverView::updateTraffic()
{
    // Every second under traffic: a closed popover catches up as it is shown again.
    if (isVisible())
        showTraffic();
}

void PopoverView::showTraffic()
{
    const TrafficHistory &history = m_model.trafficHistory();
    // Without live speeds, sampling starts as the popover opens: a few seconds say nothing.
    constexpr qsizetype enoughSamples = 10;
    const TrafficHistory::Sample peak = history.peak();
    const QString caption =
        !m_prefs.showLiveSpeed() && history.size() < enoughSamples
            ? Shown::trafficShownWhileOpen()
            : Shown::trafficPeak(peak.download, peak.upload, m_prefs.speedUnit());
    m_trafficCaption->setText(caption);
    m_trafficGraph->setAccessibleDescription(caption);
    m_trafficGraph->update();
}

bool PopoverView::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Show)
        showTraffic();
    // A layout request reaches the view once the layouts below it have taken in a change,
    // so sizeHint() is current here (it is not yet while a model signal is handled).
    // Not adjustSize(): that keeps a window within two thirds of the screen's height.
    if (event->type() == QEvent::LayoutRequest && isWindow())
        resize(sizeHint());
    return handled;
}

void PopoverView::refresh()
{
    // Fire and forget: the task runs on to its end even if the popover closes.
    m_model.refresh();
}

void PopoverView::runSpeedTest()
{
    // Fire and forget, like refresh().
    m_model.runSpeedTest();
}

} // namespace velmora
