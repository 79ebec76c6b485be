// The log's tracks as the page shows them, gathered in one pass over the
// points: each track's times, points, push log points, bounds and figures
// (track_stats), and a thinned path of the whole log for the drawing, with
// coarser copies of it for views that show much of the log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datafile/track_point.h"
#include "report/gpx.h"
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

// The drawing's path at a level of detail: of the level before it, each
// track's first and last point and the points that leave the square cell
// (of cell degrees) of the last one kept. So a view that shows one cell in a
// pixel draws at most one point per pixel where a track passes.
struct path_level {
    double cell = 0;
    std::vector<float> xy;             // (longitude, latitude) pairs
    std::vector<std::uint32_t> from;   // each track's first pair in xy, then the end
};

// The cells of the coarser levels: from about 0.2 m to about 256 degrees,
// doubling; a level is kept only where it holds at most half the points of
// the last one kept, so all of them together hold no more than the path.
constexpr double finest_cell = 1.0 / (1 << 19);
constexpr double coarsest_cell = 256;

struct log_summary {
    std::uint32_t points = 0;
    std::vector<track_entry> tracks;
    // The path for the drawing: degrees as (longitude, latitude) pairs of
    // every stride-th point, at most path_limit of them. Across the 180°
    // meridian a longitude goes on past ±180 so that no line crosses the map.
    std::vector<float> path;
    std::uint32_t stride = 1;
    std::vector<std::uint32_t> path_from;  // each track's first pair in path, then the end
    // Each track's west, east, south and north edge as its pairs in the path
    // have them (so a track across the 180° meridian goes on past it), or as
    // its bounds where the path holds none of its points.
    std::vector<float> extents;
    std::vector<path_level> coarser;       // ever coarser, as path_level says
    std::vector<float> push_xy;  // every push log point, (longitude, latitude)
    // Every push log point's time, "YYYY-MM-DD hh:mm:ss" UTC, one after the
    // other without a separator (19 characters each).
    std::string push_times;
    std::uint64_t gpx_bytes = 0;  // the size of the log's whole GPX document
};

// Gathers the summary point by point, in log order: the whole log need not
// be held as points.
class log_summary_builder {
public:
    explicit log_summary_builder(std::uint32_t path_limit = 1u << 21) : limit_(path_limit) {}
    // Room for about this many points, so that the path does not grow by copies.
    void reserve(std::size_t points);
    void add(const track_point& p);
    // The summary of the points added, with the drawing's coarser levels.
    log_summary finish();

private:
    log_summary s_;
    std::uint32_t limit_;
    std::uint32_t pushes_ = 0;
    track_stats_builder stats_;
    gpx_size_counter gpx_;
};

log_summary summarize_log(const std::vector<track_point>& points,
                          std::uint32_t path_limit = 1u << 21);

// The levels coarser than path, whose tracks start at from (see path_level).
std::vector<path_level> coarser_levels(const std::vector<float>& path,
                                       const std::vector<std::uint32_t>& from);

// The seconds from start to end as the page's clock counts them (fields
// beyond their range carried over, as a calendar date does), and the
// seconds since 1970-01-01 of one packed time on that clock.
std::int64_t seconds_between(std::uint32_t start, std::uint32_t end);
std::int64_t clock_seconds(std::uint32_t packed);

// The summary as JSON: {"points", "stride", "first_time", "last_time",
// "tracks": [{"number", "first", "count", "start", "end", "seconds", "km",
// "push_from", "push_to", "push_points", "bounds": [minlat, minlon, maxlat,
// maxlon], and the figures of track_stats by their names}], "cells": the
// coarser levels' cells, "gpx_bytes"}. Times read
// "YYYY-MM-DD hh:mm:ss" (null for an empty log); a figure without a value is
// null.
std::string summary_json(const log_summary& summary);

// A number as JSON, exact enough to give back the same double; null for none.
std::string json_number(std::optional<double> v);
