#include "launcher.h"
#include "platform/platformchoice.h"

int main(int argc, char **argv)
{
    return velmora::Launcher::main(argc, argv, velmora::choosePlatform(argc, argv));
}
