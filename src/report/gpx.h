// The GPX 1.1 document of the log: bounds, push log points, numbered tracks.
#pragma once

#include <cstdio>
#include <vector>

#include "datafile/track_point.h"

// Writes the whole document for points to out. Write errors are left in the
// stream's error indicator for the caller to check.
void print_track(std::FILE* out, const std::vector<track_point>& points);

// Writes the document of points first to first + count - 1 of the log alone:
// their bounds, and their push log points and tracks numbered as in the
// whole document. Of a track's points, it is that track as the whole
// document has it.
void print_part(std::FILE* out, const std::vector<track_point>& points, std::size_t first,
                std::size_t count);
