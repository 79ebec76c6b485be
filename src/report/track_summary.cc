// The tracks, their distances and the drawing's path, in one pass.
#include "report/track_summary.h"

#include <cmath>
#include <cstdio>

#include "datafile/layout.h"

namespace {

// Rounded to the nearest whole number, halves upwards.
double round_half_up(double v)
{
    double down = std::floor(v);
    return v - down >= 0.5 ? down + 1 : down;
}

// Keeps every stride-th point; when the path is full, every second one of
// it goes and the stride doubles.
void add_to_path(log_summary& s, std::uint32_t index, const track_point& p, std::uint32_t limit)
{
    if (s.path.size() == 2 * std::size_t{limit}) {
        for (std::size_t i = 0; i < limit / 2; ++i) {
            s.path[2 * i] = s.path[4 * i];
            s.path[2 * i + 1] = s.path[4 * i + 1];
        }
        s.path.resize(limit);
        s.stride *= 2;
    }
    if (index % s.stride != 0)
        return;
    double x = p.longitude / 1e7;
    if (!s.path.empty())
        x += 360 * round_half_up((s.path[s.path.size() - 2] - x) / 360);
    s.path.push_back(static_cast<float>(x));
    s.path.push_back(static_cast<float>(p.latitude / 1e7));
}

void widen(track_entry& t, const track_point& p)
{
    if (t.count == 0) {
        t.min_lat = t.max_lat = p.latitude;
        t.min_lon = t.max_lon = p.longitude;
        return;
    }
    t.min_lat = std::min(t.min_lat, p.latitude);
    t.max_lat = std::max(t.max_lat, p.latitude);
    t.min_lon = std::min(t.min_lon, p.longitude);
    t.max_lon = std::max(t.max_lon, p.longitude);
}

// Days since 1970-01-01 of a date whose month may lie outside 1-12 and whose
// day may lie outside the month: both carry over.
std::int64_t days(std::int64_t year, std::int64_t month, std::int64_t day)
{
    year += (month - 1 >= 0 ? (month - 1) / 12 : -((12 - month) / 12));
    month = ((month - 1) % 12 + 12) % 12 + 1;
    year -= month <= 2;
    std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    std::int64_t year_of_era = year - era * 400;
    std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5;
    std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468 + day - 1;
}

std::int64_t seconds_of(std::uint32_t packed)
{
    point_time t = decode_time(packed);
    return days(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::string time_text(std::uint32_t packed)
{
    point_time t = decode_time(packed);
    char text[32];
    std::snprintf(text, sizeof text, "\"%04d-%02d-%02d %02d:%02d:%02d\"", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// Of level (whose tracks start at from), each track's first and last pair
// and every pair that leaves the cell of the last one kept.
path_level thinned(const std::vector<float>& xy, const std::vector<std::uint32_t>& from,
                   double cell)
{
    path_level next{.cell = cell, .xy = {}, .from = {}};
    auto cell_of = [cell](float v) { return std::floor(v / cell); };
    for (std::size_t t = 0; t + 1 < from.size(); ++t) {
        next.from.push_back(static_cast<std::uint32_t>(next.xy.size() / 2));
        double kept_x = 0, kept_y = 0;
        for (std::uint32_t k = from[t]; k < from[t + 1]; ++k) {
            float x = xy[2 * k], y = xy[2 * k + 1];
            bool ends = k == from[t] || k + 1 == from[t + 1];
            if (!ends && cell_of(x) == kept_x && cell_of(y) == kept_y)
                continue;
            next.xy.push_back(x);
            next.xy.push_back(y);
            kept_x = cell_of(x);
            kept_y = cell_of(y);
        }
    }
    next.from.push_back(static_cast<std::uint32_t>(next.xy.size() / 2));
    return next;
}

}  // namespace

void log_summary_builder::add(const track_point& p)
{
    if (s_.tracks.empty() || (p.flags & layout::flag_track_start)) {
        if (!s_.tracks.empty())
            s_.tracks.back().stats = stats_.stats();
        stats_ = {};
        s_.tracks.push_back({.first = s_.points, .start = p.timestamp, .push_from = pushes_});
    }
    track_entry& t = s_.tracks.back();
    stats_.add(p);
    widen(t, p);
    ++t.count;
    t.end = p.timestamp;
    if (p.flags & layout::flag_push_point) {
        ++pushes_;
        s_.push_xy.push_back(static_cast<float>(p.longitude / 1e7));
        s_.push_xy.push_back(static_cast<float>(p.latitude / 1e7));
    }
    t.push_to = pushes_;
    gpx_.add(p);
    add_to_path(s_, s_.points++, p, limit_);
}

log_summary log_summary_builder::finish()
{
    if (!s_.tracks.empty())
        s_.tracks.back().stats = stats_.stats();
    // A track's pairs in the path: those of its points whose index is a
    // multiple of the stride.
    auto first_pair = [&](std::uint64_t point) {
        return static_cast<std::uint32_t>((point + s_.stride - 1) / s_.stride);
    };
    s_.path_from.clear();
    for (const track_entry& t : s_.tracks)
        s_.path_from.push_back(first_pair(t.first));
    s_.path_from.push_back(first_pair(s_.points));
    s_.coarser = coarser_levels(s_.path, s_.path_from);
    s_.gpx_bytes = gpx_.size();
    return std::move(s_);
}

log_summary summarize_log(const std::vector<track_point>& points, std::uint32_t path_limit)
{
    log_summary_builder builder(path_limit);
    for (const track_point& p : points)
        builder.add(p);
    return builder.finish();
}

std::vector<path_level> coarser_levels(const std::vector<float>& path,
                                       const std::vector<std::uint32_t>& from)
{
    std::vector<path_level> levels;
    path_level last;
    const path_level* before = nullptr;  // the path itself at first
    std::size_t kept = path.size();
    for (double cell = finest_cell; cell <= coarsest_cell; cell *= 2) {
        last = before ? thinned(before->xy, before->from, cell) : thinned(path, from, cell);
        before = &last;
        if (!last.xy.empty() && last.xy.size() * 2 <= kept) {
            kept = last.xy.size();
            levels.push_back(last);
        }
    }
    return levels;
}

std::int64_t seconds_between(std::uint32_t start, std::uint32_t end)
{
    return seconds_of(end) - seconds_of(start);
}

std::string json_number(std::optional<double> v)
{
    if (!v)
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", *v);
    return text;
}

std::string summary_json(const log_summary& s)
{
    std::string out = "{\"points\":" + std::to_string(s.points) +
                      ",\"stride\":" + std::to_string(s.stride) + ",\"first_time\":" +
                      (s.tracks.empty() ? "null" : time_text(s.tracks.front().start)) +
                      ",\"last_time\":" +
                      (s.tracks.empty() ? "null" : time_text(s.tracks.back().end)) +
                      ",\"tracks\":[";
    for (std::size_t i = 0; i < s.tracks.size(); ++i) {
        const track_entry& t = s.tracks[i];
        const track_stats& f = t.stats;
        out += (i ? ",\n{" : "{") + std::string("\"number\":") + std::to_string(i + 1) +
               ",\"first\":" + std::to_string(t.first) + ",\"count\":" + std::to_string(t.count) +
               ",\"start\":" + time_text(t.start) + ",\"end\":" + time_text(t.end) +
               ",\"seconds\":" + std::to_string(f.seconds) +
               ",\"km\":" + json_number(f.distance_m / 1000) +
               ",\"push_from\":" + std::to_string(t.push_from) +
               ",\"push_to\":" + std::to_string(t.push_to) +
               ",\"push_points\":" + std::to_string(t.push_to - t.push_from) + ",\"bounds\":[" +
               std::to_string(t.min_lat) + "," + std::to_string(t.min_lon) + "," +
               std::to_string(t.max_lat) + "," + std::to_string(t.max_lon) + "]" +
               ",\"distance_m\":" + json_number(f.distance_m) +
               ",\"moving_s\":" + std::to_string(f.moving_s) +
               ",\"paused_s\":" + std::to_string(f.paused_s) +
               ",\"stops\":" + std::to_string(f.stops) +
               ",\"average_kmh\":" + json_number(f.average_kmh) +
               ",\"max_kmh\":" + json_number(f.max_kmh) +
               ",\"ascent_m\":" + std::to_string(f.ascent_m) +
               ",\"descent_m\":" + std::to_string(f.descent_m) +
               ",\"min_ele_m\":" + std::to_string(f.min_ele_m) +
               ",\"max_ele_m\":" + std::to_string(f.max_ele_m) + "}";
    }
    out += "],\"cells\":[";
    for (std::size_t i = 0; i < s.coarser.size(); ++i) {
        if (i > 0)
            out += ',';
        out += json_number(s.coarser[i].cell);
    }
    return out + "],\"gpx_bytes\":" + std::to_string(s.gpx_bytes) + "}\n";
}
