#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora {

// The content of a regular file of at most maxBytes; nothing for a missing, unreadable or
// larger file. Device files and FIFOs are refused: reading them could block or never end.
std::optional<QByteArray> readSmallFile(const QString &path, qint64 maxBytes);

} // namespace velmora
