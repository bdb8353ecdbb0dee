#include "bytestore.h"

#include "wholefile.h"

#include <QDir>
#include <QFile>

namespace velmora {

DirectoryStore::DirectoryStore(QString directory)
    : m_directory(std::move(directory))
{}

std::optional<QByteArray> DirectoryStore::data(const QString &key) const
{
    QFile file(QDir(m_directory).filePath(key));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool DirectoryStore::set(const QString &key, const QByteArray &bytes)
{
    if (!QDir().mkpath(m_directory))
        return false;
    return !saveWholeFile(QDir(m_directory).filePath(key), bytes);
}

QString DirectoryStore::widgetStateDirectory()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/velmora-widget");
}

} // namespace velmora
