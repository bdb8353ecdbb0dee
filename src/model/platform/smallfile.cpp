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
    // In small pieces: reading up to the bound at once would set aside the whole bound (2 MB
    // for the resolver's file) at every refresh for a file of a few hundred bytes.
    QByteArray content;
    char piece[4096];
    for (;;) {
        const qint64 got = file.read(piece, sizeof piece);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return content;
        content.append(piece, got);
        if (content.size() > maxBytes)
            return std::nullopt;
    }
}

} // namespace velmora
