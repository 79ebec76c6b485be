// The GPX document of one track for the page's "Download this track": the
// log's points from first on, count of them, written by the tool's own
// writer as a document of their own. The page keeps its header, whose bounds
// are the track's, and takes the rest from the whole export.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "datafile/track_point.h"
#include "report/gpx.h"

extern "C" int trekdump_track_gpx(const char* data_path, const char* gpx_path,
                                  std::uint32_t first, std::uint32_t count)
{
    std::FILE* data = std::fopen(data_path, "rb");
    if (!data)
        return -1;
    std::vector<track_point> points;
    int read = read_track(data, points);
    std::fclose(data);
    if (read != 0 || first > points.size() || count > points.size() - first)
        return -1;
    std::vector<track_point> track(points.begin() + first, points.begin() + first + count);
    std::FILE* out = std::fopen(gpx_path, "w");
    if (!out)
        return -1;
    print_track(out, track);
    return std::fclose(out) == 0 ? 0 : -1;
}
