// What the page learns from the engine, each written to out_path for the
// page to read: the settings (trekdump_settings), the log's tracks and the
// drawing's path (trekdump_tracks), the document of one track
// (trekdump_track_gpx), its profile (trekdump_profile) and the push log
// points' times (trekdump_push_times). Each returns 0, or -1 when the data file cannot be
// read or the output cannot be written.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "datafile/device_conf.h"
#include "datafile/layout.h"
#include "datafile/settings_view.h"
#include "datafile/track_point.h"
#include "report/gpx.h"
#include "report/track_profile.h"
#include "report/track_summary.h"

namespace {

bool read_log(const char* data_path, std::vector<track_point>& points)
{
    std::FILE* data = std::fopen(data_path, "rb");
    if (!data)
        return false;
    int read = read_track(data, points);
    std::fclose(data);
    return read == 0;
}

bool points_of(const std::vector<track_point>& points, std::uint32_t first, std::uint32_t count)
{
    return first <= points.size() && count <= points.size() - first;
}

bool write_all(std::FILE* out, const void* bytes, std::size_t size)
{
    return out && std::fwrite(bytes, 1, size, out) == size;
}

bool close(std::FILE* out, bool written)
{
    return out && std::fclose(out) == 0 && written;
}

// Writes text as the whole of out_path: 0, or -1.
int write_text(const char* out_path, const std::string& text)
{
    std::FILE* out = std::fopen(out_path, "wb");
    return close(out, write_all(out, text.data(), text.size())) ? 0 : -1;
}

}  // namespace

// The settings of the configuration block as settings_json gives them.
extern "C" int trekdump_settings(const char* data_path, const char* out_path)
{
    std::FILE* data = std::fopen(data_path, "rb");
    if (!data)
        return -1;
    device_conf conf;
    int read = read_conf(data, &conf);
    std::fclose(data);
    if (read != 0)
        return -1;
    return write_text(out_path, settings_json(conf));
}

// Three 32-bit little-endian numbers (the JSON text's bytes, the path's and
// the push log points' floats), the summary_json text padded with spaces to
// a multiple of four bytes, then the path and the push log points as 32-bit
// floats.
extern "C" int trekdump_tracks(const char* data_path, const char* out_path)
{
    std::vector<track_point> points;
    if (!read_log(data_path, points))
        return -1;
    log_summary summary = summarize_log(points);
    std::string json = summary_json(summary);
    json.resize((json.size() + 3) / 4 * 4, ' ');
    std::uint32_t sizes[3] = {static_cast<std::uint32_t>(json.size()),
                              static_cast<std::uint32_t>(summary.path.size()),
                              static_cast<std::uint32_t>(summary.push_xy.size())};
    std::FILE* out = std::fopen(out_path, "wb");
    bool written = write_all(out, sizes, sizeof sizes) && write_all(out, json.data(), json.size()) &&
                   write_all(out, summary.path.data(), summary.path.size() * sizeof(float)) &&
                   write_all(out, summary.push_xy.data(), summary.push_xy.size() * sizeof(float));
    return close(out, written) ? 0 : -1;
}

// The GPX document of the log's points from first on, count of them, as
// print_part writes it: of a track, "Download this track".
extern "C" int trekdump_track_gpx(const char* data_path, const char* gpx_path,
                                  std::uint32_t first, std::uint32_t count)
{
    std::vector<track_point> points;
    if (!read_log(data_path, points) || !points_of(points, first, count))
        return -1;
    std::FILE* out = std::fopen(gpx_path, "w");
    if (!out)
        return -1;
    print_part(out, points, first, count);
    bool written = !std::ferror(out);
    return close(out, written) ? 0 : -1;
}

// The elevation and speed profile of the log's points from first on, count
// of them (a track), in width pixel columns, against distance or, with
// against_time 1, against time: profile_json's text.
extern "C" int trekdump_profile(const char* data_path, const char* out_path, std::uint32_t first,
                                std::uint32_t count, std::uint32_t width, std::uint32_t against_time)
{
    std::vector<track_point> points;
    if (!read_log(data_path, points) || !points_of(points, first, count) || count == 0 ||
        width == 0 || width > profile_width_limit)
        return -1;
    return write_text(out_path,
                      profile_json(profile_of(points, first, count, width, against_time != 0)));
}

// The time of every push log point of the log, in their order (the GPX's
// numbering): a JSON array of "YYYY-MM-DD hh:mm:ss", UTC, for the markers of
// the drawing.
extern "C" int trekdump_push_times(const char* data_path, const char* out_path)
{
    std::vector<track_point> points;
    if (!read_log(data_path, points))
        return -1;
    std::string json = "[";
    for (const track_point& p : points) {
        if (!(p.flags & layout::flag_push_point))
            continue;
        point_time t = decode_time(p.timestamp);
        char text[40];
        std::snprintf(text, sizeof text, "%s\"%04d-%02d-%02d %02d:%02d:%02d\"", json.size() > 1 ? "," : "",
                      t.year, t.month, t.day, t.hour, t.minute, t.second);
        json += text;
    }
    json += "]\n";
    return write_text(out_path, json);
}
