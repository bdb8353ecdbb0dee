#include "settingsfollowers.h"

#include "appmodel.h"
#include "fusionappearance.h"
#include "preferences.h"
#include "statusbarcontroller.h"

namespace velmora {

void followTheme(Preferences &prefs, FusionAppearance &appearance)
{
    appearance.apply(prefs.theme());
    QObject::connect(&prefs, &Preferences::themeChanged, &prefs,
                     [&prefs, &appearance] { appearance.apply(prefs.theme()); });
}

void followLiveSpeed(Preferences &prefs, AppModel &model, StatusBarController &controller)
{
    const auto apply = [&prefs, &model, &controller] {
        model.setTrafficMonitoring(prefs.showLiveSpeed() || controller.isPopoverShown());
    };
    apply();
    QObject::connect(&prefs, &Preferences::showLiveSpeedChanged, &model, apply);
    QObject::connect(&controller, &StatusBarController::popoverShownChanged, &model, apply);
}

} // namespace velmora
