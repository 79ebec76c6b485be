// The analysis pass: reports values of the data file outside the known sets.
#pragma once

#include <cstdio>

// Checks the configuration fields with known value sets and every log record
// of file, writing one line per unknown value to out. Changes nothing.
// Returns 0, or -1 when a configuration check cannot be read.
int analyze(std::FILE* file, std::FILE* out);
