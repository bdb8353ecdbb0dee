#include "fuzzing.h"

#include "platform/dnsconfig_linux.h"

using namespace velmora;

// Every server read from a resolver file reads back the same when listed on its own.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList servers = ResolvConfDnsConfig::parseNameservers(fuzzing::bytes(data, size));
    QByteArray listed;
    for (const QString &server : servers)
        listed += "nameserver " + server.toLatin1() + '\n';
    fuzzing::require(ResolvConfDnsConfig::parseNameservers(listed) == servers);
    return 0;
}
