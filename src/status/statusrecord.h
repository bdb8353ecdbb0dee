#pragma once

#include <QJsonObject>
#include <QString>
#include <QVariantMap>

namespace velmora {

// What the tray program gives out of its state to panels, bars and scripts: a plain value,
// carried over the session bus as properties under these names.
struct StatusRecord
{
    double downloadRate = 0; // bytes per second
    double uploadRate = 0;
    bool online = false;
    QString connectionType{}; // as the popover says it: "Wi-Fi", "Ethernet", …
    QString localIP{};
    QString publicIP{};
    QString countryCode{};
    QString country{};
    QString city{};
    QString isp{};
    QString timeZone{};
    bool vpnLikely = false;
    QString geoState{};                         // "loading", "loaded", "failed"
    QString geoError{};                         // empty unless failed
    QString speedUnit = QStringLiteral("bits"); // the tray's unit: "bits" or "bytes"

    // The property names and values, as the bus carries them.
    QVariantMap toProperties() const;
    // The record read from properties; a missing or mistyped one keeps its default, so an
    // instance of another version is read as far as it agrees.
    static StatusRecord fromProperties(const QVariantMap &properties);
    // The same names as JSON members, for scripts.
    QJsonObject toJson() const;

    friend bool operator==(const StatusRecord &, const StatusRecord &) = default;
};

} // namespace velmora
