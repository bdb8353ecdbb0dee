#pragma once

namespace velmora {

class AppModel;
class Preferences;
class StatusService;

// Keeps the status given out on the bus in step with the model and the unit setting, and
// passes a reader's request for a refresh on to the model. All three must outlive the feed's
// connections, which go with the service.
void feedStatus(StatusService &service, AppModel &model, const Preferences &prefs);

} // namespace velmora
