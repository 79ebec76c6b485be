// trekdump: export, list, analyse and change the data file of a GPS track logger.
#include "cli/run.h"

int main(int argc, char** argv)
{
    return run(argc, argv);
}
