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
        {"password_cr", export_log().set_password("ab\rcd").add_end_marker()},
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
