#pragma once

#include "platform/windowsystemhints.h"

#include <QString>

namespace velmora {

// The hints of an X11 program on sway, which centres the X11 windows it floats whatever they
// ask and keeps its bars out of X11's sight: x11's, with the bars and the windows' places
// asked of sway through its IPC socket.
std::unique_ptr<WindowSystemHints> swayHints(std::unique_ptr<WindowSystemHints> x11,
                                             const QString &socketPath);

} // namespace velmora
