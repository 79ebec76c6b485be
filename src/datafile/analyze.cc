// The analysis pass: the configuration fields whose values the device is known
// to use, then every log record, each value outside the known set reported
// with the offset where it stands.
#include "datafile/analyze.h"

#include "datafile/layout.h"
#include "datafile/track_point.h"

namespace {

// One configuration check: the field, the known values from low to high, and
// the report line, whose fixed offset is part of the text.
struct conf_check {
    layout::field where;
    unsigned low, high;
    const char* report;
};

// Of the sbas slot only the first byte is checked; gps_mode is checked with
// its second byte, as one 16-bit value.
constexpr conf_check conf_checks[] = {
    {layout::log_mode, 1, 4, "unknown value '%u' at offset 0x00000000\n"},
    {layout::clear_memory, 0, 1, "unknown value '%u' at offset 0x00000002\n"},
    {layout::shake_mode, 0, 1, "unknown value '%u' at offset 0x00000006\n"},
    {layout::user_log_mode, 5, 9, "unknown value '%u' at offset 0x0000000A\n"},
    {layout::system_unit, 0, 1, "unknown value '%u' at offset 0x0000000E\n"},
    {layout::fix_mode, 1, 3, "unknown value '%u' at offset 0x0000036D\n"},
    {{layout::sbas.offset, 1}, 0, 1, "unknown value '%u' at offset 0x00000396\n"},
    {layout::gps_mode, 0, 5, "unknown value '%u' at offset 0x000003FE\n"},
};

constexpr char record_report[] = "unknown value '%u' at offset %#.8llx\n";
constexpr char time_line[] = "time = %4d-%.2d-%.2dT%.2d:%.2d:%.2dZ\n";
constexpr char position_line[] = "lat = %.7f, lon = %.7f, alt = %d\n";

constexpr double units_per_degree = 10000000.0;

// Reads the checked field and reports it when unknown. False when the field
// cannot be read.
bool run_check(std::FILE* file, const conf_check& check, std::FILE* out)
{
    unsigned char bytes[2];
    if (!read_at(file, check.where.offset, bytes, check.where.width))
        return false;
    auto value = static_cast<unsigned>(get_le(bytes, check.where.width));
    if (value < check.low || value > check.high)
        std::fprintf(out, check.report, value);
    return true;
}

// Reports the unknown flag bits and reserved byte of the record that starts
// at offset, followed by the point itself.
void check_record(const track_point& point, std::int64_t offset, std::FILE* out)
{
    bool reported = false;
    if (point.flags & layout::flags_unknown) {
        std::fprintf(out, record_report, unsigned{point.flags},
                     static_cast<unsigned long long>(offset + layout::rec_flags.offset));
        reported = true;
    }
    if (point.reserved != 0) {
        std::fprintf(out, record_report, unsigned{point.reserved},
                     static_cast<unsigned long long>(offset + layout::rec_reserved.offset));
        reported = true;
    }
    if (!reported)
        return;
    point_time t = decode_time(point.timestamp);
    std::fprintf(out, time_line, t.year, t.month, t.day, t.hour, t.minute, t.second);
    std::fprintf(out, position_line, point.latitude / units_per_degree,
                 point.longitude / units_per_degree, int{point.altitude});
}

}  // namespace

int analyze(std::FILE* file, std::FILE* out)
{
    for (const conf_check& check : conf_checks)
        if (!run_check(file, check, out))
            return -1;

    // A file that ends before the log has no records. (On a regular file the
    // seek succeeds and the first read finds the end.)
    if (sys::seek(file, layout::log_start, SEEK_SET) != 0)
        return 0;
    track_point point;
    while (read_point(file, &point) == 0)
        check_record(point, sys::tell(file) - static_cast<std::int64_t>(layout::record_size), out);
    // A read error is no end of the log.
    return std::ferror(file) ? -1 : 0;
}
