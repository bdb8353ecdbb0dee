#pragma once

#include <QtGlobal>

#include <array>

namespace velmora {

// The traffic rates of the last five minutes, one sample a second, oldest first. Rates are
// kept as floats: a graph needs no more, and the whole history stays under 2.5 kB.
class TrafficHistory
{
public:
    static constexpr qsizetype capacity = 300;

    struct Sample
    {
        float download = 0; // bytes per second
        float upload = 0;

        friend bool operator==(const Sample &, const Sample &) = default;
    };

    // Adds the newest sample, dropping the oldest once full. Rates that are negative or not
    // a number count as 0.
    void append(double download, double upload);
    void clear() { m_size = 0; }

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // The i-th sample from the oldest.
    Sample at(qsizetype index) const;
    // The highest rates of the kept samples, each on its own.
    Sample peak() const;

private:
    std::array<Sample, capacity> m_samples{};
    qsizetype m_oldest = 0;
    qsizetype m_size = 0;
};

} // namespace velmora
