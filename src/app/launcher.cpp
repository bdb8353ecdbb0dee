#include "launcher.h"

#include "selftest.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace velmora::Launcher {

bool wantsSelfTest(int argc, const char *const *argv)
{
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--selftest") == 0)
            return true;
    }
    return false;
}

int main(int argc, char **argv)
{
    if (wantsSelfTest(argc, argv)) {
        // No display is needed: a core application gives the lookups their event loop.
        QCoreApplication app(argc, argv);
        return SelfTest::run() ? 0 : 1;
    }
    std::fputs("velmora: this build has no tray interface yet; "
               "run 'velmora --selftest' to check its logic.\n",
               stderr);
    return 2;
}

} // namespace velmora::Launcher
