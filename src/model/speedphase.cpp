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

std::optional<SpeedPhase> speedPhaseFromRawValue(QStringView raw)
{
    for (std::size_t i = 0; i < rawValues.size(); ++i) {
        if (rawValues[i] == raw)
            return SpeedPhase(i);
    }
    return std::nullopt;
}

} // namespace velmora
