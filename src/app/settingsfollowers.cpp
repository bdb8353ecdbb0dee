#include "settingsfollowers.h"

#include "appmodel.h"
#include "fusionappearance.h"
#include "preferences.h"

namespace velmora {

void followTheme(Preferences &prefs, FusionAppearance &appearance)
{
    appearance.apply(prefs.theme());
    QObject::connect(&prefs, &Preferences::themeChanged, &prefs,
                     [&prefs, &appearance] { appearance.apply(prefs.theme()); });
}

void followLiveSpeed(Preferences &prefs, AppModel &model)
{
    model.setTrafficMonitoring(prefs.showLiveSpeed());
    QObject::connect(&prefs, &Preferences::showLiveSpeedChanged, &model,
                     [&prefs, &model] { model.setTrafficMonitoring(prefs.showLiveSpeed()); });
}

} // namespace velmora
