#pragma once

#include "geoinfo.h"

#include <optional>

namespace velmora {

// The public-IP lookup as the popover shows it: running with nothing earlier to show, done
// with a record, or failed with the message to show. Deliberately without equality: every
// assignment of a state is news to its observers.
class GeoState
{
public:
    enum class Kind { loading, loaded, failed };

    static GeoState loading() { return GeoState(Kind::loading, std::nullopt, {}); }
    static GeoState loaded(const GeoInfo &info) { return GeoState(Kind::loaded, info, {}); }
    static GeoState failed(const QString &message)
    {
        return GeoState(Kind::failed, std::nullopt, message);
    }

    Kind kind() const { return m_kind; }
    // The record of a loaded state; absent otherwise.
    const std::optional<GeoInfo> &info() const { return m_info; }
    // The message of a failed state; empty otherwise.
    const QString &message() const { return m_message; }

private:
    GeoState(Kind kind, std::optional<GeoInfo> info, QString message)
        : m_kind(kind)
        , m_info(std::move(info))
        , m_message(std::move(message))
    {}

    Kind m_kind;
    std::optional<GeoInfo> m_info;
    QString m_message;
};

// The record to show: the loaded one, or while loading or after a failure the last good one,
// if any. So a failed refresh leaves the previous record on screen.
inline std::optional<GeoInfo> currentGeo(const GeoState &state,
                                         const std::optional<GeoInfo> &lastGeo)
{
    return state.kind() == GeoState::Kind::loaded ? state.info() : lastGeo;
}

} // namespace velmora
