#include "platform/smallfile.h"

#include <QFile>
#include <QFileInfo>

namespace velmora {

std::optional<QByteArray> readSmallFile(const QString &path, qint64 maxBytes)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray content = file.read(maxBytes + 1);
    if (content.size() > maxBytes)
        return std::nullopt;
    return content;
}

} // namespace velmora
