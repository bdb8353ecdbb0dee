#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora {

// Puts bytes in place of the file at path whole or not at all: written beside it and renamed
// over, so a reader never sees half of it and a failed write keeps the old file. Nothing when
// saved, else the system's reason.
std::optional<QString> saveWholeFile(const QString &path, const QByteArray &bytes);

} // namespace velmora
