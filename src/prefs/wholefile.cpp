#include "wholefile.h"

#include <QSaveFile>

namespace velmora {

std::optional<QString> saveWholeFile(const QString &path, const QByteArray &bytes)
{
    // Unbuffered: Qt 6.4's commit() misses a write that fails while it flushes its buffer (a
    // full disk) and puts the short file in place of the good one.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
        file.write(bytes) == bytes.size() && file.commit())
        return std::nullopt;
    return file.errorString();
}

} // namespace velmora
