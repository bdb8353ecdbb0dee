#pragma once

namespace velmora::Launcher {

// True when any argument, the program path included, is exactly "--selftest".
bool wantsSelfTest(int argc, const char *const *argv);

// The process entry: the self-test's verdict as exit status, or the application.
int main(int argc, char **argv);

} // namespace velmora::Launcher
