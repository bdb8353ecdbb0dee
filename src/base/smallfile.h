#pragma once

#include <QByteArray>
#include <QString>

#include <expected>

namespace velmora {

// Why a file was not read. A missing one is told apart: to most callers it is no fault.
struct UnreadFile
{
    bool missing = false;
    QString reason{};
};

// The content of a regular file of at most maxBytes. Anything else at path (a FIFO, a device,
// a folder) is refused unread: reading it could block or never end.
std::expected<QByteArray, UnreadFile> readSmallFile(const QString &path,
                                                    qint64 maxBytes = 1024 * 1024);

} // namespace velmora
