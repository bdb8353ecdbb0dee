#pragma once

#include <QByteArray>
#include <QString>

#include <expected>
#include <optional>

namespace velmora {

// A persistent store of bytes under keys: the widget's cache.
class ByteStore
{
public:
    virtual ~ByteStore() = default;
    // None when nothing is stored under key or it cannot be read.
    virtual std::optional<QByteArray> data(const QString &key) const = 0;
    // Replaces the value as a whole or not at all; the error says why it could not be.
    virtual std::expected<void, QString> set(const QString &key, const QByteArray &bytes) = 0;
};

// One file per key in a directory of its own, each replaced atomically; the directory and its
// files are for the user alone.
class DirectoryStore final : public ByteStore
{
public:
    explicit DirectoryStore(QString directory);

    std::optional<QByteArray> data(const QString &key) const override;
    std::expected<void, QString> set(const QString &key, const QByteArray &bytes) override;

    // velmora-widget in xdgStateHome().
    static QString widgetStateDirectory();

private:
    QString m_directory;
};

} // namespace velmora
