#include "geoerror.h"

namespace velmora {

QString GeoError::errorDescription() const
{
    if (m_kind == Kind::allProvidersFailed)
        return QStringLiteral("Lookup failed: ") + m_texts.join(QStringLiteral("; "));
    return m_texts.value(0);
}

} // namespace velmora
