// Writes the data files of the browser page's test into a folder: the images
// the end-to-end cases run on, built the same way, one file each.
#include <cstdio>
#include <string>
#include <vector>

#include "datafile_builder.h"
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
        // A track over the 180° meridian, northwards on its far side.
        {"across_meridian", datafile_builder()
                                .add_point(0x03, pack_time(2008, 8, 17, 6, 0, 0), 0, 1799000000, 0)
                                .add_point(0x00, pack_time(2008, 8, 17, 6, 0, 5), 0, -1799000000, 0)
                                .add_point(0x00, pack_time(2008, 8, 17, 6, 0, 10), 2000000,
                                           -1799000000, 0)
                                .add_end_marker()},
        // A password the listing shows after a zone's "UTC", non-ASCII bytes.
        {"stored_values", every_field_set()
                              .set_byte(layout::gps_mode.offset + 1, 0)
                              .set_password("UTCwander")
                              .set_byte(layout::password.offset + 9, 0x81)},
    };
    for (const auto& f : files) {
        std::string path = std::string(argv[1]) + "/" + f.name + ".DAT";
        if (!f.image.write(path)) {
            std::fprintf(stderr, "%s: cannot write '%s'\n", argv[0], path.c_str());
            return 1;
        }
    }
    return 0;
}
