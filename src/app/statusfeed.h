#pragma once

#include <QString>

#include <memory>

class QObject;

namespace velmora {

class AppModel;
class Preferences;
class StatusService;

// The status of model and prefs given out on the bus at busObject's path and kept in step
// with them; a reader's request for a refresh goes to the model. model and prefs must outlive
// the service.
std::unique_ptr<StatusService> giveOutStatus(QObject *busObject, const QString &objectPath,
                                             AppModel &model, const Preferences &prefs);

} // namespace velmora
