#pragma once

#include "platform/loginitem.h"

#include <QString>

#include <optional>

namespace velmora {

// An XDG autostart entry, "<config home>/autostart/<app id>.desktop". It counts as this
// program's when its Exec line runs this program's own file. The desktop disables an entry
// by setting Hidden=true or X-GNOME-Autostart-enabled=false; such an entry reads as
// requiresApproval, and registering again enables it.
class XdgAutostartLoginItem final : public LoginItem
{
public:
    struct Options
    {
        QString appId = QStringLiteral("velmora");
        QString displayName = QStringLiteral("Velmora");
        // The program to start; unset: QCoreApplication::applicationFilePath().
        std::optional<QString> programPath;
        // Unset: xdgConfigHome().
        std::optional<QString> configHome;
    };

    XdgAutostartLoginItem();
    explicit XdgAutostartLoginItem(Options options);

    // notFound when this program's own file cannot be found or is not executable; an entry
    // that cannot be read, or runs another program, is notRegistered.
    Status status() const override;
    // Writes the entry atomically, replacing any earlier one.
    std::expected<void, QString> registerItem() override;
    // Removes the entry if it is this program's; an entry of another program stays.
    std::expected<void, QString> unregisterItem() override;

    QString entryPath() const;

    // The Exec value that runs program with no arguments, quoted and escaped as desktop
    // entries require.
    static QString execValue(const QString &program);
    // The program an Exec value runs (its first argument, unquoted); empty when the value
    // cannot be read.
    static QString programOfExec(const QString &exec);

private:
    QString ownProgram() const;

    Options m_options;
};

} // namespace velmora
