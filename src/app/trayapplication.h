#pragma once

#include "applicationrequest.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

namespace velmora {

class AppModel;
class FusionAppearance;
class Preferences;
class StatusBarController;
class StatusService;
class SystemTrayItem;

// The tray program's long-lived objects, made once the event loop runs, and the requests the
// desktop routes to them.
class TrayApplication : public QObject
{
    Q_OBJECT

public:
    explicit TrayApplication(QObject *parent = nullptr);
    ~TrayApplication() override;

    // Gives the status out on the bus at busObject's path once launching has finished; call
    // it before.
    void giveOutStatus(QObject *busObject, const QString &objectPath);
    // Makes the model, the settings, the tray item and the controller, in that order.
    void finishLaunching();
    // A velmora: link, whatever it says, or a second start: shows the popover. Ignored before
    // launching has finished.
    void openUrls(const QStringList &urls);
    void reopen();
    // A request from the desktop: the popover or the settings window.
    void show(velmora::ApplicationRequest request);

private:
    std::unique_ptr<FusionAppearance> m_appearance;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<SystemTrayItem> m_tray;
    std::unique_ptr<StatusBarController> m_controller;
    std::unique_ptr<StatusService> m_status;
    QPointer<QObject> m_statusObject;
    QString m_statusPath;
};

} // namespace velmora
