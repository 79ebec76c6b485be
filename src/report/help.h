// The help text, with its German descriptions in code page 850.
#pragma once

#include <cstdio>

void usage(std::FILE* out, const char* program);
