// The profile: each point's distance, time and speed, then the columns.
#include "report/track_profile.h"

#include <algorithm>

#include "report/track_stats.h"
#include "report/track_summary.h"

namespace {

struct profile_point {
    double distance_m = 0;
    std::int64_t seconds = 0;
    std::optional<double> kmh;
};

std::vector<profile_point> along(std::span<const track_point> points)
{
    std::vector<profile_point> out(points.size());
    window_speeds speeds;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0) {
            out[i].distance_m = out[i - 1].distance_m + metres_between(points[i - 1], points[i]);
            out[i].seconds = seconds_between(points[0].timestamp, points[i].timestamp);
        }
        speeds.add(static_cast<std::uint32_t>(i), out[i].seconds, out[i].distance_m,
                   [&](std::uint32_t k, double kmh) { out[k].kmh = kmh; });
    }
    return out;
}

void widen(std::optional<double>& low, std::optional<double>& high, std::optional<double> v)
{
    if (!v)
        return;
    low = std::min(low.value_or(*v), *v);
    high = std::max(high.value_or(*v), *v);
}

}  // namespace

track_profile profile_of(const std::vector<track_point>& points, std::size_t first,
                         std::size_t count, std::uint32_t width, bool against_time)
{
    if (first > points.size() || count > points.size() - first)
        return {.against_time = against_time};
    return profile_of(std::span(points).subspan(first, count), first, width, against_time);
}

track_profile profile_of(std::span<const track_point> track, std::size_t first,
                         std::uint32_t width, bool against_time)
{
    track_profile profile{.against_time = against_time};
    std::size_t count = track.size();
    if (count == 0)
        return profile;
    width = std::clamp<std::uint32_t>(width, 1, profile_width_limit);
    std::vector<profile_point> along_track = along(track);
    auto [earliest, latest] = std::minmax_element(
        along_track.begin(), along_track.end(),
        [](const profile_point& a, const profile_point& b) { return a.seconds < b.seconds; });
    double x_min = against_time ? static_cast<double>(earliest->seconds) : 0;
    profile.x_max = against_time ? static_cast<double>(latest->seconds) - x_min
                                 : along_track.back().distance_m;
    std::vector<profile_column> columns(width);
    std::vector<bool> used(width);
    for (std::size_t i = 0; i < count; ++i) {
        const profile_point& p = along_track[i];
        double x = (against_time ? static_cast<double>(p.seconds) : p.distance_m) - x_min;
        auto c = static_cast<std::uint32_t>(
            profile.x_max > 0 ? std::min<double>(width - 1, x / profile.x_max * width) : 0);
        profile_column& column = columns[c];
        int ele = track[i].altitude;
        if (!used[c]) {
            used[c] = true;
            column = {c, static_cast<std::uint32_t>(first + i), p.distance_m, p.seconds, ele, ele};
        }
        column.min_ele_m = std::min(column.min_ele_m, ele);
        column.max_ele_m = std::max(column.max_ele_m, ele);
        widen(column.min_kmh, column.max_kmh, p.kmh);
    }
    for (std::uint32_t c = 0; c < width; ++c)
        if (used[c])
            profile.columns.push_back(columns[c]);
    return profile;
}

std::string profile_json(const track_profile& profile)
{
    std::string out = std::string("{\"against\":\"") +
                      (profile.against_time ? "time" : "distance") +
                      "\",\"x_max\":" + json_number(profile.x_max) + ",\"columns\":[";
    for (std::size_t i = 0; i < profile.columns.size(); ++i) {
        const profile_column& c = profile.columns[i];
        out += (i ? ",\n[" : "[") + std::to_string(c.column) + "," + std::to_string(c.first) + "," +
               json_number(c.distance_m) + "," + std::to_string(c.seconds) + "," +
               std::to_string(c.min_ele_m) + "," + std::to_string(c.max_ele_m) + "," +
               json_number(c.min_kmh) + "," + json_number(c.max_kmh) + "]";
    }
    return out + "]}\n";
}
