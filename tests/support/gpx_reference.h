// The GPX document of a log written the slow, obvious way, with one printf
// format per line: the reference for the writer's own formatting.
#pragma once

#include <string>
#include <vector>

#include "datafile/track_point.h"

// The XML declaration and the root start tag, two lines.
extern const char gpx_head[];

std::string reference_gpx(const std::vector<track_point>& points);
