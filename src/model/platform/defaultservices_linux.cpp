#include "defaultservices.h"

#include "platform/clipboard_linux.h"
#include "platform/dnsconfig_linux.h"
#include "platform/interfacetable_linux.h"
#include "platform/loginitem_linux.h"
#include "platform/pathmonitor_linux.h"
#include "platform/routelookup_linux.h"
#include "sleepwatcher_linux.h"
#include "speedtester.h"

namespace velmora {

AppModel::Services defaultServices()
{
    return AppModel::Services{
        .client = GeoClient(),
        .monitor = std::make_unique<NetlinkPathMonitor>(),
        .interfaces = std::make_unique<GetifaddrsInterfaceTable>(),
        .dns = std::make_unique<ResolvConfDnsConfig>(),
        .loginItem = std::make_unique<XdgAutostartLoginItem>(),
        .clipboard = std::make_unique<DesktopClipboard>(),
        .speedTester = std::make_shared<SpeedTester>(),
        .sleepWatcher = std::make_unique<LogindSleepWatcher>(),
        .routes = std::make_unique<NetlinkRouteLookup>(),
    };
}

} // namespace velmora
