#include "timestamp.h"

#include <chrono>
#include <cmath>

namespace velmora {

namespace {
constexpr qint64 referenceMsecsSinceEpoch = 978307200000;
} // namespace

Timestamp Timestamp::now()
{
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<nanoseconds>(system_clock::now().time_since_epoch());
    const auto sinceReference = sinceEpoch - milliseconds(referenceMsecsSinceEpoch);
    return Timestamp(duration<double>(sinceReference).count());
}

Timestamp Timestamp::fromDateTime(const QDateTime &dateTime)
{
    return Timestamp(double(dateTime.toMSecsSinceEpoch() - referenceMsecsSinceEpoch) / 1000.0);
}

QDateTime Timestamp::toDateTime() const
{
    const double msecs = std::round(m_seconds * 1000.0);
    return QDateTime::fromMSecsSinceEpoch(referenceMsecsSinceEpoch + qint64(msecs), Qt::UTC);
}

} // namespace velmora
