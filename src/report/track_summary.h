// The log's tracks as the page shows them, gathered in one pass over the
// points: each track's times, points, push log points, bounds and figures
// (track_stats), and a thinned path of the whole log for the drawing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datafile/track_point.h"
#include "report/track_stats.h"

// A track as the GPX export divides the log: from a point that starts one
// (or the log's first point) up to the next such point.
struct track_entry {
    std::uint32_t first = 0;  // index in the log of its first point
    std::uint32_t count = 0;
    std::uint32_t start = 0, end = 0;  // packed times of its first and last point
    std::uint32_t push_from = 0, push_to = 0;  // its push log points, numbered from 0
    std::int32_t min_lat = 0, max_lat = 0, min_lon = 0, max_lon = 0;
    track_stats stats{};
};

struct log_summary {
    std::uint32_t points = 0;
    std::vector<track_entry> tracks;
    // The path for the drawing: degrees as (longitude, latitude) pairs of
    // every stride-th point, at most path_limit of them. Across the 180°
    // meridian a longitude goes on past ±180 so that no line crosses the map.
    std::vector<float> path;
    std::uint32_t stride = 1;
    std::vector<float> push_xy;  // every push log point, (longitude, latitude)
};

log_summary summarize_log(const std::vector<track_point>& points,
                          std::uint32_t path_limit = 1u << 21);

// The seconds from start to end as the page's clock counts them (fields
// beyond their range carried over, as a calendar date does).
std::int64_t seconds_between(std::uint32_t start, std::uint32_t end);

// The summary as JSON: {"points", "stride", "first_time", "last_time",
// "tracks": [{"number", "first", "count", "start", "end", "seconds", "km",
// "push_from", "push_to", "push_points", "bounds": [minlat, minlon, maxlat,
// maxlon], and the figures of track_stats by their names}]}. Times read
// "YYYY-MM-DD hh:mm:ss" (null for an empty log); a figure without a value is
// null.
std::string summary_json(const log_summary& summary);

// A number as JSON, exact enough to give back the same double; null for none.
std::string json_number(std::optional<double> v);
