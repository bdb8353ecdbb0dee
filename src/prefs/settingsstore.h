#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <expected>
#include <optional>

namespace velmora {

// The per-user settings: one JSON object in one file, so that Booleans, numbers and texts
// stay apart. The file is read once, at construction; each write re-reads it, sets one key
// and replaces the whole file atomically, so keys written by others survive. When the file
// has gone (or become unusable) since, the write stores every value held, not the one key.
//
// A file that is not a JSON object reads as empty and is moved aside (to
// "<file>.corrupt-<UTC time>") before the first write replaces it. One that cannot be read (a
// FIFO or a device in its place, or more than 1 MiB) gives the defaults and is never replaced.
// A write that fails leaves the value as it was before, sets lastError() and logs one
// warning, so what is held is always what is stored. Temporary files of saves a crash cut
// short are removed at construction.
class SettingsStore
{
public:
    explicit SettingsStore(QString filePath);
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // velmora/settings.json in xdgConfigHome().
    static QString standardFilePath();
    // The one store at standardFilePath(), made on first use.
    static SettingsStore &standard();

    QString filePath() const { return m_filePath; }

    // The value as loaded or as last set; undefined when absent.
    QJsonValue value(const QString &key) const { return m_values.value(key); }
    // Only a JSON text; anything else (numbers included) counts as absent.
    std::optional<QString> text(const QString &key) const;
    // A JSON Boolean, or a number that is exactly 0 or 1; anything else counts as absent.
    std::optional<bool> boolean(const QString &key) const;

    // Sets the value and writes the file; the error, with the earlier value kept, when the
    // file could not be written.
    std::expected<void, QString> setValue(const QString &key, const QJsonValue &value);

    // Why the last write failed; empty after a successful one.
    QString lastError() const { return m_lastError; }

private:
    std::expected<void, QString> write(const QString &key, const QJsonValue &value);

    QString m_filePath;
    QJsonObject m_values;
    QString m_lastError;
};

} // namespace velmora
