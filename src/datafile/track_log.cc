// The log reader: 16-byte records from byte 4096 up to the end marker or a
// record cut short by the end of the file.
#include "datafile/track_point.h"

#include "datafile/layout.h"

namespace {

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

// (Placeholder: the log is read point by point.)
int read_track(std::FILE* file, std::vector<track_point>& points)
{
    points.clear();
    std::fseek(file, layout::log_start, SEEK_SET);
    track_point point;
    while (read_point(file, &point) == 0)
        points.push_back(point);
    return 0;
}
