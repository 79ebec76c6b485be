// The log reader: 16-byte records from byte 4096 up to the end marker or a
// record cut short by the end of the file.
#include <algorithm>
#include <cstdint>
#include <new>

#include "datafile/layout.h"
#include "datafile/track_point.h"
#include "sys/sys.h"

namespace {

// Records per block read of read_track (64 KiB).
constexpr std::size_t block_records = 4096;

// Reads one little-endian field of width bytes in one piece.
template <class T>
bool read_field(std::FILE* file, layout::field where, T& value)
{
    unsigned char bytes[4];
    if (std::fread(bytes, 1, where.width, file) != where.width)
        return false;
    value = static_cast<T>(get_le(bytes, where.width));
    return true;
}

template <class T>
T field_of(const unsigned char* record, layout::field where)
{
    return static_cast<T>(get_le(record + where.offset, where.width));
}

track_point decode_record(const unsigned char* record)
{
    return track_point{
        field_of<std::uint8_t>(record, layout::rec_flags),
        field_of<std::uint8_t>(record, layout::rec_reserved),
        field_of<std::uint32_t>(record, layout::rec_timestamp),
        field_of<std::int32_t>(record, layout::rec_latitude),
        field_of<std::int32_t>(record, layout::rec_longitude),
        field_of<std::int16_t>(record, layout::rec_altitude),
    };
}

// The number of whole records between the log's start and the end of the
// stream, or 0 where the stream cannot tell its size.
std::size_t records_in_file(std::FILE* file)
{
    if (sys::seek(file, 0, SEEK_END) != 0)
        return 0;
    std::int64_t size = sys::tell(file);
    if (size <= layout::log_start)
        return 0;
    return static_cast<std::size_t>(size - layout::log_start) / layout::record_size;
}

// Huge pages for the list: a log of a million points would otherwise cost
// some five thousand page faults.
void prefer_huge_pages(std::vector<track_point>& points)
{
    sys::prefer_huge_pages(points.data(), points.capacity() * sizeof(track_point));
}

// Appends the points of count whole records; false once the end marker is met.
bool decode_records(const unsigned char* bytes, std::size_t count,
                    std::vector<track_point>& points)
{
    for (std::size_t i = 0; i < count; ++i, bytes += layout::record_size) {
        if (bytes[layout::rec_flags.offset] == layout::end_marker)
            return false;
        points.push_back(decode_record(bytes));
    }
    return true;
}

}  // namespace

int read_point(std::FILE* file, track_point* point)
{
    if (!point)
        return -1;
    // The fields follow one another, so the record is consumed in file order.
    bool whole = read_field(file, layout::rec_flags, point->flags) &&
                 read_field(file, layout::rec_reserved, point->reserved) &&
                 read_field(file, layout::rec_timestamp, point->timestamp) &&
                 read_field(file, layout::rec_latitude, point->latitude) &&
                 read_field(file, layout::rec_longitude, point->longitude) &&
                 read_field(file, layout::rec_altitude, point->altitude);
    if (!whole || point->flags == layout::end_marker)
        return -1;
    return 0;
}

std::size_t log_points(const unsigned char* file, std::size_t size, std::size_t from)
{
    if (size < static_cast<std::size_t>(layout::log_start))
        return 0;
    std::size_t records = (size - layout::log_start) / layout::record_size;
    std::size_t count = std::min(from, records);
    const unsigned char* record = file + layout::log_start + count * layout::record_size;
    while (count < records && record[layout::rec_flags.offset] != layout::end_marker) {
        ++count;
        record += layout::record_size;
    }
    return count;
}

track_point log_point(const unsigned char* file, std::size_t index)
{
    return decode_record(file + layout::log_start + index * layout::record_size);
}

// The same points as read_point one after the other from byte 4096, but read
// in large blocks into a list reserved from the file's size.
int read_track(std::FILE* file, std::vector<track_point>& points)
{
    points.clear();
    try {
        std::size_t expected = records_in_file(file);
        // A stream that cannot reach the log's start (a memory image shorter
        // than 4096 bytes) holds no log, as a short file does.
        if (sys::seek(file, layout::log_start, SEEK_SET) != 0)
            return 0;
        try {
            points.reserve(expected);
            prefer_huge_pages(points);
        } catch (const std::bad_alloc&) {
            // A file far longer than its log: the list grows as it is read.
        }
        std::vector<unsigned char> block(block_records * layout::record_size);
        for (;;) {
            std::size_t got = std::fread(block.data(), 1, block.size(), file);
            // Past the last whole record lies a cut-short one, which ends the log.
            if (!decode_records(block.data(), got / layout::record_size, points) ||
                got < block.size())
                break;
        }
        // A read error is no end of the log: the caller learns of it.
        if (std::ferror(file)) {
            points = std::vector<track_point>();
            return -1;
        }
    } catch (const std::bad_alloc&) {
        points = std::vector<track_point>();
        return -1;
    }
    return 0;
}
