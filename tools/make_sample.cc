// Writes a synthetic but realistic NVPIPE.DAT: plausible settings and a log of
// four tracks (a walk, a bicycle ride, a car trip, another walk) with a few
// push log points, closed by an end marker.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "datafile_builder.h"

namespace {

struct leg {
    int points;
    int seconds_per_point;
    double metres_per_point;
    double heading_degrees;
    int push_every;  // every n-th point is a push log point (0: none)
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 1;
    }
    datafile_builder data;
    data.set(layout::log_mode, 2).set(layout::time_zone, 100).set_password("wander");
    // The device keeps the second bytes of the sbas and gps_mode slots at 0.
    data.set_byte(layout::sbas.offset + 1, 0).set_byte(layout::gps_mode.offset + 1, 0);

    const leg legs[] = {
        {120, 5, 6.0, 40.0, 50},
        {150, 3, 15.0, 110.0, 60},
        {100, 2, 40.0, 200.0, 0},
        {90, 5, 5.0, 320.0, 30},
    };
    // Start near Lake Constance, on a summer morning in 2008.
    double lat = 47.6603, lon = 9.1758, alt = 398.0;
    long clock = ((6 * 60) + 12) * 60;  // seconds since midnight
    unsigned step = 0;
    for (const leg& l : legs) {
        for (int i = 0; i < l.points; ++i, ++step) {
            double wiggle = std::sin(step * 0.21) * 25.0;
            double heading = (l.heading_degrees + wiggle) * std::numbers::pi / 180.0;
            lat += l.metres_per_point * std::cos(heading) / 111320.0;
            lon += l.metres_per_point * std::sin(heading) / (111320.0 * std::cos(lat * std::numbers::pi / 180.0));
            alt += std::sin(step * 0.05) * 1.5;
            clock += l.seconds_per_point;
            unsigned flags = i == 0 ? layout::flag_track_start : 0;
            if (l.push_every && i % l.push_every == l.push_every / 2)
                flags |= layout::flag_push_point;
            long day_seconds = clock % 86400;
            data.add_point(flags,
                           pack_time(2008, 8, 17 + static_cast<int>(clock / 86400),
                                     static_cast<int>(day_seconds / 3600),
                                     static_cast<int>(day_seconds / 60 % 60),
                                     static_cast<int>(day_seconds % 60)),
                           static_cast<std::int32_t>(std::lround(lat * 1e7)),
                           static_cast<std::int32_t>(std::lround(lon * 1e7)),
                           static_cast<std::int16_t>(std::lround(alt)));
        }
        clock += 45 * 60;  // a break between the tracks
    }
    data.add_end_marker();
    if (!data.write(argv[1])) {
        std::fprintf(stderr, "%s: cannot write '%s'\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
