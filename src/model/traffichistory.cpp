#include "traffichistory.h"

#include <algorithm>

namespace velmora {

namespace {

float rate(double bytesPerSecond)
{
    // Written as "not above zero" so that a rate that is not a number counts as 0 too.
    return bytesPerSecond > 0 ? float(std::min<double>(bytesPerSecond, 1e30)) : 0.0f;
}

} // namespace

void TrafficHistory::append(double download, double upload)
{
    const Sample sample{rate(download), rate(upload)};
    if (m_size < capacity) {
        m_samples[std::size_t((m_oldest + m_size) % capacity)] = sample;
        ++m_size;
        return;
    }
    m_samples[std::size_t(m_oldest)] = sample;
    m_oldest = (m_oldest + 1) % capacity;
}

TrafficHistory::Sample TrafficHistory::at(qsizetype index) const
{
    Q_ASSERT(index >= 0 && index < m_size);
    return m_samples[std::size_t((m_oldest + index) % capacity)];
}

TrafficHistory::Sample TrafficHistory::peak() const
{
    Sample highest;
    for (qsizetype i = 0; i < m_size; ++i) {
        const Sample sample = at(i);
        highest.download = std::max(highest.download, sample.download);
        highest.upload = std::max(highest.upload, sample.upload);
    }
    return highest;
}

} // namespace velmora
