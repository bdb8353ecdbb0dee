#include "statusfeed.h"

#include "appmodel.h"
#include "preferences.h"
#include "shownvalues.h"
#include "statusservice.h"

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

StatusRecord statusOf(const AppModel &model, const Preferences &prefs)
{
    const GeoState &state = model.geoState();
    const std::optional<GeoInfo> info = model.currentGeo();
    StatusRecord record{
        .downloadRate = model.downloadRate(),
        .uploadRate = model.uploadRate(),
        .online = model.isOnline(),
        .connectionType = Shown::connectionName(model.connectionKind()),
        .localIP = model.localIP().value_or(QString()),
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

std::unique_ptr<StatusService> giveOutStatus(QObject *busObject, const QString &objectPath,
                                             AppModel &model, const Preferences &prefs)
{
    auto service = std::make_unique<StatusService>(
        busObject, objectPath, [&model, &prefs] { return statusOf(model, prefs); });
    StatusService *status = service.get();
    const auto changed = [status] { status->changed(); };
    for (auto signal :
         {&AppModel::geoStateChanged, &AppModel::lastGeoChanged, &AppModel::connectionKindChanged,
          &AppModel::localIPChanged, &AppModel::vpnLikelyChanged, &AppModel::isOnlineChanged})
        QObject::connect(&model, signal, status, changed);
    QObject::connect(&prefs, &Preferences::speedUnitChanged, status, changed);
    // Every second under traffic: nothing more than a call while nobody follows them.
    for (auto signal : {&AppModel::downloadRateChanged, &AppModel::uploadRateChanged})
        QObject::connect(&model, signal, status, &StatusService::ratesChanged);
    QObject::connect(status, &StatusService::refreshRequested, &model,
                     [&model] { model.refresh(); });
    return service;
}

} // namespace velmora
