// The GPX 1.1 document of the log: bounds, push log points, numbered tracks.
#pragma once

#include <cstdio>
#include <vector>

#include "datafile/track_point.h"

// Writes the whole document for points to out. Write errors are left in the
// stream's error indicator for the caller to check.
void print_track(std::FILE* out, const std::vector<track_point>& points);
