// Writes a data file with a log of N points for the export benchmark: a long
// wander in tracks of 2,000 points, one push log point in 100, closed by an
// end marker.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "datafile_builder.h"

int main(int argc, char** argv)
{
    std::int64_t count = argc == 3 ? std::atoll(argv[1]) : -1;
    if (count < 0) {
        std::fprintf(stderr, "usage: %s POINTS OUTPUT\n", argv[0]);
        return 1;
    }
    datafile_builder data;
    // Degrees times 10,000,000, near Lake Constance; whole metres.
    std::int32_t lat = 476603000, lon = 91758000;
    int alt = 398;
    std::uint64_t seed = 1;
    std::int64_t clock = 6 * 3600;  // seconds since 2008-08-17 00:00 UTC
    for (std::int64_t i = 0; i < count; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        lat += static_cast<std::int32_t>((seed >> 33) % 2001) - 1000;
        lon += static_cast<std::int32_t>((seed >> 45) % 2001) - 1000;
        alt += static_cast<int>((seed >> 20) % 3) - 1;
        clock += 5;
        unsigned flags = (i % 2000 == 0 ? layout::flag_track_start : 0) |
                         (i % 100 == 50 ? layout::flag_push_point : 0);
        std::int64_t day = clock / 86400 % 28, second = clock % 86400;
        data.add_point(flags,
                       pack_time(2008, 8, 1 + static_cast<int>(day),
                                 static_cast<int>(second / 3600),
                                 static_cast<int>(second / 60 % 60),
                                 static_cast<int>(second % 60)),
                       lat, lon, static_cast<std::int16_t>(alt));
    }
    data.add_end_marker();
    if (!data.write(argv[2])) {
        std::fprintf(stderr, "%s: cannot write '%s'\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
