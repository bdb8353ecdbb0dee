#include "settingsstore.h"

#include "smallfile.h"
#include "wholefile.h"
#include "xdgpaths.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QtDebug>

namespace velmora {

namespace {

struct FileContents
{
    enum class State { missing, object, unusable, unreadable };

    State state{};
    QJsonObject object{};
    QString problem{};
};

FileContents readFile(const QString &path)
{
    using State = FileContents::State;
    // A FIFO, a device or a folder in its place is unreadable, and so never replaced.
    const std::expected<QByteArray, UnreadFile> bytes = readSmallFile(path);
    if (!bytes)
        return {.state = bytes.error().missing ? State::missing : State::unreadable,
                .problem = bytes.error().reason};

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return {.state = State::unusable, .problem = error.errorString()};
    if (!document.isObject())
        return {.state = State::unusable, .problem = QStringLiteral("not a JSON object")};
    return {.state = State::object, .object = document.object()};
}

} // namespace

SettingsStore::SettingsStore(QString filePath)
    : m_filePath(std::move(filePath))
{
    removeUnfinishedSaves(m_filePath);
    const FileContents contents = readFile(m_filePath);
    switch (contents.state) {
    case FileContents::State::missing:
        break;
    case FileContents::State::object:
        m_values = contents.object;
        break;
    case FileContents::State::unusable:
        qWarning().noquote() << QStringLiteral("Settings file %1 is unusable (%2); using defaults. "
                                               "It will be kept aside before the next save.")
                                    .arg(m_filePath, contents.problem);
        break;
    case FileContents::State::unreadable:
        qWarning().noquote() << QStringLiteral(
                                    "Settings file %1 cannot be read (%2); using defaults.")
                                    .arg(m_filePath, contents.problem);
        break;
    }
}

QString SettingsStore::standardFilePath()
{
    return xdgConfigHome() + QStringLiteral("/velmora/settings.json");
}

SettingsStore &SettingsStore::standard()
{
    static SettingsStore store(standardFilePath());
    return store;
}

std::optional<QString> SettingsStore::text(const QString &key) const
{
    const QJsonValue stored = value(key);
    if (!stored.isString())
        return std::nullopt;
    return stored.toString();
}

std::optional<bool> SettingsStore::boolean(const QString &key) const
{
    const QJsonValue stored = value(key);
    if (stored.isBool())
        return stored.toBool();
    if (stored.isDouble()) {
        const double number = stored.toDouble();
        if (number == 0 || number == 1)
            return number == 1;
    }
    return std::nullopt;
}

std::expected<void, QString> SettingsStore::setValue(const QString &key, const QJsonValue &value)
{
    const QJsonValue previous = m_values.value(key);
    m_values.insert(key, value);
    const std::expected<void, QString> written = write(key, value);
    m_lastError = written ? QString() : written.error();
    if (written)
        return written;
    if (previous.isUndefined())
        m_values.remove(key);
    else
        m_values.insert(key, previous);
    qWarning().noquote()
        << QStringLiteral("Could not save setting \"%1\": %2").arg(key, m_lastError);
    return written;
}

std::expected<void, QString> SettingsStore::write(const QString &key, const QJsonValue &value)
{
    if (const auto folder = makePrivateFolder(QFileInfo(m_filePath).absolutePath()); !folder) {
        return folder;
    }

    // Re-read so that keys written by anyone else since loading are kept.
    FileContents current = readFile(m_filePath);
    QJsonObject merged;
    switch (current.state) {
    case FileContents::State::missing:
        // Deleted while we ran: what we hold is all there is left of it.
        merged = m_values;
        break;
    case FileContents::State::object:
        merged = current.object;
        merged.insert(key, value);
        break;
    case FileContents::State::unreadable:
        // Replacing a file we cannot read would lose whatever it holds.
        return std::unexpected(
            QStringLiteral("cannot read %1 (%2)").arg(m_filePath, current.problem));
    case FileContents::State::unusable:
        if (const std::optional<QString> aside = keepAside(m_filePath)) {
            qWarning().noquote()
                << QStringLiteral("Unusable settings file %1 kept as %2").arg(m_filePath, *aside);
        } else {
            return std::unexpected(
                QStringLiteral("cannot move the unusable file %1 aside").arg(m_filePath));
        }
        merged = m_values;
        break;
    }

    if (const auto saved =
            saveWholeFile(m_filePath, QJsonDocument(merged).toJson(QJsonDocument::Indented));
        !saved) {
        return std::unexpected(
            QStringLiteral("cannot write %1 (%2)").arg(m_filePath, saved.error()));
    }
    return {};
}

} // namespace velmora
