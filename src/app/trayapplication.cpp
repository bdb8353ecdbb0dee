#include "trayapplication.h"

#include "appmodel.h"
#include "defaultservices.h"
#include "fusionappearance.h"
#include "platform/clipboard.h"
#include "platform/dnsconfig.h"
#include "platform/loginitem.h"
#include "platform/pathmonitor.h"
#include "preferences.h"
#include "settingsfollowers.h"
#include "settingsstore.h"
#include "speedmeasurements.h"
#include "statusbarcontroller.h"
#include "statusfeed.h"
#include "statusservice.h"
#include "systemtrayitem.h"

using namespace Qt::StringLiterals;

namespace velmora {

TrayApplication::TrayApplication(QObject *parent)
    : QObject(parent)
{}

TrayApplication::~TrayApplication() = default;

void TrayApplication::finishLaunching()
{
    m_appearance = std::make_unique<FusionAppearance>();
    m_model = std::make_unique<AppModel>(defaultServices());
    m_prefs = std::make_unique<Preferences>(SettingsStore::standard());
    m_tray = std::make_unique<SystemTrayItem>(u"velmora"_s);
    m_controller = std::make_unique<StatusBarController>(*m_model, *m_prefs, *m_tray);
    followLiveSpeed(*m_prefs, *m_model, *m_controller);
    // After the controller has read the desktop's own palette for the panel's colours, and
    // before it opens any window, so that none is drawn in the wrong theme.
    followTheme(*m_prefs, *m_appearance);
    if (m_statusObject)
        m_status = velmora::giveOutStatus(m_statusObject, m_statusPath, *m_model, *m_prefs);
}

void TrayApplication::giveOutStatus(QObject *busObject, const QString &objectPath)
{
    m_statusObject = busObject;
    m_statusPath = objectPath;
}

void TrayApplication::openUrls(const QStringList &)
{
    reopen();
}

void TrayApplication::reopen()
{
    if (m_controller)
        m_controller->showPopover();
}

void TrayApplication::show(ApplicationRequest request)
{
    if (!m_controller)
        return;
    if (request == ApplicationRequest::settings)
        m_controller->showSettings();
    else
        m_controller->showPopover();
}

} // namespace velmora
