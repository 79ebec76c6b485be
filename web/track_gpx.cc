// The log's tracks for the page. trekdump_track_gpx: the GPX document of one
// track for "Download this track": the log's points from first on, count of
// them, written by the tool's own writer as a document of their own. The page
// keeps its header, whose bounds are the track's, and takes the rest from the
// whole export. trekdump_push_points: the place in the log of every push log
// point, so that each belongs to the track that holds it.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "datafile/layout.h"
#include "datafile/track_point.h"
#include "report/gpx.h"

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

}  // namespace

extern "C" int trekdump_track_gpx(const char* data_path, const char* gpx_path,
                                  std::uint32_t first, std::uint32_t count)
{
    std::vector<track_point> points;
    if (!read_log(data_path, points) || first > points.size() || count > points.size() - first)
        return -1;
    std::vector<track_point> track(points.begin() + first, points.begin() + first + count);
    std::FILE* out = std::fopen(gpx_path, "w");
    if (!out)
        return -1;
    print_track(out, track);
    return std::fclose(out) == 0 ? 0 : -1;
}

// The indexes (from 0, in log order) of the push log points, as 32-bit
// little-endian numbers: the n-th is the n-th waypoint of the export.
extern "C" int trekdump_push_points(const char* data_path, const char* out_path)
{
    std::vector<track_point> points;
    if (!read_log(data_path, points))
        return -1;
    std::vector<unsigned char> indexes;
    for (std::uint32_t i = 0; i < points.size(); ++i)
        if (points[i].flags & layout::flag_push_point)
            for (int shift = 0; shift < 32; shift += 8)
                indexes.push_back(static_cast<unsigned char>(i >> shift));
    std::FILE* out = std::fopen(out_path, "wb");
    if (!out)
        return -1;
    bool written = std::fwrite(indexes.data(), 1, indexes.size(), out) == indexes.size();
    return std::fclose(out) == 0 && written ? 0 : -1;
}
