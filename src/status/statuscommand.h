#pragma once

#include <QString>

namespace velmora::StatusCommand {

// Where the running instance answers.
struct Address
{
    QString service;
    QString objectPath;
};

// Whether the arguments ask for the status subcommand: "velmora status …".
bool isAsked(int argc, const char *const *argv);

// `velmora status`: prints the running instance's status once, or on every change with
// --follow, as a line, JSON, waybar's JSON or the user's template. Needs only the session
// bus: no display, no tray. The exit status: 0 done, 2 a wrong option or template, 3 no
// instance to ask.
int main(int argc, char **argv, const Address &address);

} // namespace velmora::StatusCommand
