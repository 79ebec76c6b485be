// A track's figures and its profile, on logs built as data files and read
// back: stops and halts, slow creeping, altitude noise, short tracks, a
// clock that jumps back, a jumping fix; the profile's columns.
#include "report/track_stats.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "report/track_profile.h"
#include "report/track_summary.h"
#include "support/memory_stream.h"

namespace {

// Along a meridian the great-circle distance is the sphere's radius times
// the angle: one stored unit of latitude (1e-7 degree) is this many metres.
constexpr double metres_per_unit = 6'371'008.8 * 3.141592653589793 / 180 / 1e7;

struct step {
    int dt;     // seconds
    int north;  // units of latitude
    int ele;    // metres
};

std::vector<step> repeat(int n, step s) { return std::vector<step>(n, s); }

std::vector<step> operator+(std::vector<step> a, const std::vector<step>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::uint32_t at_second(long s)
{
    return pack_time(2008, 8, 17 + static_cast<int>(s / 86400), static_cast<int>(s / 3600 % 24),
                     static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
}

std::vector<track_point> read_back(const datafile_builder& data)
{
    image_file file(data.bytes());
    std::vector<track_point> points;
    read_track(file.file, points);
    return points;
}

// A fast climbing drive, then the track of the steps from 12:00:00 on: the
// track's figures start afresh.
std::vector<track_point> log_of(int first_ele, const std::vector<step>& steps)
{
    datafile_builder data;
    data.add_point(layout::flag_track_start, at_second(8 * 3600), 100'000'000, 0, 1000)
        .add_point(0, at_second(8 * 3600 + 10), 100'500'000, 0, 2000);
    long clock = 12 * 3600;
    std::int32_t lat = 476'600'000;
    data.add_point(layout::flag_track_start, at_second(clock), lat, 91'750'000,
                   static_cast<std::int16_t>(first_ele));
    for (const step& s : steps)
        data.add_point(0, at_second(clock += s.dt), lat += s.north, 91'750'000,
                       static_cast<std::int16_t>(s.ele));
    return read_back(data.add_end_marker());
}

std::optional<double> kmh(std::optional<double> units_per_s)
{
    if (units_per_s)
        return *units_per_s * metres_per_unit * 3.6;
    return std::nullopt;
}

void expect_near(std::optional<double> actual, std::optional<double> expected, const char* name)
{
    ASSERT_EQ(actual.has_value(), expected.has_value()) << name;
    if (expected) {
        EXPECT_NEAR(*actual, *expected, 1e-9 * *expected) << name;
    }
}

TEST(TrackStats, EveryFigureAsDefined)
{
    const std::vector<step> walk = repeat(3, {5, 600, 400});
    const struct {
        const char* name;
        int first_ele;
        std::vector<step> steps;
        std::int64_t seconds, moving_s, paused_s, stops;
        double distance_units;
        std::optional<double> average, max;  // units of latitude per second
        std::int64_t ascent, descent;
        int min_ele, max_ele;
    } cases[] = {
        {"a stop of 90 s between two walks; the maximum over 12 s", 400,
         repeat(6, {4, 500, 400}) + repeat(3, {30, 0, 400}) + repeat(6, {4, 800, 400}),
         138, 48, 90, 1, 7800, 162.5, 200, 0, 0, 400, 400},
        {"a halt of 50 s is no stop", 400, walk + repeat(2, {25, 0, 400}) + walk,
         80, 30, 50, 0, 3600, 120, 120, 0, 0, 400, 400},
        {"creeping at 0.8 km/h for a minute is a stop; two fixes in one second", 400,
         repeat(2, {5, 600, 400}) + repeat(3, {20, 400, 400}) + repeat(2, {5, 600, 400}) +
             std::vector<step>{{0, 300, 400}},
         80, 20, 60, 1, 3900, 120, 120, 0, 0, 400, 400},
        {"altitude noise under 10 m, then a climb and a descent", 100,
         std::vector<step>{{5, 600, 105}, {5, 600, 96}, {5, 600, 104}, {5, 600, 91},
                           {5, 600, 90}, {5, 600, 99}, {5, 600, 101}, {5, 600, 95},
                           {5, 600, 130}, {5, 600, 121}},
         50, 50, 0, 0, 6000, 120, 120, 40, 10, 90, 130},
        {"a track of six seconds has no maximum speed", 50, repeat(3, {2, 300, 50}),
         6, 6, 0, 0, 900, 150, std::nullopt, 0, 0, 50, 50},
        {"a single point", 50, {}, 0, 0, 0, 0, 0, std::nullopt, std::nullopt, 0, 0, 50, 50},
        // The step back is not moving and lasts nothing: one stop of 70 s
        // around it. Later points still find their window.
        {"the clock jumping back an hour", 400,
         walk + std::vector<step>{{40, 0, 400}, {-3600, 600, 400}, {30, 0, 400}} +
             repeat(2, {5, 900, 400}),
         -3505, 25, 70, 1, 4200, 144, 180, 0, 0, 400, 400},
        // Out 9000 units and back in two seconds: over 10 s along the track.
        {"a fix jumping out and back", 400,
         repeat(5, {1, 90, 400}) + std::vector<step>{{1, 9000, 400}, {1, -8820, 400}} +
             repeat(7, {1, 90, 400}),
         14, 14, 0, 0, 18900, 1350, 1854, 0, 0, 400, 400},
    };
    for (const auto& c : cases) {
        log_summary s = summarize_log(log_of(c.first_ele, c.steps));
        ASSERT_EQ(s.tracks.size(), 2u) << c.name;
        const track_stats& f = s.tracks[1].stats;
        EXPECT_EQ(f.seconds, c.seconds) << c.name;
        EXPECT_EQ(f.moving_s, c.moving_s) << c.name;
        EXPECT_EQ(f.paused_s, c.paused_s) << c.name;
        EXPECT_EQ(f.stops, c.stops) << c.name;
        EXPECT_NEAR(f.distance_m, c.distance_units * metres_per_unit, 1e-6) << c.name;
        expect_near(f.average_kmh, kmh(c.average), c.name);
        expect_near(f.max_kmh, kmh(c.max), c.name);
        EXPECT_EQ(f.ascent_m, c.ascent) << c.name;
        EXPECT_EQ(f.descent_m, c.descent) << c.name;
        EXPECT_EQ(f.min_ele_m, c.min_ele) << c.name;
        EXPECT_EQ(f.max_ele_m, c.max_ele) << c.name;
    }
}

// 100,000 points with a spike and a dip in their altitudes: at most one
// column per pixel, the spike, the dip and the track's maximum speed kept.
// The distance of a step, whose short steps take series for the sine and
// the arc sine, against the formula with the library's functions: the same
// to the last digits, below the series' limit (about 6 km) and above it.
TEST(TrackStats, StepDistanceAsTheFormulaGives)
{
    auto formula = [](const track_point& a, const track_point& b) {
        const double r = 3.141592653589793 / 180 / 1e7;
        double sin_lat = std::sin((b.latitude - static_cast<double>(a.latitude)) * r / 2);
        double sin_lon = std::sin((b.longitude - static_cast<double>(a.longitude)) * r / 2);
        double h = sin_lat * sin_lat + std::cos(a.latitude * r) * std::cos(b.latitude * r) * sin_lon * sin_lon;
        return 2 * 6'371'008.8 * std::asin(std::fmin(1, std::sqrt(h)));
    };
    const struct {
        std::int32_t lat, lon, north, east;  // the first point, then the step, in units
    } cases[] = {
        {476'603'000, 91'758'000, 1, 0},              // a centimetre
        {476'603'000, 91'758'000, 900, -700},         // a walker's second
        {-337'000'000, 1'799'999'000, 0, 2'000},      // over the 180° meridian
        {0, 0, 500'000, 500'000},                     // some 8 km: beyond the series
        {100'000'000, 0, 550'000, 0},                 // about the series' limit
        {0, 0, 0, 1'800'000'000},                     // half the earth
        {899'999'999, 0, -1'799'999'998, 0},          // pole to pole
    };
    for (const auto& c : cases) {
        track_point a{0, 0, 0, c.lat, c.lon, 0};
        track_point b{0, 0, 0, c.lat + c.north, c.lon + c.east, 0};
        double expected = formula(a, b);
        EXPECT_NEAR(metres_between(a, b), expected, 4e-15 * expected) << c.north << " " << c.east;
    }
}

// The clock of a log's times in turn, which keeps the day of the time
// before: as clock_seconds has each, over a day, a month's end, fields
// beyond their range and a clock that jumps back to a day it had left.
TEST(TrackStats, DayClockAsClockSeconds)
{
    const std::uint32_t times[] = {
        pack_time(2008, 8, 17, 23, 59, 59), pack_time(2008, 8, 18, 0, 0, 0),
        pack_time(2008, 8, 18, 0, 0, 5),    pack_time(2008, 8, 31, 31, 63, 63),
        pack_time(2008, 9, 0, 12, 0, 0),    pack_time(2008, 13, 0, 0, 0, 0),
        pack_time(2009, 2, 31, 0, 0, 0),    pack_time(2008, 8, 18, 0, 0, 4),
        pack_time(2008, 8, 18, 0, 0, 4),    pack_time(2063, 15, 31, 31, 63, 63),
    };
    day_clock clock;
    for (std::uint32_t t : times)
        EXPECT_EQ(clock.seconds(t), clock_seconds(t)) << std::hex << t;
}

TEST(TrackProfile, ThinnedToOnePairPerColumn)
{
    datafile_builder data;
    std::int32_t lat = 0;
    for (int i = 0; i < 100'000; ++i) {
        int ele = i == 54'321 ? 3000 : i == 77'777 ? -300 : i % 1000 / 10;
        data.add_point(i == 0 ? layout::flag_track_start : 0, at_second(i), lat += 90 + i % 7 * 30,
                       0, static_cast<std::int16_t>(ele));
    }
    const std::vector<track_point> points = read_back(data);
    const double max_kmh = *summarize_log(points).tracks[0].stats.max_kmh;
    const struct {
        std::uint32_t width;
        bool against_time;
    } cases[] = {{500, false}, {1920, true}, {1, false}};
    for (const auto& c : cases) {
        track_profile p = profile_of(points, 0, points.size(), c.width, c.against_time);
        ASSERT_LE(p.columns.size(), c.width) << c.width;
        ASSERT_GE(p.columns.size(), c.width * 9 / 10) << c.width;
        double fastest = 0;
        int highest = 0, lowest = 0;
        for (std::size_t i = 0; i < p.columns.size(); ++i) {
            const profile_column& col = p.columns[i];
            if (i > 0) {
                EXPECT_GT(col.column, p.columns[i - 1].column) << c.width;
                EXPECT_GT(col.first, p.columns[i - 1].first) << c.width;
            }
            fastest = std::max(fastest, col.max_kmh.value_or(0));
            highest = std::max(highest, col.max_ele_m);
            lowest = std::min(lowest, col.min_ele_m);
        }
        EXPECT_EQ(p.columns.back().column, c.width - 1);
        EXPECT_EQ(highest, 3000) << c.width;
        EXPECT_EQ(lowest, -300) << c.width;
        EXPECT_DOUBLE_EQ(fastest, max_kmh) << c.width;
        EXPECT_NEAR(p.x_max, c.against_time ? 99'999 : (points.back().latitude - points[0].latitude) * metres_per_unit,
                    1e-3);
    }
    // Three points 210 and 240 units apart, wider than they are: a column
    // each; the last points have no speed.
    track_profile three = profile_of(points, 10, 3, 1000, false);
    ASSERT_EQ(three.columns.size(), 3u);
    EXPECT_EQ(three.columns[1].column, 466u);
    EXPECT_EQ(three.columns[2].column, 999u);
    EXPECT_EQ(three.columns[2].first, 12u);
    EXPECT_FALSE(three.columns[2].max_kmh.has_value());
    EXPECT_EQ(profile_json(profile_of(points, 5, 1, 10, true)),
              "{\"against\":\"time\",\"x_max\":0,\"columns\":[[0,5,0,0,0,0,null,null]]}\n");
}

}  // namespace
