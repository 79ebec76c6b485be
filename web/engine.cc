// What the page learns from the engine about the opened data file, which
// the engine holds in its own memory from the page's reading on and reads
// where it lies: the page copies the file into the room trekdump_receive
// gives, part by part; trekdump_summarize gathers the log's summary in
// steps as the parts come in, so that the page can say how far it is, and
// trekdump_summary hands over its parts.
// The settings (trekdump_settings), the document of one track
// (trekdump_track_gpx) and its profile (trekdump_profile) are written to
// out_path for the page to read; each returns 0, or -1 when the file holds
// no such thing or the output cannot be written.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
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

// The opened data file, its log's length and the summary of its log.
struct opened_file {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
    std::size_t points = 0;
    std::size_t summarized = 0;
    log_summary_builder builder;
    bool finished = false;
    log_summary summary;
    std::string json;
    std::vector<std::uint32_t> parts;  // see gather_parts
};

opened_file opened;

bool points_of(std::uint32_t first, std::uint32_t count)
{
    return opened.finished && first <= opened.points && count <= opened.points - first;
}

// The log's points from first on, count of them.
std::vector<track_point> points_from(std::uint32_t first, std::uint32_t count)
{
    std::vector<track_point> points;
    points.reserve(count);
    for (std::size_t i = first; i < std::size_t{first} + count; ++i)
        points.push_back(log_point(opened.bytes.get(), i));
    return points;
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

// The summary's parts where the page finds them: the JSON text, the push log
// points' positions and times, the tracks' extents, then the number of levels of the
// drawing's path and each (the path itself first) as its pairs and its
// tracks' first pairs; each as where it lies and how many bytes, floats or
// numbers it holds.
void gather_parts()
{
    const log_summary& s = opened.summary;
    auto part = [](const void* data, std::size_t count) {
        opened.parts.push_back(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data)));
        opened.parts.push_back(static_cast<std::uint32_t>(count));
    };
    part(opened.json.data(), opened.json.size());
    part(s.push_xy.data(), s.push_xy.size());
    part(s.push_times.data(), s.push_times.size());
    part(s.extents.data(), s.extents.size());
    opened.parts.push_back(static_cast<std::uint32_t>(1 + s.coarser.size()));
    part(s.path.data(), s.path.size());
    part(s.path_from.data(), s.path_from.size());
    for (const path_level& level : s.coarser) {
        part(level.xy.data(), level.xy.size());
        part(level.from.data(), level.from.size());
    }
}

}  // namespace

// Room for a data file of size bytes, which the page fills; whatever was
// opened before is dropped. Null where the memory cannot be had. The
// engine's memory grows once, for the file and what its summary will take
// beside it (room below the file, given back at once for the summary to
// use): each later growth may copy all of it in the browser.
extern "C" unsigned char* trekdump_receive(std::uint32_t size)
{
    opened = opened_file();
    std::size_t records = size > layout::log_start ? (size - layout::log_start) / layout::record_size : 0;
    std::size_t summary = 2 * 2 * sizeof(float) * std::min<std::size_t>(records, 1u << 21) +
                          records / 8 + (8u << 20);
    std::unique_ptr<unsigned char[]> room(new (std::nothrow) unsigned char[summary]);
    opened.bytes.reset(new (std::nothrow) unsigned char[size ? size : 1]);
    room.reset();
    opened.size = opened.bytes ? size : 0;
    opened.builder.reserve(records);
    return opened.bytes.get();
}

// Adds up to count more points to the summary, of those in the first
// received bytes of the file (all of it, once every part has come): the
// points summarized so far. The points there are known from then on.
extern "C" std::uint32_t trekdump_summarize(std::uint32_t received, std::uint32_t count)
{
    std::size_t there = log_points(opened.bytes.get(), std::min<std::size_t>(received, opened.size),
                                   opened.summarized);
    std::size_t end = std::min(there, opened.summarized + count);
    for (; opened.summarized < end; ++opened.summarized)
        opened.builder.add(log_point(opened.bytes.get(), opened.summarized));
    opened.points = there;
    return static_cast<std::uint32_t>(opened.summarized);
}

// Once every point of the whole file is summarized: the table of the summary's parts
// (gather_parts), kept until the next file is received.
extern "C" const std::uint32_t* trekdump_summary()
{
    if (!opened.finished) {
        opened.summary = opened.builder.finish();
        opened.json = summary_json(opened.summary);
        opened.finished = true;
        gather_parts();
    }
    return opened.parts.data();
}

// The settings of the configuration block as settings_json gives them.
extern "C" int trekdump_settings(const char* out_path)
{
    device_conf conf;
    if (opened.size < layout::conf_block_end || decode_conf(opened.bytes.get(), &conf) != 0)
        return -1;
    return write_text(out_path, settings_json(conf));
}

// The GPX document of the track whose points are first .. first + count - 1,
// as print_points writes it: "Download this track".
extern "C" int trekdump_track_gpx(const char* out_path, std::uint32_t first, std::uint32_t count)
{
    if (!points_of(first, count))
        return -1;
    const std::vector<track_entry>& tracks = opened.summary.tracks;
    std::size_t n = 0;
    while (n < tracks.size() && !(tracks[n].first == first && tracks[n].count == count))
        ++n;
    if (n == tracks.size())
        return -1;
    std::FILE* out = std::fopen(out_path, "w");
    if (!out)
        return -1;
    print_points(out, points_from(first, count), tracks[n].push_from, n);
    bool written = !std::ferror(out);
    return close(out, written) ? 0 : -1;
}

// The elevation and speed profile of the log's points from first on, count
// of them (a track), in width pixel columns, against distance or, with
// against_time 1, against time: profile_json's text.
extern "C" int trekdump_profile(const char* out_path, std::uint32_t first, std::uint32_t count,
                                std::uint32_t width, std::uint32_t against_time)
{
    if (!points_of(first, count) || count == 0 || width == 0 || width > profile_width_limit)
        return -1;
    return write_text(out_path, profile_json(profile_of(points_from(first, count), first, width,
                                                        against_time != 0)));
}
