// The GPX writer on memory streams: whole documents, the number formats, the
// bounds, and large logs against the printf-based reference.
#include "report/gpx.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "support/gpx_reference.h"
#include "support/gpx_schema.h"

namespace {

// The document of points; every one of them is also counted without being
// written, to the same size.
std::string document_of(const std::vector<track_point>& points)
{
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    print_track(out, points);
    EXPECT_FALSE(std::ferror(out));
    std::fclose(out);
    gpx_size_counter counted;
    for (const track_point& p : points)
        counted.add(p);
    EXPECT_EQ(counted.size(), size) << points.size() << " points";
    std::string document(data, size);
    std::free(data);
    return document;
}

// Compares two long documents; on a difference reports the first differing
// offset with a short excerpt of each, not a diff of megabytes.
::testing::AssertionResult same_document(const std::string& got, const std::string& want)
{
    if (got == want)
        return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at])
        ++at;
    std::size_t from = at < 40 ? 0 : at - 40;
    return ::testing::AssertionFailure()
           << "documents differ from offset " << at << " (sizes " << got.size() << " and "
           << want.size() << ")\n  got:  ..." << got.substr(from, 80) << "\n  want: ..."
           << want.substr(from, 80);
}

const std::uint32_t evening = pack_time(2008, 8, 17, 18, 25, 49);

track_point point(unsigned flags, std::int32_t latitude = 476603000,
                  std::int32_t longitude = 91758000, std::int16_t altitude = 398,
                  std::uint32_t timestamp = evening)
{
    return track_point{static_cast<std::uint8_t>(flags), 0, timestamp, latitude, longitude,
                       altitude};
}

// The lines of one point at 47.6603 N, 9.1758 E, 398 m, 2008-08-17 18:25:49.
const std::string trkpt =
    "<trkpt lat=\"47.6603000\" lon=\"9.1758000\">\n<ele>398.000000</ele>\n"
    "<time>2008-08-17T18:25:49Z</time>\n</trkpt>\n";
const std::string bounds =
    "<metadata>\n<bounds minlat=\"47.6603000\" minlon=\"9.1758000\" maxlat=\"47.6603000\" "
    "maxlon=\"9.1758000\"/>\n</metadata>\n";

std::string track(int number, int points)
{
    std::string lines = "<trk>\n<name>Track " + std::to_string(number) + "</name>\n<number>" +
                        std::to_string(number) + "</number>\n<trkseg>\n";
    for (int i = 0; i < points; ++i)
        lines += trkpt;
    return lines + "</trkseg>\n</trk>\n";
}

std::string waypoint(int number)
{
    return "<wpt lat=\"47.6603000\" lon=\"9.1758000\">\n<ele>398.000000</ele>\n"
           "<time>2008-08-17T18:25:49Z</time>\n<name>Push Log Point " +
           std::to_string(number) + "</name>\n</wpt>\n";
}

TEST(GpxWriter, WholeDocuments)
{
    struct {
        const char* name;
        std::vector<track_point> points;
        std::string expected;
    } cases[] = {
        {"empty log: no bounds", {}, std::string(gpx_head) + "<metadata>\n</metadata>\n</gpx>\n"},
        {"push log point that starts a track",
         {point(0x03)},
         gpx_head + bounds + waypoint(1) + track(1, 1) + "</gpx>\n"},
        {"two track starts around a plain point",
         {point(0x01), point(0x00), point(0x01)},
         gpx_head + bounds + track(1, 2) + track(2, 1) + "</gpx>\n"},
        {"points before the first track start form Track 1",
         {point(0x00), point(0x02), point(0x01), point(0x06)},
         gpx_head + bounds + waypoint(1) + waypoint(2) + track(1, 2) + track(2, 2) + "</gpx>\n"},
        {"unknown flag bits only count for bits 0 and 1",
         {point(0xFE), point(0xFD)},
         gpx_head + bounds + waypoint(1) + track(1, 1) + track(2, 1) + "</gpx>\n"},
    };
    for (const auto& c : cases) {
        std::string document = document_of(c.points);
        EXPECT_EQ(document, c.expected) << c.name;
        expect_valid_gpx(document);
    }
}

// The attribute text of a coordinate, as the printf format shows it.
std::string printf_degrees(std::int32_t stored)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.7f", stored / 10000000.0);
    return text;
}

TEST(GpxWriter, CoordinatesShowTheStoredIntegerExactly)
{
    struct {
        std::int32_t stored;
        const char* text;
        bool on_earth;  // a latitude and longitude GPX allows
    } cases[] = {
        {0, "0.0000000", true},
        {1, "0.0000001", true},
        {-1, "-0.0000001", true},
        {-9999999, "-0.9999999", true},
        {-10000000, "-1.0000000", true},
        {-10000001, "-1.0000001", true},
        {476603000, "47.6603000", true},
        {-337000005, "-33.7000005", true},
        {900000000, "90.0000000", true},
        {-900000000, "-90.0000000", true},
        {1799999999, "179.9999999", false},  // beyond 90 degrees of latitude
        {-1800000000, "-180.0000000", false},
        {INT32_MAX, "214.7483647", false},
        {INT32_MIN, "-214.7483648", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printf_degrees(c.stored), c.text) << c.stored;
        std::string lines = "lat=\"" + std::string(c.text) + "\" lon=\"" + c.text + "\">\n";
        std::string document = document_of({point(0x02, c.stored, c.stored)});
        EXPECT_NE(document.find("<wpt " + lines), std::string::npos) << c.stored;
        EXPECT_NE(document.find("<trkpt " + lines), std::string::npos) << c.stored;
        if (c.on_earth)
            expect_valid_gpx(document);
        else
            expect_invalid_gpx(document);
    }
}

TEST(GpxWriter, ElevationsAndTimes)
{
    struct {
        std::int16_t altitude;
        std::uint32_t timestamp;
        const char* ele;
        const char* time;
        bool valid_time;
    } cases[] = {
        {-12, evening, "-12.000000", "2008-08-17T18:25:49Z", true},
        {0, pack_time(2000, 1, 1, 0, 0, 0), "0.000000", "2000-01-01T00:00:00Z", true},
        {-1, pack_time(2063, 12, 31, 23, 59, 59), "-1.000000", "2063-12-31T23:59:59Z", true},
        {INT16_MAX, pack_time(2009, 2, 3, 4, 5, 6), "32767.000000", "2009-02-03T04:05:06Z", true},
        {INT16_MIN, 0, "-32768.000000", "2000-00-00T00:00:00Z", false},
        {5, 0xFFFFFFFF, "5.000000", "2063-15-31T31:63:63Z", false},
    };
    for (const auto& c : cases) {
        std::string lines = "\">\n<ele>" + std::string(c.ele) + "</ele>\n<time>" + c.time +
                            "</time>\n";
        std::string document = document_of({point(0x03, 0, 0, c.altitude, c.timestamp)});
        EXPECT_NE(document.find(lines + "<name>Push Log Point 1</name>\n"), std::string::npos)
            << c.ele << " " << c.time;
        EXPECT_NE(document.find(lines + "</trkpt>\n"), std::string::npos)
            << c.ele << " " << c.time;
        if (c.valid_time)
            expect_valid_gpx(document);
        else
            expect_invalid_gpx(document);
    }
}

TEST(GpxWriter, BoundsCompareEachCoordinateOnItsOwn)
{
    std::string document = document_of({point(0x01, 100000000, -50000000),
                                        point(0x00, -200000000, 70000000),
                                        point(0x00, 50000000, -1800000000),
                                        point(0x00, 899999999, 10000000)});
    EXPECT_NE(document.find("<bounds minlat=\"-20.0000000\" minlon=\"-180.0000000\" "
                            "maxlat=\"89.9999999\" maxlon=\"7.0000000\"/>\n"),
              std::string::npos);
    expect_valid_gpx(document);
}

// Long logs cross the writer's buffer many times; every byte must still be
// what the printf formats give.
TEST(GpxWriter, LongLogsMatchThePrintfFormats)
{
    std::mt19937 random(2008);
    auto in = [&](long low, long high) {
        return std::uniform_int_distribution<long>(low, high)(random);
    };
    for (int count : {1, 2047, 30000}) {
        std::vector<track_point> points;
        for (int i = 0; i < count; ++i) {
            points.push_back(track_point{
                static_cast<std::uint8_t>(in(0, 9) == 0 ? in(0, 0xFE) : 0), 0,
                pack_time(static_cast<int>(in(2000, 2063)), static_cast<int>(in(1, 12)),
                          static_cast<int>(in(1, 28)), static_cast<int>(in(0, 23)),
                          static_cast<int>(in(0, 59)), static_cast<int>(in(0, 59))),
                static_cast<std::int32_t>(in(-900000000, 900000000)),
                static_cast<std::int32_t>(in(-1800000000, 1799999999)),
                static_cast<std::int16_t>(in(INT16_MIN, INT16_MAX))});
        }
        std::string document = document_of(points);
        EXPECT_TRUE(same_document(document, reference_gpx(points))) << count << " points";
        expect_valid_gpx(document);
    }
}

}  // namespace
