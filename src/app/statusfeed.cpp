#include "statusfeed.h"

#include "appmodel.h"
#include "preferences.h"
#include "statusservice.h"

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

StatusRecord statusOf(const AppModel &model, const Preferences &prefs)
{
    const GeoState &state = model.geoState();
    // The current record, else the last good one, as the tray's flag shows it.
    const std::optional<GeoInfo> &info = state.info() ? state.info() : model.lastGeo();
    StatusRecord record{
        .downloadRate = model.downloadRate(),
        .uploadRate = model.uploadRate(),
        .online = model.isOnline(),
        .connectionType = model.connectionType(),
        .localIP = model.localIP(),
        .vpnLikely = model.vpnLikely(),
        .geoState = state.kind() == GeoState::Kind::loaded   ? u"loaded"_s
                    : state.kind() == GeoState::Kind::failed ? u"failed"_s
                                                             : u"loading"_s,
        .geoError = state.message(),
        .speedUnit = Preferences::rawValue(prefs.speedUnit()),
    };
    if (info) {
        record.publicIP = info->ip;
        record.countryCode = info->countryCode;
        record.country = info->country;
        record.city = info->city;
        record.isp = info->isp;
        record.timeZone = info->timezone;
    }
    return record;
}

} // namespace

void feedStatus(StatusService &service, AppModel &model, const Preferences &prefs)
{
    const auto update = [&service, &model, &prefs] { service.publish(statusOf(model, prefs)); };
    for (auto changed :
         {&AppModel::geoStateChanged, &AppModel::lastGeoChanged, &AppModel::connectionTypeChanged,
          &AppModel::localIPChanged, &AppModel::vpnLikelyChanged, &AppModel::isOnlineChanged,
          &AppModel::downloadRateChanged, &AppModel::uploadRateChanged})
        QObject::connect(&model, changed, &service, update);
    QObject::connect(&prefs, &Preferences::speedUnitChanged, &service, update);
    QObject::connect(&service, &StatusService::refreshRequested, &model,
                     [&model] { model.refresh(); });
    update();
}

} // namespace velmora
