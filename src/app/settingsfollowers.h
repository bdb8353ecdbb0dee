#pragma once

namespace velmora {

class AppModel;
class FusionAppearance;
class Preferences;
class StatusBarController;

// What settings change beyond the windows that show them, wired once where the objects are
// made. Each applies the current value at once and every change after; the wiring ends with
// the object that follows.

// The application's style and palette follow the theme; appearance must outlive prefs.
void followTheme(Preferences &prefs, FusionAppearance &appearance);
// The rates are sampled only while the item shows them or the popover is open.
void followLiveSpeed(Preferences &prefs, AppModel &model, StatusBarController &controller);

} // namespace velmora
