#include "platform/smallfile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace velmora {

std::optional<QByteArray> readSmallFile(const QString &path, qint64 maxBytes)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Grown as it is read, not sized to the limit up front: a buffer of a megabyte for each
    // file of a few lines is what reading them cost most.
    QByteArray content;
    for (qint64 chunk = 4096;; chunk *= 2) {
        const qint64 wanted = std::min(chunk, maxBytes + 1 - qint64(content.size()));
        const QByteArray more = file.read(wanted);
        content += more;
        if (more.size() < wanted || content.size() > maxBytes)
            break;
    }
    if (content.size() > maxBytes)
        return std::nullopt;
    return content;
}

} // namespace velmora
