#include "statustooltip.h"

#include <QStringList>

namespace velmora {

QString statusToolTip(const std::optional<GeoInfo> &record)
{
    QStringList parts;
    if (record) {
        // A record without a country would otherwise read " · 203.0.113.42".
        for (const QString &part : {record->country, record->ip}) {
            if (!part.isEmpty())
                parts.append(part);
        }
    }
    if (parts.isEmpty())
        return QStringLiteral("Velmora");
    return parts.join(QStringLiteral(" \u00B7 "));
}

} // namespace velmora
