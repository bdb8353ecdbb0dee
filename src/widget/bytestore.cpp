#include "bytestore.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

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
    // Written beside and renamed over, so a reader never sees half a record. Unbuffered, as
    // Qt 6.4's commit() misses a failed flush (a full disk) and would keep a short file.
    QSaveFile file(QDir(m_directory).filePath(key));
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
           file.write(bytes) == bytes.size() && file.commit();
}

QString DirectoryStore::widgetStateDirectory()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/velmora-widget");
}

} // namespace velmora
