// The GPX writer: bounds, push log points as waypoints, every point in its
// numbered track. Numbers are formatted straight from the stored integers into
// a large buffer that goes to the stream in few big writes.
#include "report/gpx.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>

#include "datafile/layout.h"
#include "version.h"

namespace {

// The document's texts, in the order they are written. A line with numbers is
// split around them; its whole form stands in the comment above its pieces.
constexpr char declaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr char gpx_start[] =
    "<gpx version=\"1.1\" creator=\"trekdump " TREKDUMP_VERSION "\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns=\"http://www.topografix.com/GPX/1/1\""
    " xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1"
    " http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
constexpr char metadata_start[] = "<metadata>\n";
// <bounds minlat="%.7f" minlon="%.7f" maxlat="%.7f" maxlon="%.7f"/>
constexpr char bounds_minlat[] = "<bounds minlat=\"";
constexpr char bounds_minlon[] = "\" minlon=\"";
constexpr char bounds_maxlat[] = "\" maxlat=\"";
constexpr char bounds_maxlon[] = "\" maxlon=\"";
constexpr char bounds_end[] = "\"/>\n";
constexpr char metadata_end[] = "</metadata>\n";
// <wpt lat="%.7f" lon="%.7f">  and  <trkpt lat="%.7f" lon="%.7f">
constexpr char wpt_lat[] = "<wpt lat=\"";
constexpr char trkpt_lat[] = "<trkpt lat=\"";
constexpr char point_lon[] = "\" lon=\"";
constexpr char point_lon_end[] = "\">\n";
// <ele>%f</ele>: the altitude is whole metres, so its decimals are always zero.
constexpr char ele_start[] = "<ele>";
constexpr char ele_end[] = ".000000</ele>\n";
// <time>%4d-%.2d-%.2dT%.2d:%.2d:%.2dZ</time>
constexpr char time_start[] = "<time>";
constexpr char time_end[] = "Z</time>\n";
// <name>Push Log Point %d</name>
constexpr char wpt_name[] = "<name>Push Log Point ";
constexpr char wpt_name_end[] = "</name>\n";
constexpr char wpt_end[] = "</wpt>\n";
constexpr char trkpt_end[] = "</trkpt>\n";
// <trk> <name>Track %d</name> <number>%d</number> <trkseg>
constexpr char trk_name[] = "<trk>\n<name>Track ";
constexpr char trk_number[] = "</name>\n<number>";
constexpr char trk_number_end[] = "</number>\n<trkseg>\n";
constexpr char trk_end[] = "</trkseg>\n</trk>\n";
constexpr char gpx_end[] = "</gpx>\n";

// The stored coordinates are degrees times this.
constexpr std::uint32_t units_per_degree = 10000000;

// "00" to "99", two characters per number.
constexpr std::array<char, 200> two_digits = [] {
    std::array<char, 200> digits{};
    for (int i = 0; i < 100; ++i) {
        digits[2 * i] = static_cast<char>('0' + i / 10);
        digits[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return digits;
}();

template <std::size_t n>
char* put(char* p, const char (&text)[n])
{
    std::memcpy(p, text, n - 1);
    return p + n - 1;
}

// A number below 100 in two digits ("%.2d").
char* put_two(char* p, unsigned value)
{
    std::memcpy(p, &two_digits[2 * value], 2);
    return p + 2;
}

// A number without leading zeros ("%u"). Whole degrees and altitudes mostly
// have one to three digits.
char* put_unsigned(char* p, std::uint64_t value)
{
    if (value < 10) {
        *p = static_cast<char>('0' + value);
        return p + 1;
    }
    if (value < 100)
        return put_two(p, static_cast<unsigned>(value));
    if (value < 1000) {
        *p = static_cast<char>('0' + value / 100);
        return put_two(p + 1, static_cast<unsigned>(value % 100));
    }
    char digits[20];
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::size_t count = static_cast<std::size_t>(digits + sizeof digits - first);
    std::memcpy(p, first, count);
    return p + count;
}

// A minus sign for a negative value; magnitude receives its absolute value.
char* put_sign(char* p, std::int64_t value, std::uint64_t& magnitude)
{
    magnitude = value < 0 ? 0u - static_cast<std::uint64_t>(value)
                          : static_cast<std::uint64_t>(value);
    if (value < 0)
        *p++ = '-';
    return p;
}

// A coordinate in degrees with seven decimals ("%.7f" of the stored value
// divided by 10,000,000), which shows the stored integer exactly: -1 is
// "-0.0000001", -2147483648 is "-214.7483648".
char* put_degrees(char* p, std::int32_t stored)
{
    std::uint64_t magnitude;
    p = put_sign(p, stored, magnitude);
    p = put_unsigned(p, magnitude / units_per_degree);
    *p++ = '.';
    auto fraction = static_cast<unsigned>(magnitude % units_per_degree);
    p[6] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
    put_two(p + 4, fraction % 100);
    fraction /= 100;
    put_two(p + 2, fraction % 100);
    put_two(p, fraction / 100);
    return p + 7;
}

// The lines every waypoint and track point share, after "<wpt lat=\"" or
// "<trkpt lat=\"": the position, the elevation and the time.
char* put_point(char* p, const track_point& point)
{
    p = put_degrees(p, point.latitude);
    p = put(p, point_lon);
    p = put_degrees(p, point.longitude);
    p = put(p, point_lon_end);

    std::uint64_t metres;
    p = put(p, ele_start);
    p = put_sign(p, point.altitude, metres);
    p = put_unsigned(p, metres);
    p = put(p, ele_end);

    // Every field of the packed time is below 64 and the year lies within
    // 2000-2063, so each prints in its fixed width.
    point_time t = decode_time(point.timestamp);
    p = put(p, time_start);
    p = put_two(p, static_cast<unsigned>(t.year / 100));
    p = put_two(p, static_cast<unsigned>(t.year % 100));
    *p++ = '-';
    p = put_two(p, static_cast<unsigned>(t.month));
    *p++ = '-';
    p = put_two(p, static_cast<unsigned>(t.day));
    *p++ = 'T';
    p = put_two(p, static_cast<unsigned>(t.hour));
    *p++ = ':';
    p = put_two(p, static_cast<unsigned>(t.minute));
    *p++ = ':';
    p = put_two(p, static_cast<unsigned>(t.second));
    return put(p, time_end);
}

// Collects the document and hands it to the stream in large writes. After a
// failed write nothing more is written; the stream's error indicator keeps
// the failure for the caller.
class document_buffer {
public:
    explicit document_buffer(std::FILE* out)
        : out_(out), large_(new (std::nothrow) char[large_size])
    {
        // Without memory for the large buffer the document still comes out
        // whole, only in smaller writes.
        begin_ = large_ ? large_.get() : small_;
        end_ = begin_;
        last_start_ = begin_ + (large_ ? large_size : sizeof small_) - max_piece;
    }

    // Where the next piece goes, with room for one point's lines.
    char* room()
    {
        if (end_ > last_start_)
            flush();
        return end_;
    }
    void filled_to(char* end) { end_ = end; }

    void flush()
    {
        std::size_t count = static_cast<std::size_t>(end_ - begin_);
        if (!failed_ && std::fwrite(begin_, 1, count, out_) != count)
            failed_ = true;
        end_ = begin_;
    }

private:
    // The longest piece written at once: the header, or a track's opening
    // with its first point.
    static constexpr std::size_t max_piece = 512;
    static_assert(sizeof declaration + sizeof gpx_start + sizeof metadata_start +
                      sizeof bounds_minlat + 4 * (sizeof bounds_minlon + 12) +
                      sizeof metadata_end <
                  max_piece);
    // Measured: a quarter of a megabyte writes a large document markedly
    // faster than 64 KiB, and more gains nothing.
    static constexpr std::size_t large_size = 256 * 1024;

    std::FILE* out_;
    bool failed_ = false;
    std::unique_ptr<char[]> large_;
    char small_[2 * max_piece];
    char* begin_;
    char* end_;
    char* last_start_;
};

gpx_bounds bounds_of(std::span<const track_point> points)
{
    gpx_bounds b;
    for (const track_point& point : points)
        b.add(point);
    return b;
}

// The declaration, the root start tag and the metadata. An empty log has no
// bounds: the accumulators' start values lie outside the valid ranges.
void write_header(document_buffer& out, std::span<const track_point> points)
{
    char* p = out.room();
    p = put(p, declaration);
    p = put(p, gpx_start);
    p = put(p, metadata_start);
    if (!points.empty()) {
        gpx_bounds b = bounds_of(points);
        p = put(p, bounds_minlat);
        p = put_degrees(p, b.min_lat);
        p = put(p, bounds_minlon);
        p = put_degrees(p, b.min_lon);
        p = put(p, bounds_maxlat);
        p = put_degrees(p, b.max_lat);
        p = put(p, bounds_maxlon);
        p = put_degrees(p, b.max_lon);
        p = put(p, bounds_end);
    }
    out.filled_to(put(p, metadata_end));
}

// Every push log point as a waypoint, numbered on from before + 1.
void write_waypoints(document_buffer& out, std::span<const track_point> points,
                     std::uint64_t before = 0)
{
    std::uint64_t count = before;
    for (const track_point& point : points) {
        if (!(point.flags & layout::flag_push_point))
            continue;
        char* p = out.room();
        p = put(p, wpt_lat);
        p = put_point(p, point);
        p = put(p, wpt_name);
        p = put_unsigned(p, ++count);
        p = put(p, wpt_name_end);
        out.filled_to(put(p, wpt_end));
    }
}

// Every point in its track, one segment per track. A track opens at each
// point that starts one; the points before the first such point form a track
// of their own, opened at the first point of the log. Tracks are numbered on
// from before + 1.
void write_tracks(document_buffer& out, std::span<const track_point> points,
                  std::uint64_t before = 0)
{
    std::uint64_t count = before;
    for (const track_point& point : points) {
        char* p = out.room();
        if (count == before || (point.flags & layout::flag_track_start)) {
            if (count > before)
                p = put(p, trk_end);
            ++count;
            p = put(p, trk_name);
            p = put_unsigned(p, count);
            p = put(p, trk_number);
            p = put_unsigned(p, count);
            p = put(p, trk_number_end);
        }
        p = put(p, trkpt_lat);
        p = put_point(p, point);
        out.filled_to(put(p, trkpt_end));
    }
    if (count > before)
        out.filled_to(put(out.room(), trk_end));
}

}  // namespace

namespace {

void write_document(std::FILE* out, std::span<const track_point> points,
                    std::uint64_t waypoints_before, std::uint64_t tracks_before)
{
    document_buffer buffer(out);
    write_header(buffer, points);
    write_waypoints(buffer, points, waypoints_before);
    write_tracks(buffer, points, tracks_before);
    buffer.filled_to(put(buffer.room(), gpx_end));
    buffer.flush();
}

}  // namespace

void print_track(std::FILE* out, const std::vector<track_point>& points)
{
    write_document(out, points, 0, 0);
}

void print_points(std::FILE* out, std::span<const track_point> part,
                  std::uint64_t waypoints_before, std::uint64_t tracks_before)
{
    write_document(out, part, waypoints_before, tracks_before);
}

void print_part(std::FILE* out, const std::vector<track_point>& points, std::size_t first,
                std::size_t count)
{
    std::uint64_t waypoints = 0;
    std::uint64_t tracks = 0;
    for (std::size_t i = 0; i < first; ++i) {
        waypoints += (points[i].flags & layout::flag_push_point) != 0;
        tracks += i == 0 || (points[i].flags & layout::flag_track_start);
    }
    print_points(out, std::span(points).subspan(first, count), waypoints, tracks);
}

namespace {

// The characters of a number without leading zeros ("%u") below 100,000:
// an altitude's.
std::uint64_t digits(std::uint64_t value)
{
    return 1 + (value >= 10) + (value >= 100) + (value >= 1000) + (value >= 10000);
}

// The characters of the numbers 1 to n together.
std::uint64_t digits_up_to(std::uint64_t n)
{
    std::uint64_t count = 0;
    for (std::uint64_t low = 1, width = 1; low <= n; low *= 10, ++width)
        count += (std::min(n, low * 10 - 1) - low + 1) * width;
    return count;
}

// As put_degrees writes it: sign, whole degrees (one to three digits: the
// stored value is a 32-bit number), point, seven decimals.
std::uint64_t degrees_size(std::int32_t stored)
{
    std::uint64_t magnitude = stored < 0 ? 0u - static_cast<std::uint64_t>(stored)
                                         : static_cast<std::uint64_t>(stored);
    return (stored < 0) + 1 + (magnitude >= 10ull * units_per_degree) +
           (magnitude >= 100ull * units_per_degree) + 8;
}

constexpr std::uint64_t text_size(std::size_t with_nul) { return with_nul - 1; }

// What put_point writes beyond the coordinates and the altitude's digits.
constexpr std::uint64_t point_fixed = text_size(sizeof point_lon) + text_size(sizeof point_lon_end) +
                                      text_size(sizeof ele_start) + text_size(sizeof ele_end) +
                                      text_size(sizeof time_start) + 19 + text_size(sizeof time_end);

}  // namespace

void gpx_bounds::add(const track_point& point)
{
    if (point.latitude < min_lat)
        min_lat = point.latitude;
    if (point.latitude > max_lat)
        max_lat = point.latitude;
    if (point.longitude < min_lon)
        min_lon = point.longitude;
    if (point.longitude > max_lon)
        max_lon = point.longitude;
}

void gpx_size_counter::add(const track_point& p)
{
    bounds_.add(p);
    std::uint64_t metres = p.altitude < 0 ? -p.altitude : p.altitude;
    std::uint64_t numbers = degrees_size(p.latitude) + degrees_size(p.longitude) + (p.altitude < 0) +
                            digits(metres);
    point_bytes_ += numbers;
    if (p.flags & layout::flag_push_point) {
        ++waypoints_;
        waypoint_bytes_ += numbers;
    }
    tracks_ += points_++ == 0 || (p.flags & layout::flag_track_start);
}

std::uint64_t gpx_size_counter::size() const
{
    std::uint64_t size = text_size(sizeof declaration) + text_size(sizeof gpx_start) +
                         text_size(sizeof metadata_start) + text_size(sizeof metadata_end) +
                         text_size(sizeof gpx_end);
    if (points_ > 0)
        size += text_size(sizeof bounds_minlat) + text_size(sizeof bounds_minlon) +
                text_size(sizeof bounds_maxlat) + text_size(sizeof bounds_maxlon) +
                text_size(sizeof bounds_end) + degrees_size(bounds_.min_lat) + degrees_size(bounds_.min_lon) +
                degrees_size(bounds_.max_lat) + degrees_size(bounds_.max_lon);
    size += waypoint_bytes_ + digits_up_to(waypoints_) +
            waypoints_ * (text_size(sizeof wpt_lat) + point_fixed + text_size(sizeof wpt_name) +
                          text_size(sizeof wpt_name_end) + text_size(sizeof wpt_end));
    size += point_bytes_ + points_ * (text_size(sizeof trkpt_lat) + point_fixed + text_size(sizeof trkpt_end));
    size += 2 * digits_up_to(tracks_) +
            tracks_ * (text_size(sizeof trk_name) + text_size(sizeof trk_number) +
                       text_size(sizeof trk_number_end) + text_size(sizeof trk_end));
    return size;
}
