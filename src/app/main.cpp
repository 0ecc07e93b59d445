#include "Startup.h"

int main(int argc, char **argv)
{
    return startUpdater(argc, argv);
}
