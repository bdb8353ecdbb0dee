#include "launcher.h"

int main(int argc, char **argv)
{
    return velmora::Launcher::main(argc, argv);
}
