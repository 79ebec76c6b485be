// Writes the data files of the browser page's test into a folder: the images
// the end-to-end cases run on, built the same way, one file each, and beside
// each its tracks' summary as the native engine computes it (NAME.tracks.json).
#include <cstdio>
#include <string>
#include <vector>

#include "datafile/track_point.h"
#include "datafile_builder.h"
#include "report/track_summary.h"
#include "support/listing_fixture.h"

namespace {

// A point before the first track start, two tracks, two push log points.
datafile_builder export_log()
{
    return unnormalised()
        .add_point(0x00, pack_time(2008, 8, 17, 6, 12, 5), 476603413, 91758514, 398)
        .add_point(0x03, pack_time(2008, 8, 17, 6, 12, 10), 476604100, 91759020, 399)
        .add_point(0x00, pack_time(2008, 8, 17, 6, 12, 15), 476605012, 91760101, 401)
        .add_point(0x01, pack_time(2008, 8, 17, 7, 7, 3), -9999, -15, -3)
        .add_point(0x02, pack_time(2008, 8, 17, 7, 7, 8), -10000, -1, 0);
}

// Push log points whose times say nothing of their track: the second track's
// clock runs backwards, the third repeats the first one's times.
datafile_builder pushes_by_place()
{
    const std::uint32_t ten = pack_time(2008, 8, 17, 10, 0, 0);
    const std::uint32_t nine = pack_time(2008, 8, 17, 9, 0, 0);
    return datafile_builder()
        .set_byte(layout::gps_mode.offset + 1, 0)
        .add_point(0x01, ten, 476603000, 91758000, 398)
        .add_point(0x02, ten + 5, 476603100, 91758100, 398)
        .add_point(0x03, ten + 10, 476603200, 91758200, 398)
        .add_point(0x02, nine, 476603300, 91758300, 398)
        .add_point(0x02, nine - 5, 476603400, 91758400, 398)
        .add_point(0x01, ten, 476603500, 91758500, 398)
        .add_point(0x00, ten + 5, 476603600, 91758600, 398)
        .add_end_marker();
}

// A walk with a stop of 100 s and a climb, then a track of four seconds.
datafile_builder figures()
{
    datafile_builder data;
    std::int32_t lat = 476603000;
    int second = 0;
    int ele = 398;
    for (int i = 0; i < 40; ++i) {
        bool standing = i >= 15 && i < 20;
        second += standing ? 20 : 5;
        lat += standing ? 0 : 600;
        ele += i % 3 == 0 ? 12 : -2;
        data.add_point(i == 0 ? 0x01 : i == 10 ? 0x02 : 0x00,
                       pack_time(2008, 8, 17, 9, second / 60, second % 60), lat, 91758000,
                       static_cast<std::int16_t>(ele));
    }
    for (int i = 0; i < 3; ++i)
        data.add_point(i == 0 ? 0x01 : 0x00, pack_time(2008, 8, 17, 10, 0, 2 * i), lat += 300,
                       91758000, 420);
    return data.add_end_marker();
}

// A logger set to the zone (hundredths of an hour) and units given, with two
// walks: one from 18:10 to 19:49 UTC on the 14th, which ends on the next day
// in zones east of UTC+04:11, and one from 02:00 to 04:10 UTC on the 15th,
// with a stop, which starts on the day before in zones west of UTC-02:00.
datafile_builder local_times(std::int16_t zone, unsigned char unit)
{
    datafile_builder data;
    data.set(layout::time_zone, static_cast<std::uint16_t>(zone)).set(layout::system_unit, unit);
    std::int32_t lat = 463000000;
    const struct {
        int minute;  // since 2008-08-14 00:00 UTC
        int points;
        std::int16_t ele;
    } walks[] = {{18 * 60 + 10, 100, 400}, {24 * 60 + 2 * 60, 131, 1900}};
    for (const auto& w : walks)
        for (int i = 0; i < w.points; ++i) {
            int t = w.minute + i;
            bool standing = i >= 40 && i < 50 && w.ele > 1000;
            lat += standing ? 0 : 4500 + 400 * (i % 7);
            data.add_point(i == 0 ? 0x01 : i % 25 == 0 ? 0x02 : 0x00,
                           pack_time(2008, 8, 14 + t / 1440, t / 60 % 24, t % 60, 0), lat, 91758000,
                           static_cast<std::int16_t>(w.ele + (w.ele > 1000 ? -7 : 3) * i + i % 4 * 5));
        }
    return data.add_end_marker();
}

// The summary of the log in the data file at path, as the page's engine
// gives it.
bool write_summary(const std::string& path, const std::string& out_path)
{
    std::vector<track_point> points;
    std::FILE* data = std::fopen(path.c_str(), "rb");
    if (!data)
        return false;
    int read = read_track(data, points);
    std::fclose(data);
    if (read != 0)
        return false;
    std::string json = summary_json(summarize_log(points));
    std::FILE* out = std::fopen(out_path.c_str(), "wb");
    if (!out)
        return false;
    bool written = std::fwrite(json.data(), 1, json.size(), out) == json.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 1;
    }
    datafile_builder unknown_values;
    unknown_values.set_byte(layout::gps_mode.offset + 1, 0)
        .add_point(0x01, pack_time(2008, 8, 17, 18, 25, 49), 476603000, 91758000, 398)
        .add_point(0x0A, pack_time(2008, 8, 17, 18, 25, 54), 476604000, 91759000, 399)
        .add_end_marker();
    const struct {
        const char* name;
        datafile_builder image;
    } files[] = {
        {"one_point", unnormalised()
                          .add_point(1, pack_time(2008, 8, 17, 18, 25, 49), 476603000, 91758000, 398)
                          .add_end_marker()},
        {"two_points", datafile_builder()
                           .set_password("secret")
                           .add_point(1, pack_time(2008, 8, 17, 18, 25, 49), 476603000, 91758000, 398)
                           .add_point(2, pack_time(2008, 8, 17, 18, 26, 0), 476604000, 91759000, 401)
                           .add_end_marker()},
        {"export_log", export_log().add_end_marker()},
        {"export_log_cut", export_log().append(std::vector<unsigned char>(9, 0))},
        {"empty_log", unnormalised().add_end_marker()},
        {"no_log_area", unnormalised().resize(1024)},
        {"short", datafile_builder().resize(1023)},
        {"block_only", datafile_builder().resize(1024)},
        {"every_field", every_field_set()},
        {"unknown_values", unknown_values},
        {"unknown_log_mode", unnormalised().set_byte(layout::log_mode.offset, 0)},
        // A password no text field can hold, for the page's untouched field.
        {"password_cr", export_log()
                            .set_byte(layout::gps_mode.offset + 1, 0)
                            .set_password("ab\rcd")
                            .add_end_marker()},
        {"pushes_by_place", pushes_by_place()},
        {"figures", figures()},
        // A track over the 180° meridian, northwards on its far side.
        {"across_meridian", datafile_builder()
                                .add_point(0x03, pack_time(2008, 8, 17, 6, 0, 0), 0, 1799000000, 0)
                                .add_point(0x00, pack_time(2008, 8, 17, 6, 0, 5), 0, -1799000000, 0)
                                .add_point(0x00, pack_time(2008, 8, 17, 6, 0, 10), 2000000,
                                           -1799000000, 0)
                                .add_end_marker()},
        // Times in half-hour and 45-minute zones, east and west; imperial units.
        {"local_0530", local_times(550, 0)},
        {"local_0545", local_times(575, 1)},
        {"local_m0330", local_times(-350, 0)},
        // A password the listing shows after a zone's "UTC", non-ASCII bytes.
        {"stored_values", every_field_set()
                              .set_byte(layout::gps_mode.offset + 1, 0)
                              .set_password("UTCwander")
                              .set_byte(layout::password.offset + 9, 0x81)},
    };
    for (const auto& f : files) {
        std::string path = std::string(argv[1]) + "/" + f.name;
        if (!f.image.write(path + ".DAT") || !write_summary(path + ".DAT", path + ".tracks.json")) {
            std::fprintf(stderr, "%s: cannot write '%s.DAT' and its summary\n", argv[0], path.c_str());
            return 1;
        }
    }
    return 0;
}
