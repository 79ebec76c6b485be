// trekdump: export, list, analyse and change the data file of a GPS track logger.
#include <cstdio>
#include <string>

#include "cli/messages.h"
#include "cli/run.h"
#include "sys/sys.h"

int main(int argc, char** argv)
{
    // The run sees the words as UTF-8 on every system, never as a look-alike.
    std::string refused;
    if (!sys::utf8_arguments(argc, argv, refused)) {
        std::fprintf(stderr, msg::argument_not_unicode, refused.c_str());
        return 1;
    }
    return run(argc, argv);
}
