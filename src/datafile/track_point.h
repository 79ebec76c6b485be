// One logged point of the data file's log, and the readers of the log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// A 16-byte log record, decoded. Coordinates are degrees times 10,000,000.
struct track_point {
    std::uint8_t flags;
    std::uint8_t reserved;
    std::uint32_t timestamp;  // packed UTC time, see point_time
    std::int32_t latitude;
    std::int32_t longitude;
    std::int16_t altitude;  // metres
};

// The packed timestamp, unpacked. Years are counted from 2000 in the file.
struct point_time {
    int year, month, day, hour, minute, second;
};

inline point_time decode_time(std::uint32_t t)
{
    return point_time{
        2000 + static_cast<int>(t >> 26),         static_cast<int>((t >> 22) & 0x0F),
        static_cast<int>((t >> 17) & 0x1F),       static_cast<int>((t >> 12) & 0x1F),
        static_cast<int>((t >> 6) & 0x3F),        static_cast<int>(t & 0x3F),
    };
}

// Reads the record at the stream's position into point. Returns 0 for a
// point, -1 at the end of the log (end marker, a cut-short record, or no point).
int read_point(std::FILE* file, track_point* point);

// Reads the whole log, from byte 4096 up to its end, into points in file
// order. Returns 0, or -1 when memory for the points cannot be had.
int read_track(std::FILE* file, std::vector<track_point>& points);

// The log of a whole data file held in memory (size bytes from file), read
// where it lies: the number of its points, as read_track would read them,
// and the point of each index below that number. Of the first size bytes of
// a file that are there so far, the points there, looked for from the point
// of index from on (which must be a point).
std::size_t log_points(const unsigned char* file, std::size_t size, std::size_t from = 0);
track_point log_point(const unsigned char* file, std::size_t index);
