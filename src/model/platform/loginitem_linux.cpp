#include "platform/loginitem_linux.h"

#include "smallfile.h"
#include "wholefile.h"
#include "xdgpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr qint64 maxEntryBytes = 1024 * 1024;

// The parts of an autostart entry that decide its status.
struct AutostartEntry
{
    QString exec;
    bool hidden = false;
    bool autostartDisabled = false;
};

// Undoes the escapes of a desktop entry's string values.
QString unescapeValue(QStringView value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        switch (value[++i].unicode()) {
        case 's':
            result += u' ';
            break;
        case 'n':
            result += u'\n';
            break;
        case 't':
            result += u'\t';
            break;
        case 'r':
            result += u'\r';
            break;
        default:
            result += value[i];
        }
    }
    return result;
}

QString escapeValue(const QString &value)
{
    QString result;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            result += "\\\\"_L1;
            break;
        case '\n':
            result += "\\n"_L1;
            break;
        case '\t':
            result += "\\t"_L1;
            break;
        case '\r':
            result += "\\r"_L1;
            break;
        default:
            result += c;
        }
    }
    return result;
}

bool isTrue(QStringView value)
{
    return value == u"true" || value == u"1";
}

bool isFalse(QStringView value)
{
    return value == u"false" || value == u"0";
}

std::optional<AutostartEntry> readEntry(const QString &path)
{
    const std::expected<QByteArray, UnreadFile> bytes = readSmallFile(path, maxEntryBytes);
    if (!bytes)
        return std::nullopt;

    AutostartEntry entry;
    bool inMainGroup = false;
    for (QStringView line : QStringTokenizer(QString::fromUtf8(*bytes), u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || equals < 0)
            continue;
        const QStringView key = line.first(equals).trimmed();
        const QStringView value = line.sliced(equals + 1).trimmed();
        if (key == u"Exec")
            entry.exec = unescapeValue(value);
        else if (key == u"Hidden")
            entry.hidden = isTrue(value);
        else if (key == u"X-GNOME-Autostart-enabled")
            entry.autostartDisabled = isFalse(value);
    }
    return entry;
}

bool runsProgram(const AutostartEntry &entry, const QString &program)
{
    QString runs = XdgAutostartLoginItem::programOfExec(entry.exec);
    if (runs.isEmpty())
        return false;
    if (!QDir::isAbsolutePath(runs))
        runs = QStandardPaths::findExecutable(runs);
    if (runs.isEmpty())
        return false;
    const QString canonical = QFileInfo(runs).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(runs) == QDir::cleanPath(program)
                               : canonical == QFileInfo(program).canonicalFilePath();
}

// GLib looks for the program before it expands "%%" to "%", so it finds none there and the
// desktops built on it skip the entry; no escaping helps.
bool startableAtLogin(const QString &program)
{
    return !program.contains(u'%');
}

QString programNotFoundText()
{
    return QCoreApplication::translate(
        "Settings", "Cannot find this program's own file, so it cannot be started at login.");
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(Options{})
{}

XdgAutostartLoginItem::XdgAutostartLoginItem(Options options)
    : m_options(std::move(options))
{}

QString XdgAutostartLoginItem::entryPath() const
{
    const QString configHome = m_options.configHome.value_or(xdgConfigHome());
    return configHome + "/autostart/"_L1 + m_options.appId + ".desktop"_L1;
}

QString XdgAutostartLoginItem::ownProgram() const
{
    const QString path = m_options.programPath.value_or(QCoreApplication::applicationFilePath());
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isAbsolute() || !info.isFile() || !info.isExecutable())
        return {};
    return info.absoluteFilePath();
}

LoginItem::Status XdgAutostartLoginItem::status() const
{
    const QString program = ownProgram();
    if (program.isEmpty())
        return Status::notFound;
    if (!startableAtLogin(program))
        return Status::notRegistered;
    const std::optional<AutostartEntry> entry = readEntry(entryPath());
    if (!entry || !runsProgram(*entry, program))
        return Status::notRegistered;
    if (entry->hidden || entry->autostartDisabled)
        return Status::requiresApproval;
    return Status::enabled;
}

std::expected<void, QString> XdgAutostartLoginItem::registerItem()
{
    const QString program = ownProgram();
    if (program.isEmpty())
        return std::unexpected(programNotFoundText());
    if (!startableAtLogin(program))
        return std::unexpected(QCoreApplication::translate("Settings",
                                                           "Cannot start at login from %1: some "
                                                           "desktops cannot start a program whose "
                                                           "path contains “%”.")
                                   .arg(QDir::toNativeSeparators(program)));
    const QString path = entryPath();
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory))
        return std::unexpected(
            QCoreApplication::translate("Settings", "Could not create the folder %1.")
                .arg(QDir::toNativeSeparators(directory)));

    const QString content = "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name="_L1 +
                            escapeValue(m_options.displayName) + "\nExec="_L1 +
                            escapeValue(execValue(program)) +
                            "\n"
                            "Terminal=false\n"
                            "X-GNOME-Autostart-enabled=true\n"_L1;
    if (const auto saved = saveWholeFile(path, content.toUtf8()); !saved)
        return std::unexpected(QCoreApplication::translate("Settings", "Could not write %1: %2")
                                   .arg(QDir::toNativeSeparators(path), saved.error()));
    return {};
}

std::expected<void, QString> XdgAutostartLoginItem::unregisterItem()
{
    const QString program = ownProgram();
    if (program.isEmpty())
        return std::unexpected(programNotFoundText());
    const QString path = entryPath();
    const std::optional<AutostartEntry> entry = readEntry(path);
    // Another program's entry (another copy, or one the user wrote) is not ours to delete.
    if (!entry || !runsProgram(*entry, program))
        return {};
    QFile file(path);
    if (file.remove())
        return {};
    return std::unexpected(QCoreApplication::translate("Settings", "Could not remove %1: %2")
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
}

QString XdgAutostartLoginItem::execValue(const QString &program)
{
    // Field codes start with '%' anywhere in the line, so a literal one is doubled.
    QString escaped = program;
    escaped.replace(u'%', "%%"_L1);
    static constexpr QStringView reserved = u" \t\n\"'\\><~|&;$*?#()`";
    // Any white space, not only the reserved kinds, would end the first argument for readers.
    const bool needsQuotes = std::any_of(program.cbegin(), program.cend(), [](QChar c) {
        return reserved.contains(c) || c.isSpace();
    });
    if (!needsQuotes)
        return escaped;
    QString quoted = u"\""_s;
    for (const QChar c : std::as_const(escaped)) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

QString XdgAutostartLoginItem::programOfExec(const QString &exec)
{
    const QStringView line = QStringView(exec).trimmed();
    QString argument;
    if (line.startsWith(u'"')) {
        qsizetype i = 1;
        for (; i < line.size() && line[i] != u'"'; ++i) {
            if (line[i] == u'\\' && i + 1 < line.size())
                ++i;
            argument += line[i];
        }
        if (i == line.size())
            return {};
    } else {
        for (qsizetype i = 0; i < line.size() && !line[i].isSpace(); ++i)
            argument += line[i];
    }
    return argument.replace("%%"_L1, "%"_L1);
}

} // namespace velmora
