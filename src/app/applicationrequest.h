#pragma once

#include <QString>
#include <QVariantList>

#include <expected>

namespace velmora {

// What a call of the desktop's activation interface asks the running instance to show.
enum class ApplicationRequest { popover, settings };

// The request made by a call of member ("Activate", "Open" or "ActivateAction") of
// org.freedesktop.Application with its arguments as they arrived: Activate and Open show the
// popover whatever the URLs; ActivateAction names "popover" or "settings". Anything else gives
// why it was refused, fit for one log line (a name quoted, control characters escaped, long
// names cut).
std::expected<ApplicationRequest, QString> applicationRequest(const QString &member,
                                                              const QVariantList &arguments);

} // namespace velmora
