#include "traypresenter.h"

#include "appmodel.h"
#include "desktopcolorscheme.h"
#include "flag.h"
#include "panelcolors.h"
#include "preferences.h"
#include "shownvalues.h"
#include "squarerates.h"
#include "trayitem.h"

namespace velmora {

namespace {

// The signs the item shows while it has no place to show: offline, and looking it up.
bool isStateSign(const QString &title)
{
    return title == Flag::offline() || title == Flag::loading();
}

} // namespace

TrayPresenter::TrayPresenter(AppModel &model, Preferences &prefs, TrayItem &tray,
                             DesktopColorScheme &colorScheme, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_prefs(prefs)
    , m_tray(tray)
    , m_colorScheme(colorScheme)
{
    observe();
    redraw();
}

void TrayPresenter::observe()
{
    // Everything the tray picture or its tool tip shows.
    const auto changed = [this] { scheduleRedraw(); };
    for (auto setting :
         {&Preferences::showLiveSpeedChanged, &Preferences::bandwidthDataChanged,
          &Preferences::uploadOnTopChanged, &Preferences::customColorsChanged,
          &Preferences::buttonStyleChanged, &Preferences::speedUnitChanged,
          &Preferences::downloadColorHexChanged, &Preferences::uploadColorHexChanged})
        connect(&m_prefs, setting, this, changed);
    for (auto state :
         {&AppModel::geoStateChanged, &AppModel::lastGeoChanged, &AppModel::isOnlineChanged})
        connect(&m_model, state, this, changed);
    // Rates are news only while they are drawn.
    for (auto rate : {&AppModel::downloadRateChanged, &AppModel::uploadRateChanged}) {
        connect(&m_model, rate, this, [this] {
            if (m_ratesShown)
                scheduleRedraw();
        });
    }
    connect(&m_colorScheme, &DesktopColorScheme::changed, this, changed);
    connect(&m_tray, &TrayItem::renderingChanged, this, changed);
    connect(&m_tray, &TrayItem::panelBackgroundChanged, this, changed);
    connect(&m_tray, &TrayItem::slotSizeChanged, this, changed);
}

void TrayPresenter::scheduleRedraw()
{
    if (m_redrawPending)
        return;
    m_redrawPending = true;
    // Queued, so the redraw sees the value after the change has been stored, and the other
    // changes of this pass with it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_redrawPending = false;
            redraw();
        },
        Qt::QueuedConnection);
}

void TrayPresenter::redraw()
{
    const bool live = m_prefs.showLiveSpeed();
    const TrayRendering rendering = m_tray.rendering();
    const SpeedImageSettings settings = SpeedImageSettings::from(m_prefs);
    const double download = m_model.downloadRate();
    const double upload = m_model.uploadRate();
    m_ratesShown = live;
    // A tray that shows what is behind the item beats any guess about the panel.
    const QColor behind = m_tray.panelBackground();

    Picture picture{.rendering = rendering,
                    .title = Shown::flag(m_model.isOnline(), m_model.geoState(), m_model.lastGeo()),
                    .rows = {},
                    .columnWidth = 0,
                    .customColors = live && settings.customColors,
                    .textColor = behind.isValid() ? textColorFor(shadeOf(behind))
                                                  : m_colorScheme.panelTextColor(),
                    .onBadge = !behind.isValid() && !m_colorScheme.knowsPanel(),
                    .slot = m_tray.slotSize()};
    std::optional<SpeedImageLayout> speed;
    QString label;
    QString guide;
    if (live) {
        switch (rendering) {
        case TrayRendering::Wide:
            speed = layoutSpeedImage(download, upload, settings);
            picture.rows = speed->rows;
            picture.columnWidth = speed->columnWidth;
            break;
        case TrayRendering::Square:
            // Without a record the square shows the state's sign, as the wide picture does
            // beside its rates: there is no room for both.
            if (!isStateSign(picture.title))
                picture.rows = {speedEntries(download, upload, settings, &compactRate)};
            break;
        case TrayRendering::Label: {
            const QList<RateEntry> entries = speedEntries(download, upload, settings);
            label = speedLabel(entries);
            guide = speedLabelGuide(entries, settings.speedUnit);
            picture.customColors = false; // the host colours the label
            break;
        }
        }
    }
    // Rates that change by a few bytes often format the same: drawing and sending the same
    // picture again would be the whole cost of an idle second.
    if (picture != m_picture) {
        m_tray.setIcon(render(picture, speed));
        m_picture = std::move(picture);
    }
    m_tray.setLabel(label, guide);
    m_tray.setToolTip(Shown::toolTip(m_model.currentGeo()));
    ++m_redrawCount;
}

QList<QImage> TrayPresenter::render(const Picture &picture,
                                    const std::optional<SpeedImageLayout> &speed)
{
    switch (picture.rendering) {
    case TrayRendering::Wide:
        break;
    case TrayRendering::Label:
        return m_renderer.renderSquareTitle(picture.title);
    case TrayRendering::Square:
        // The flag stays in the popover and the tool tip: the square is the rates' alone.
        if (picture.rows.isEmpty())
            return m_renderer.renderSquareTitle(picture.title);
        return m_renderer.renderSquareRates(picture.rows.first(),
                                            {.customColors = picture.customColors,
                                             .panelTextColor = picture.textColor,
                                             .onBadge = picture.onBadge},
                                            picture.slot);
    }
    return m_renderer.render(picture.title, speed, picture.textColor);
}

} // namespace velmora
