#include "bytestore.h"

#include "smallfile.h"
#include "wholefile.h"
#include "xdgpaths.h"

#include <QDir>

namespace velmora {

DirectoryStore::DirectoryStore(QString directory)
    : m_directory(std::move(directory))
{}

std::optional<QByteArray> DirectoryStore::data(const QString &key) const
{
    std::expected<QByteArray, UnreadFile> bytes = readSmallFile(QDir(m_directory).filePath(key));
    if (!bytes)
        return std::nullopt;
    return *std::move(bytes);
}

std::expected<void, QString> DirectoryStore::set(const QString &key, const QByteArray &bytes)
{
    // What it keeps (the address, city and provider last seen) is for the user alone.
    if (auto folder = makePrivateFolder(m_directory); !folder)
        return folder;
    return saveWholeFile(QDir(m_directory).filePath(key), bytes);
}

QString DirectoryStore::widgetStateDirectory()
{
    return xdgStateHome() + QStringLiteral("/velmora-widget");
}

} // namespace velmora
