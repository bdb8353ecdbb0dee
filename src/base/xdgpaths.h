#pragma once

#include <QString>

namespace velmora {

// The user's base folders as the XDG base directory rules give them: the variable when it
// holds an absolute path (the rules ignore a relative one), else the folder under home.
QString xdgConfigHome(); // $XDG_CONFIG_HOME, else ~/.config
QString xdgStateHome();  // $XDG_STATE_HOME, else ~/.local/state

} // namespace velmora
