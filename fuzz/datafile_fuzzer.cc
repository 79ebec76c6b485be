// Fuzz target: any byte image as the data file. The readers, the GPX writer,
// the analysis, the listing and the page's tracks with their figures and
// profiles must take it without crashing, hanging or
// reading out of bounds, and writing the configuration block back must leave
// every byte outside the configuration fields as it was.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "datafile/analyze.h"
#include "datafile/device_conf.h"
#include "datafile/layout.h"
#include "datafile/track_point.h"
#include "report/gpx.h"
#include "report/listing.h"
#include "report/track_profile.h"
#include "report/track_summary.h"

namespace {

using image = std::vector<unsigned char>;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "datafile fuzzer: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what)
{
    if (!ok)
        fail(what);
}

std::FILE* null_stream()
{
    static std::FILE* stream = std::fopen("/dev/null", "w");
    return stream;
}

// A read-only stream over the image, as the readers see the data file.
struct memory_file {
    explicit memory_file(image& bytes)
        // fmemopen wants a buffer even for an empty image.
        : stream(fmemopen(bytes.empty() ? &spare : bytes.data(), bytes.size(), "rb"))
    {
        check(stream != nullptr, "fmemopen failed");
    }
    ~memory_file() { std::fclose(stream); }
    memory_file(const memory_file&) = delete;
    memory_file& operator=(const memory_file&) = delete;

    unsigned char spare = 0;
    std::FILE* stream;
};

// Writes conf into a real file holding the image (a memfd, so writes land
// exactly where they would on disk) and returns the file's bytes afterwards.
image write_back(const image& bytes, const device_conf& conf)
{
    static int fd = memfd_create("NVPIPE.DAT", 0);
    check(fd >= 0, "memfd_create failed");
    check(ftruncate(fd, 0) == 0, "ftruncate failed");
    check(pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()),
          "pwrite failed");
    std::FILE* stream = fdopen(dup(fd), "r+b");
    check(stream != nullptr, "fdopen failed");
    device_conf before;
    std::memcpy(&before, &conf, sizeof conf);
    check(write_conf(stream, &conf) == 0, "write_conf failed on a complete block");
    check(std::fclose(stream) == 0, "fclose failed");
    check(std::memcmp(&before, &conf, sizeof conf) == 0, "write_conf changed its record");

    struct stat info;
    check(fstat(fd, &info) == 0 && static_cast<std::size_t>(info.st_size) == bytes.size(),
          "write_conf changed the file's size");
    image after(bytes.size());
    check(pread(fd, after.data(), after.size(), 0) == static_cast<ssize_t>(after.size()),
          "pread failed");
    return after;
}

// The password slot as a rewrite leaves it: from the first 0x00 or 0xEE on,
// every byte becomes 0xEE.
void normalise_password_slot(image& bytes)
{
    auto* slot = &bytes[layout::password.offset];
    std::size_t i = 0;
    while (i < layout::password_length && slot[i] != 0 && slot[i] != layout::password_fill)
        ++i;
    std::memset(slot + i, layout::password_fill, layout::password_length - i);
}

// The bytes write_conf may change: each field at its offset, the slots of
// sbas and gps_mode only in their first byte.
std::vector<bool> written_bytes(std::size_t size)
{
    static constexpr layout::field fields[] = {
        layout::log_mode,
        layout::clear_memory,
        layout::time_zone,
        layout::shake_mode,
        layout::shake_mode_time,
        layout::user_log_mode,
        layout::contrast,
        layout::system_unit,
        layout::backlight_time,
        layout::time_interval,
        layout::distance_interval,
        layout::heading_change,
        layout::highest_speed,
        layout::high_speed,
        layout::middle_speed,
        layout::low_speed,
        layout::lowest_speed,
        layout::highest_speed_interval,
        layout::high_speed_interval,
        layout::middle_speed_interval,
        layout::low_speed_interval,
        layout::password,
        layout::initial_min_svs,
        layout::fix_mode,
        layout::fix_altitude_2d,
        layout::initial_min_strength,
        layout::navigation_min_strength,
        layout::pdop_mask,
        layout::tdop_mask,
        layout::p_accuracy_mask,
        layout::t_accuracy_mask,
        layout::checksum_word,
        {layout::sbas.offset, layout::slot_write_width},
        {layout::gps_mode.offset, layout::slot_write_width},
    };
    std::vector<bool> mask(size, false);
    for (const layout::field& f : fields)
        for (std::size_t i = 0; i < f.width; ++i)
            mask[static_cast<std::size_t>(f.offset) + i] = true;
    return mask;
}

// Fills conf with every field chosen by the fuzzer. Records are compared
// whole with memcmp, so they start all zero, padding included.
void arbitrary_conf(FuzzedDataProvider& pick, device_conf& conf)
{
    std::memset(&conf, 0, sizeof conf);
    conf.log_mode = pick.ConsumeIntegral<std::uint8_t>();
    conf.clear_memory = pick.ConsumeIntegral<std::uint8_t>();
    conf.time_zone = pick.ConsumeIntegral<std::int16_t>();
    conf.shake_mode = pick.ConsumeIntegral<std::uint8_t>();
    conf.shake_mode_time = pick.ConsumeIntegral<std::uint8_t>();
    conf.user_log_mode = pick.ConsumeIntegral<std::uint8_t>();
    conf.contrast = pick.ConsumeIntegral<std::uint8_t>();
    conf.system_unit = pick.ConsumeIntegral<std::uint8_t>();
    conf.backlight_time = pick.ConsumeIntegral<std::uint8_t>();
    conf.time_interval = pick.ConsumeIntegral<std::uint16_t>();
    conf.distance_interval = pick.ConsumeIntegral<std::uint16_t>();
    conf.heading_change = pick.ConsumeIntegral<std::uint8_t>();
    conf.highest_speed = pick.ConsumeIntegral<std::uint16_t>();
    conf.high_speed = pick.ConsumeIntegral<std::uint16_t>();
    conf.middle_speed = pick.ConsumeIntegral<std::uint16_t>();
    conf.low_speed = pick.ConsumeIntegral<std::uint16_t>();
    conf.lowest_speed = pick.ConsumeIntegral<std::uint16_t>();
    conf.highest_speed_interval = pick.ConsumeIntegral<std::uint16_t>();
    conf.high_speed_interval = pick.ConsumeIntegral<std::uint16_t>();
    conf.middle_speed_interval = pick.ConsumeIntegral<std::uint16_t>();
    conf.low_speed_interval = pick.ConsumeIntegral<std::uint16_t>();
    std::string password = pick.ConsumeRandomLengthString(layout::password_length);
    std::strncpy(conf.password, password.c_str(), layout::password_length);
    conf.initial_min_svs = pick.ConsumeIntegral<std::uint8_t>();
    conf.fix_mode = pick.ConsumeIntegral<std::uint8_t>();
    conf.fix_altitude_2d = pick.ConsumeIntegralInRange<std::uint32_t>(0, 0xFFFFFF);
    conf.initial_min_strength = pick.ConsumeIntegral<std::uint8_t>();
    conf.navigation_min_strength = pick.ConsumeIntegral<std::uint8_t>();
    conf.pdop_mask = pick.ConsumeIntegral<std::uint16_t>();
    conf.tdop_mask = pick.ConsumeIntegral<std::uint16_t>();
    conf.p_accuracy_mask = pick.ConsumeIntegral<std::uint16_t>();
    conf.t_accuracy_mask = pick.ConsumeIntegral<std::uint16_t>();
    conf.checksum_word = pick.ConsumeIntegral<std::uint16_t>();
    conf.sbas = pick.ConsumeIntegral<std::uint8_t>();
    conf.gps_mode = pick.ConsumeIntegral<std::uint8_t>();
}

// The configuration block: read, write back unchanged, write a changed record.
void check_conf_block(image& bytes, FuzzedDataProvider& pick)
{
    device_conf conf{};
    int result;
    {
        memory_file file(bytes);
        result = read_conf(file.stream, &conf);
    }
    std::size_t head = std::min<std::size_t>(bytes.size(), layout::conf_block_end);
    check((result == 0) == (bytes.size() >= static_cast<std::size_t>(layout::conf_block_end) &&
                            !begins_as_xml(bytes.data(), head)),
          "read_conf must succeed exactly on images of at least 1024 bytes not begun as XML");
    if (result != 0)
        return;
    std::size_t length = strnlen(conf.password, sizeof conf.password);
    check(length <= layout::password_length, "password not terminated");
    check(std::memchr(conf.password, layout::password_fill, length) == nullptr,
          "password holds the fill byte");
    check(conf.fix_altitude_2d <= 0xFFFFFF, "fix_altitude_2d beyond 24 bits");
    print_conf(null_stream(), conf);

    image expected = bytes;
    normalise_password_slot(expected);
    check(write_back(bytes, conf) == expected, "read then write changed the file");

    // Any record: only the fields' own bytes change, and they read back.
    device_conf changed;
    arbitrary_conf(pick, changed);
    image after = write_back(bytes, changed);
    std::vector<bool> mask = written_bytes(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (!mask[i] && after[i] != bytes[i])
            fail("write_conf touched a byte outside the configuration fields");
    // A record whose first fields spell the start of an XML document ('<'
    // as the log mode) makes a file that is no longer taken for a data file.
    if (begins_as_xml(after.data(), layout::conf_block_end))
        return;
    device_conf reread;
    std::memset(&reread, 0, sizeof reread);
    memory_file file(after);
    check(read_conf(file.stream, &reread) == 0, "read_conf failed after write_conf");
    char* fill = static_cast<char*>(
        std::memchr(changed.password, layout::password_fill, sizeof changed.password));
    if (fill)
        *fill = '\0';  // a fill byte in the password ends it on reading
    check(std::strcmp(reread.password, changed.password) == 0,
          "a written password does not read back as written");
    // Past its NUL the password holds what the slot held: not compared.
    std::memcpy(reread.password, changed.password, sizeof changed.password);
    check(std::memcmp(&reread, &changed, sizeof changed) == 0,
          "a written record does not read back as written");
}

// The tracks cover the log; whatever their clocks do, no figure is negative
// where it cannot be, and a profile has at most one column per pixel.
void check_tracks(const std::vector<track_point>& points)
{
    log_summary summary = summarize_log(points);
    std::size_t covered = 0;
    for (const track_entry& t : summary.tracks) {
        check(t.first == covered && t.count > 0, "the tracks do not cover the log in order");
        covered += t.count;
        const track_stats& f = t.stats;
        check(f.moving_s >= 0 && f.paused_s >= 0 && f.stops >= 0 && f.ascent_m >= 0 &&
                  f.descent_m >= 0 && f.min_ele_m <= f.max_ele_m && f.distance_m >= 0,
              "a track's figure is out of its range");
        check(f.average_kmh.has_value() == (f.moving_s > 0), "an average without moving time");
        for (bool against_time : {false, true}) {
            track_profile profile = profile_of(points, t.first, t.count, 300, against_time);
            check(!profile.columns.empty() && profile.columns.size() <= 300 &&
                      profile.columns.back().column < 300,
                  "a profile beyond its columns");
            for (const profile_column& c : profile.columns)
                check(c.min_ele_m <= c.max_ele_m && c.min_kmh <= c.max_kmh,
                      "a column's lowest value above its highest");
        }
    }
    check(covered == points.size(), "the tracks do not cover the log");
}

// The log: as many points as whole records before the end marker, each as
// its bytes say; then the GPX document and the analysis.
void check_log(image& bytes)
{
    std::vector<track_point> points;
    {
        memory_file file(bytes);
        check(read_track(file.stream, points) == 0, "read_track failed");
    }
    std::size_t n = 0;
    for (std::size_t at = layout::log_start;
         at + layout::record_size <= bytes.size() && bytes[at] != layout::end_marker;
         at += layout::record_size, ++n) {
        check(n < points.size(), "read_track missed a record");
        const track_point& p = points[n];
        const unsigned char* r = &bytes[at];
        check(p.flags == r[0] && p.reserved == r[1] &&
                  p.timestamp == get_le(r + layout::rec_timestamp.offset, 4) &&
                  static_cast<std::uint32_t>(p.latitude) == get_le(r + layout::rec_latitude.offset, 4) &&
                  static_cast<std::uint32_t>(p.longitude) == get_le(r + layout::rec_longitude.offset, 4) &&
                  static_cast<std::uint16_t>(p.altitude) == get_le(r + layout::rec_altitude.offset, 2),
              "a point differs from its record");
    }
    check(points.size() == n, "read_track read past the end of the log");
    check(log_points(bytes.data(), bytes.size()) == n, "the log read in memory ends elsewhere");
    check_tracks(points);

    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* gpx = open_memstream(&text, &length);
    check(gpx != nullptr, "open_memstream failed");
    print_track(gpx, points);
    check(std::fclose(gpx) == 0, "closing the GPX stream failed");
    std::string_view doc(text, length);
    std::size_t trkpts = 0, wpts = 0, pushes = 0;
    for (std::size_t at = 0; (at = doc.find("<trkpt ", at)) != doc.npos; ++at)
        ++trkpts;
    for (std::size_t at = 0; (at = doc.find("<wpt ", at)) != doc.npos; ++at)
        ++wpts;
    for (const track_point& p : points)
        pushes += (p.flags & layout::flag_push_point) != 0;
    check(doc.ends_with("</gpx>\n"), "the GPX document is not closed");
    check(trkpts == points.size(), "not every point is a track point");
    check(wpts == pushes, "not every push log point is a waypoint");
    check(summarize_log(points).gpx_bytes == length, "the GPX document's size is counted wrong");
    std::free(text);

    memory_file file(bytes);
    check((analyze(file.stream, null_stream()) == 0) ==
              (bytes.size() >= static_cast<std::size_t>(layout::conf_block_end)),
          "analyze must succeed exactly on images of at least 1024 bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    image bytes(data, data + size);
    FuzzedDataProvider pick(data, size);
    check_conf_block(bytes, pick);
    check_log(bytes);
    return 0;
}
