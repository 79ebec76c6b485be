// A track's elevation and speed profile for the page, against distance or
// time, thinned to one lowest and highest value per pixel column: a track of
// 100,000 points draws as fast as a short one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "datafile/track_point.h"

// More columns than any screen has pixels across.
constexpr std::uint32_t profile_width_limit = 1u << 15;

// The points whose distance (or time) falls into one pixel column.
struct profile_column {
    std::uint32_t column = 0;
    std::uint32_t first = 0;     // index in the log of its first point
    double distance_m = 0;       // along the track to that point
    std::int64_t seconds = 0;    // from the track's first point to that point
    int min_ele_m = 0, max_ele_m = 0;
    // The speeds of its points as the track's maximum speed takes them (over
    // the track ahead, see window_speeds); none where no point has one.
    std::optional<double> min_kmh{}, max_kmh{};
};

struct track_profile {
    bool against_time = false;
    // The track's distance, or the span of its times (the earliest to the
    // latest, wherever they stand in the log): the width of all columns.
    double x_max = 0;
    std::vector<profile_column> columns{};  // the columns that hold a point, in order
};

// The profile of the log's points first .. first + count - 1 (a track), in
// width columns (1 to profile_width_limit; others are taken as the nearest).
track_profile profile_of(const std::vector<track_point>& points, std::size_t first,
                         std::size_t count, std::uint32_t width, bool against_time);
// The same of a track handed over as its points, the first of which stands
// at index first in the log.
track_profile profile_of(std::span<const track_point> track, std::size_t first,
                         std::uint32_t width, bool against_time);

// {"against": "distance" or "time", "x_max", "columns": [[column, first,
// distance_m, seconds, min_ele_m, max_ele_m, min_kmh, max_kmh], ...]}, the
// speeds null where there are none.
std::string profile_json(const track_profile& profile);
