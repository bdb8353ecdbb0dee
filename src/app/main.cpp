#include "launcher.h"
#include "platform/platformchoice.h"

int main(int argc, char **argv)
{
    velmora::choosePlatform(argc, argv);
    return velmora::Launcher::main(argc, argv);
}
