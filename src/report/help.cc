// The help text. (Placeholder.)
#include "report/help.h"

void usage(std::FILE* out, const char* program)
{
    std::fprintf(out, "Usage: %s [OPTION]... FILE\n", program);
}
