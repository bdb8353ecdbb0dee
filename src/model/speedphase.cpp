#include "speedphase.h"

#include <array>

namespace velmora {

namespace {
const std::array<QString, 4> rawValues = {
    QString(),
    QStringLiteral(u"Measuring latency\u2026"),
    QStringLiteral(u"Testing download\u2026"),
    QStringLiteral(u"Testing upload\u2026"),
};
} // namespace

QString rawValue(SpeedPhase phase)
{
    return rawValues.at(std::size_t(phase));
}

} // namespace velmora
