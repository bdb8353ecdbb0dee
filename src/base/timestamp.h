#pragma once

#include <QDateTime>

#include <compare>

namespace velmora {

// An absolute point in time held as seconds since 2001-01-01T00:00:00Z, the reference
// instant of the stored record form. Kept as a double so a stored value reads back exactly.
class Timestamp
{
public:
    constexpr Timestamp() = default;
    static constexpr Timestamp fromSecondsSinceReference(double seconds)
    {
        return Timestamp(seconds);
    }
    static Timestamp now();
    static Timestamp fromDateTime(const QDateTime &dateTime);

    constexpr double secondsSinceReference() const { return m_seconds; }
    QDateTime toDateTime() const;

    friend constexpr bool operator==(Timestamp, Timestamp) = default;
    friend constexpr auto operator<=>(Timestamp, Timestamp) = default;

private:
    constexpr explicit Timestamp(double seconds)
        : m_seconds(seconds)
    {}
    double m_seconds = 0;
};

} // namespace velmora
