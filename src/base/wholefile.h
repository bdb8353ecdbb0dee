#pragma once

#include <QByteArray>
#include <QString>

#include <expected>
#include <optional>

namespace velmora {

// Puts bytes in place of the file at path whole or not at all: written to a temporary file
// beside it ("<name>.velmora-save-XXXXXX", readable by the user alone), synced and renamed
// over, so a reader never sees half of it and a failed write keeps the old file. A symbolic
// link is followed; anything but a regular file at its end is left as it is. The error is the
// system's reason.
std::expected<void, QString> saveWholeFile(const QString &path, const QByteArray &bytes);

// Removes the temporary files saveWholeFile left beside path when a crash cut it short; each
// crash would otherwise leave one more for good. Only names it makes are matched.
void removeUnfinishedSaves(const QString &path);

// Makes the folder at path for the user alone (0700), its parents as usual; one already there
// is closed to others. Only this folder is changed, never a parent, which is not the program's
// own. The error says what failed.
std::expected<void, QString> makePrivateFolder(const QString &path);

// Moves a file the program cannot use out of the way, to "<path>.corrupt-<UTC time>", never
// replacing another file; the user may still want what was in it. The new name, or nothing
// when it could not be moved.
std::optional<QString> keepAside(const QString &path);

} // namespace velmora
