#pragma once

#include "platform/platformchoice.h"

namespace velmora::Launcher {

// True when any argument, the program path included, is exactly "--selftest".
bool wantsSelfTest(int argc, const char *const *argv);

// The process entry: the self-test's verdict as exit status, or the application on the window
// session choosePlatform() decided (without one, a start only hands its links over).
int main(int argc, char **argv, WindowSession session);

} // namespace velmora::Launcher
