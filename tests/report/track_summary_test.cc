// The page's view of the log: tracks divided as the export divides them,
// their push log points, distances, times and bounds; the drawing's thinned
// path; and one track's document as the whole export has it.
#include "report/track_summary.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "datafile/layout.h"
#include "datafile_builder.h"
#include "report/gpx.h"

namespace {

constexpr unsigned start = layout::flag_track_start;
constexpr unsigned push = layout::flag_push_point;

track_point at(unsigned flags, std::int32_t lat, std::int32_t lon, std::uint32_t time = 0)
{
    return {static_cast<std::uint8_t>(flags), 0, time, lat, lon, 100};
}

// Points before the first track start form track 1; a push log point
// belongs to the track that holds it.
const std::vector<track_point> log = {
    at(push, 10'000'000, 0, pack_time(2008, 8, 17, 6, 0, 0)),
    at(0, 20'000'000, 0, pack_time(2008, 8, 17, 7, 30, 5)),
    at(start, -5, 1'799'000'000, pack_time(2008, 13, 0, 0, 0, 0)),  // 2008-12-31
    at(push, -7, -1'799'000'000, pack_time(2009, 1, 1, 0, 0, 1)),
    at(start | push, 0, 20, pack_time(2010, 2, 3, 4, 5, 6)),
};

TEST(TrackSummary, TracksAsTheExportDividesThem)
{
    log_summary s = summarize_log(log);
    ASSERT_EQ(s.tracks.size(), 3u);
    const struct {
        std::uint32_t first, count, push_from, push_to;
        std::int64_t seconds;
        double km;
        std::int32_t min_lat, max_lat, min_lon, max_lon;
    } expected[] = {
        {0, 2, 0, 1, 5405, 111.19508, 10'000'000, 20'000'000, 0, 0},
        {2, 2, 1, 2, 86401, 22.23902, -7, -5, -1'799'000'000, 1'799'000'000},
        {4, 1, 2, 3, 0, 0, 0, 0, 20, 20},
    };
    for (std::size_t i = 0; i < s.tracks.size(); ++i) {
        const track_entry& t = s.tracks[i];
        const auto& e = expected[i];
        EXPECT_EQ(t.first, e.first) << i;
        EXPECT_EQ(t.count, e.count) << i;
        EXPECT_EQ(t.push_from, e.push_from) << i;
        EXPECT_EQ(t.push_to, e.push_to) << i;
        EXPECT_EQ(seconds_between(t.start, t.end), e.seconds) << i;
        EXPECT_NEAR(t.stats.distance_m / 1000, e.km, 1e-5) << i;
        EXPECT_EQ(t.min_lat, e.min_lat) << i;
        EXPECT_EQ(t.max_lat, e.max_lat) << i;
        EXPECT_EQ(t.min_lon, e.min_lon) << i;
        EXPECT_EQ(t.max_lon, e.max_lon) << i;
    }
    EXPECT_EQ(s.push_xy.size(), 6u);
    EXPECT_EQ(s.push_times, "2008-08-17 06:00:002009-01-01 00:00:012010-02-03 04:05:06");
    EXPECT_TRUE(summary_json(s).starts_with(
              "{\"points\":5,\"stride\":1,\"first_time\":\"2008-08-17 06:00:00\","
              "\"last_time\":\"2010-02-03 04:05:06\",\"tracks\":[{\"number\":1,\"first\":0,"
              "\"count\":2,\"start\":\"2008-08-17 06:00:00\",\"end\":\"2008-08-17 07:30:05\","
              "\"seconds\":5405,\"km\":111.195"));
    EXPECT_EQ(summary_json(summarize_log({})),
              "{\"points\":0,\"stride\":1,\"first_time\":null,\"last_time\":null,\"tracks\":[],"
              "\"cells\":[],\"gpx_bytes\":307}\n");
}

// Of nine points with room for four, every fourth is kept; across the 180°
// meridian the longitude goes on past it.
TEST(TrackSummary, PathThinnedAndUnwrapped)
{
    std::vector<track_point> points;
    for (int i = 0; i < 9; ++i)
        points.push_back(at(0, i * 10'000'000, i % 2 ? -1'799'000'000 : 1'799'000'000));
    log_summary s = summarize_log(points, 4);
    EXPECT_EQ(s.stride, 4u);
    ASSERT_EQ(s.path.size(), 6u);
    for (int k = 0; k < 3; ++k)
        EXPECT_FLOAT_EQ(s.path[2 * k + 1], 4.0f * k) << k;
    EXPECT_FLOAT_EQ(summarize_log(points).path[2], 180.1f);
}

// Three walks of 3,000 points over a few kilometres, then a track of one point.
std::vector<track_point> walks()
{
    std::vector<track_point> points;
    std::int32_t lat = 476'603'000, lon = 91'758'000;
    std::uint64_t seed = 1;
    for (int i = 0; i < 9'001; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        lat += static_cast<std::int32_t>((seed >> 33) % 2001) - 1000;
        lon += static_cast<std::int32_t>((seed >> 45) % 2001) - 1000;
        points.push_back(at(i % 3'000 == 0 ? start : 0, lat, lon));
    }
    return points;
}

// Each level of the path keeps every track's first and last pair of the
// level before it and no two pairs in a row in one cell between them, with
// at most half the pairs of the level before it.
TEST(TrackSummary, CoarserLevelsOfThePath)
{
    const struct {
        const char* name;
        std::vector<track_point> points;
        std::uint32_t path_limit;
    } cases[] = {
        {"walks", walks(), 1u << 21},
        {"walks in a path of every fourth point", walks(), 3'000},
        {"an empty log", {}, 1u << 21},
    };
    for (const auto& c : cases) {
        log_summary s = summarize_log(c.points, c.path_limit);
        ASSERT_EQ(s.path_from.size(), s.tracks.size() + 1) << c.name;
        for (std::size_t t = 0; t < s.tracks.size(); ++t)
            EXPECT_EQ(s.path_from[t], (s.tracks[t].first + s.stride - 1) / s.stride) << c.name;
        EXPECT_EQ(s.path_from.back() * 2, s.path.size()) << c.name;
        ASSERT_EQ(s.extents.size(), 4 * s.tracks.size()) << c.name;
        for (std::size_t t = 0; t < s.tracks.size(); ++t)
            for (std::uint32_t k = s.path_from[t]; k < s.path_from[t + 1]; ++k) {
                EXPECT_TRUE(s.path[2 * k] >= s.extents[4 * t] && s.path[2 * k] <= s.extents[4 * t + 1]);
                EXPECT_TRUE(s.path[2 * k + 1] >= s.extents[4 * t + 2] && s.path[2 * k + 1] <= s.extents[4 * t + 3]);
            }
        EXPECT_EQ(s.coarser.empty(), c.points.empty()) << c.name;
        path_level before{.cell = 0, .xy = s.path, .from = s.path_from};
        for (const path_level& level : s.coarser) {
            EXPECT_GT(level.cell, before.cell) << c.name;
            EXPECT_LE(level.xy.size() * 2, before.xy.size()) << c.name << " " << level.cell;
            ASSERT_EQ(level.from.size(), before.from.size()) << c.name;
            auto pair = [](const path_level& l, std::uint32_t k) {
                return std::pair(l.xy[2 * k], l.xy[2 * k + 1]);
            };
            auto cell = [&](std::uint32_t k) {
                return std::pair(std::floor(level.xy[2 * k] / level.cell),
                                 std::floor(level.xy[2 * k + 1] / level.cell));
            };
            for (std::size_t t = 0; t + 1 < level.from.size(); ++t) {
                std::uint32_t a = level.from[t], b = level.from[t + 1];
                ASSERT_EQ(b - a >= 1, before.from[t + 1] > before.from[t]) << c.name;
                if (a == b)
                    continue;
                EXPECT_EQ(pair(level, a), pair(before, before.from[t])) << c.name;
                EXPECT_EQ(pair(level, b - 1), pair(before, before.from[t + 1] - 1)) << c.name;
                for (std::uint32_t k = a + 1; k + 1 < b; ++k)
                    EXPECT_NE(cell(k), cell(k - 1)) << c.name << " " << level.cell << " " << k;
            }
            before = level;
        }
    }
}

std::string document(void (*write)(std::FILE*, const std::vector<track_point>&, std::size_t,
                                   std::size_t),
                     std::size_t first, std::size_t count)
{
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    write(out, log, first, count);
    std::fclose(out);
    std::string text(data, size);
    std::free(data);
    return text;
}

// A track's document: the header of its own points (their bounds), then
// its push log points and the track cut from the whole export.
TEST(TrackSummary, TrackDocumentIsCutFromTheWholeExport)
{
    auto whole = [](std::FILE* out, const std::vector<track_point>& points, std::size_t first,
                    std::size_t count) {
        print_track(out, std::vector<track_point>(points.begin() + first,
                                                  points.begin() + first + count));
    };
    std::string all = document(whole, 0, log.size());
    auto nth = [&](const std::string& tag, std::uint32_t n) {
        std::size_t at = all.find(tag);
        while (n-- > 0 && at != std::string::npos)
            at = all.find(tag, at + 1);
        return at == std::string::npos ? all.find("<trk>") : at;
    };
    std::uint32_t number = 0;
    for (const track_entry& t : summarize_log(log).tracks) {
        std::string own = document(whole, t.first, t.count);
        std::string header = own.substr(0, own.find("</metadata>\n") + 12);
        std::size_t trk = nth("<trk>", number++);
        std::size_t trk_end = all.find("</trk>\n", trk) + 7;
        std::string expected = header +
                               all.substr(nth("<wpt", t.push_from),
                                          nth("<wpt", t.push_to) - nth("<wpt", t.push_from)) +
                               all.substr(trk, trk_end - trk) + "</gpx>\n";
        EXPECT_EQ(document(print_part, t.first, t.count), expected) << t.first;
    }
}

}  // namespace
