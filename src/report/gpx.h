// The GPX 1.1 document of the log: bounds, push log points, numbered tracks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
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

// The same for a part handed over as its points, with the number of push log
// points and of tracks that stand before it in the log.
void print_points(std::FILE* out, std::span<const track_point> part,
                  std::uint64_t waypoints_before, std::uint64_t tracks_before);

// The document's bounds in stored units: accumulators that start outside the
// valid ranges, each replaced by a point beyond it.
struct gpx_bounds {
    std::int32_t min_lat = 900000000, max_lat = -900000000;
    std::int32_t min_lon = 1800000000, max_lon = -1800000000;
    void add(const track_point& point);
};

// The size in bytes of the document print_track writes, counted point by
// point without writing it: feed it the log's points in order.
class gpx_size_counter {
public:
    void add(const track_point& p);
    std::uint64_t size() const;

private:
    std::uint64_t points_ = 0, waypoints_ = 0, tracks_ = 0;
    std::uint64_t point_bytes_ = 0;     // of every point's varying numbers
    std::uint64_t waypoint_bytes_ = 0;  // of the push log points' varying numbers
    gpx_bounds bounds_;
};
