// A printf-based GPX writer for the tests.
#include "support/gpx_reference.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "version.h"

const char gpx_head[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"trekdump " TREKDUMP_VERSION "\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns=\"http://www.topografix.com/GPX/1/1\" "
    "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
    "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";

namespace {

void add(std::string& out, const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    out.append(line, static_cast<std::size_t>(length));
}

double degrees(std::int32_t stored)
{
    return stored / 10000000.0;
}

void add_point_lines(std::string& out, const track_point& p, const char* time_format)
{
    point_time t = decode_time(p.timestamp);
    add(out, "<ele>%f</ele>\n", static_cast<double>(p.altitude));
    add(out, time_format, t.year, t.month, t.day, t.hour, t.minute, t.second);
}

}  // namespace

std::string reference_gpx(const std::vector<track_point>& points)
{
    std::string out = gpx_head;
    out += "<metadata>\n";
    if (!points.empty()) {
        std::int32_t min_lat = 900000000, max_lat = -900000000;
        std::int32_t min_lon = 1800000000, max_lon = -1800000000;
        for (const track_point& p : points) {
            min_lat = std::min(min_lat, p.latitude);
            max_lat = std::max(max_lat, p.latitude);
            min_lon = std::min(min_lon, p.longitude);
            max_lon = std::max(max_lon, p.longitude);
        }
        add(out, "<bounds minlat=\"%.7f\" minlon=\"%.7f\" maxlat=\"%.7f\" maxlon=\"%.7f\"/>\n",
            degrees(min_lat), degrees(min_lon), degrees(max_lat), degrees(max_lon));
    }
    out += "</metadata>\n";

    int waypoints = 0;
    for (const track_point& p : points) {
        if (!(p.flags & 0x02))
            continue;
        add(out, "<wpt lat=\"%.7f\" lon=\"%.7f\">\n", degrees(p.latitude), degrees(p.longitude));
        add_point_lines(out, p, "<time>%d-%.2d-%.2dT%.2d:%.2d:%.2dZ</time>\n");
        add(out, "<name>Push Log Point %d</name>\n", ++waypoints);
        out += "</wpt>\n";
    }

    int tracks = 0;
    for (const track_point& p : points) {
        if ((p.flags & 0x01) || tracks == 0) {
            if (tracks > 0)
                out += "</trkseg>\n</trk>\n";
            ++tracks;
            add(out, "<trk>\n<name>Track %d</name>\n<number>%d</number>\n<trkseg>\n", tracks,
                tracks);
        }
        add(out, "<trkpt lat=\"%.7f\" lon=\"%.7f\">\n", degrees(p.latitude), degrees(p.longitude));
        add_point_lines(out, p, "<time>%4d-%.2d-%.2dT%.2d:%.2d:%.2dZ</time>\n");
        out += "</trkpt>\n";
    }
    if (tracks > 0)
        out += "</trkseg>\n</trk>\n";
    return out + "</gpx>\n";
}
