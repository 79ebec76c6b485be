// The tracks, their distances and the drawing's path, in one pass.
#include "report/track_summary.h"

#include <algorithm>
#include <bit>
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

// "YYYY-MM-DD hh:mm:ss": every field of a packed time is below 64 and its
// year within 2000-2063, so each prints in its fixed width.
void append_time(std::string& out, std::uint32_t packed)
{
    point_time t = decode_time(packed);
    const int fields[] = {t.year / 100, t.year % 100, t.month, t.day, t.hour, t.minute, t.second};
    const char after[] = "\0-- ::";
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        out += static_cast<char>('0' + fields[i] / 10);
        out += static_cast<char>('0' + fields[i] % 10);
        if (i + 1 < std::size(fields) && after[i])
            out += after[i];
    }
}

std::string time_text(std::uint32_t packed)
{
    std::string text = "\"";
    append_time(text, packed);
    return text + "\"";
}

// Track t's extent (see log_summary::extents).
void add_extent(log_summary& s, std::size_t t)
{
    float west = INFINITY, east = -INFINITY, south = INFINITY, north = -INFINITY;
    for (std::uint32_t k = s.path_from[t]; k < s.path_from[t + 1]; ++k) {
        west = std::min(west, s.path[2 * k]);
        east = std::max(east, s.path[2 * k]);
        south = std::min(south, s.path[2 * k + 1]);
        north = std::max(north, s.path[2 * k + 1]);
    }
    const track_entry& e = s.tracks[t];
    if (s.path_from[t] == s.path_from[t + 1]) {
        west = static_cast<float>(e.min_lon / 1e7);
        east = static_cast<float>(e.max_lon / 1e7);
        south = static_cast<float>(e.min_lat / 1e7);
        north = static_cast<float>(e.max_lat / 1e7);
    }
    s.extents.insert(s.extents.end(), {west, east, south, north});
}

// The cell of a coordinate in cells of size degrees (a power of two, so
// the multiplication is exact).
std::int64_t cell_of(float v, double size)
{
    return static_cast<std::int64_t>(std::floor(v * (1 / size)));
}

// The pairs of a level as indices into the path (every pair of it where
// whole), with each track's first.
struct kept_pairs {
    bool whole = false;
    std::vector<std::uint32_t> pairs;
    std::vector<std::uint32_t> from;
};

// Of the level (whose tracks start at from), each track's first and last
// pair and every pair that leaves the cell of size degrees of the last one
// kept.
kept_pairs thinned(const std::vector<float>& path, const kept_pairs& level, double size)
{
    kept_pairs next;
    next.pairs.reserve((level.whole ? path.size() / 2 : level.pairs.size()) / 2);
    for (std::size_t t = 0; t + 1 < level.from.size(); ++t) {
        next.from.push_back(static_cast<std::uint32_t>(next.pairs.size()));
        std::int64_t kept_x = 0, kept_y = 0;
        for (std::uint32_t k = level.from[t]; k < level.from[t + 1]; ++k) {
            std::uint32_t pair = level.whole ? k : level.pairs[k];
            std::int64_t x = cell_of(path[2 * pair], size), y = cell_of(path[2 * pair + 1], size);
            bool ends = k == level.from[t] || k + 1 == level.from[t + 1];
            if (!ends && x == kept_x && y == kept_y)
                continue;
            next.pairs.push_back(pair);
            kept_x = x;
            kept_y = y;
        }
    }
    next.from.push_back(static_cast<std::uint32_t>(next.pairs.size()));
    return next;
}

// How many pairs share a cell with the pair before them from which level on
// (counted in doublings of the finest cell): a pair can only leave a level
// where it does, so a level that cannot halve the last one kept need not be
// thinned at all.
std::vector<std::size_t> merging_from(const std::vector<float>& path,
                                      const std::vector<std::uint32_t>& from)
{
    std::vector<std::size_t> merging(65);
    for (std::size_t t = 0; t + 1 < from.size(); ++t)
        for (std::uint32_t k = from[t] + 1; k < from[t + 1]; ++k) {
            // Two cells are one from the doubling on that clears the bits they differ in.
            auto differ = [&](std::size_t i) {
                return cell_of(path[i], finest_cell) ^ cell_of(path[i - 2], finest_cell);
            };
            ++merging[std::bit_width(static_cast<std::uint64_t>(differ(2 * k) | differ(2 * k + 1)))];
        }
    return merging;
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
        append_time(s_.push_times, p.timestamp);
    }
    t.push_to = pushes_;
    gpx_.add(p);
    add_to_path(s_, s_.points++, p, limit_);
}

void log_summary_builder::reserve(std::size_t points)
{
    s_.path.reserve(2 * std::min<std::size_t>(points, limit_));
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
    for (std::size_t t = 0; t < s_.tracks.size(); ++t)
        add_extent(s_, t);
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
    std::vector<std::size_t> merging = merging_from(path, from);
    kept_pairs last{.whole = true, .pairs = {}, .from = from};
    std::vector<path_level> levels;
    std::size_t kept = path.size() / 2, may_merge = 0;
    int doublings = 0;
    for (double size = finest_cell; size <= coarsest_cell; size *= 2, ++doublings) {
        may_merge += merging[doublings];
        if (path.size() / 2 - may_merge > kept / 2)
            continue;
        last = thinned(path, last, size);
        if (last.pairs.empty() || last.pairs.size() * 2 > kept)
            continue;
        kept = last.pairs.size();
        path_level level{.cell = size, .xy = {}, .from = last.from};
        level.xy.reserve(2 * kept);
        for (std::uint32_t pair : last.pairs) {
            level.xy.push_back(path[2 * pair]);
            level.xy.push_back(path[2 * pair + 1]);
        }
        levels.push_back(std::move(level));
    }
    return levels;
}

std::int64_t clock_seconds(std::uint32_t packed)
{
    point_time t = decode_time(packed);
    return days(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::int64_t seconds_between(std::uint32_t start, std::uint32_t end)
{
    return clock_seconds(end) - clock_seconds(start);
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
