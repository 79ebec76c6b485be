// The log reader: where the log ends, and read_track against read_point.
#include <algorithm>

#include <gtest/gtest.h>

#include "datafile/track_point.h"
#include "datafile_builder.h"
#include "support/run_tool.h"

namespace {

bool same_points(const std::vector<track_point>& a, const std::vector<track_point>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& p, const auto& q) {
        return p.flags == q.flags && p.reserved == q.reserved && p.timestamp == q.timestamp &&
               p.latitude == q.latitude && p.longitude == q.longitude && p.altitude == q.altitude;
    });
}

// The points read_point delivers one after the other from the log's start.
std::vector<track_point> one_by_one(std::FILE* file)
{
    std::vector<track_point> points;
    std::fseek(file, layout::log_start, SEEK_SET);
    track_point point;
    while (read_point(file, &point) == 0)
        points.push_back(point);
    return points;
}

datafile_builder with_points(int count, unsigned flags = 0)
{
    datafile_builder data;
    for (int i = 0; i < count; ++i)
        data.add_point(flags, pack_time(2008, 8, 17, 6, i / 60 % 60, i % 60),
                       476603000 + i, 91758000 - i, static_cast<std::int16_t>(i % 700 - 200));
    return data;
}

TEST(TrackLog, EndsAtTheEndMarkerOrACutShortRecord)
{
    // The reader takes the log in blocks of 4096 records.
    const std::vector<unsigned char> garbage(40, 0x01);
    struct {
        const char* name;
        datafile_builder data;
        std::size_t points;
    } cases[] = {
        {"a file of exactly 4096 bytes", datafile_builder(), 0},
        {"a file shorter than the log's start", datafile_builder().resize(2000), 0},
        {"the end marker first", with_points(0).add_end_marker().append(garbage), 0},
        {"points after the end marker", with_points(3).add_end_marker().append(garbage), 3},
        {"10 bytes after three points", with_points(3).append({1, 0, 1, 2, 3, 4, 5, 6, 7, 8}), 3},
        {"15 bytes after three points", with_points(3).append(std::vector<unsigned char>(15, 0)), 3},
        {"flags 0xFE is a point", with_points(3, 0xFE).add_end_marker(), 3},
        {"a log that fills one block", with_points(4096), 4096},
        {"the end marker opening the second block", with_points(4096).add_end_marker(), 4096},
        {"a cut-short record in the third block",
         with_points(9000).append(std::vector<unsigned char>(7, 0)), 9000},
    };
    temp_dir dir;
    for (const auto& c : cases) {
        ASSERT_TRUE(c.data.write(dir.file("NVPIPE.DAT")));
        std::FILE* file = std::fopen(dir.file("NVPIPE.DAT").c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        std::vector<track_point> points{track_point{}};  // replaced, not appended to
        EXPECT_EQ(read_track(file, points), 0) << c.name;
        EXPECT_EQ(points.size(), c.points) << c.name;
        EXPECT_TRUE(same_points(points, one_by_one(file))) << c.name;
        // The same log read where it lies in memory.
        const std::vector<unsigned char>& bytes = c.data.bytes();
        std::vector<track_point> in_memory;
        for (std::size_t i = 0; i < log_points(bytes.data(), bytes.size()); ++i)
            in_memory.push_back(log_point(bytes.data(), i));
        EXPECT_TRUE(same_points(points, in_memory)) << c.name;
        // As the bytes come in: the points of each part never past the log's end.
        for (std::size_t part = 0; part <= bytes.size(); part += 1000)
            EXPECT_EQ(log_points(bytes.data(), part, log_points(bytes.data(), part / 2)),
                      std::min(points.size(), part < 4096 ? 0 : (part - 4096) / 16))
                << c.name << " " << part;
        std::fclose(file);
    }
}

TEST(TrackLog, DecodesEveryField)
{
    datafile_builder data;
    // Timestamp bytes 71 26 23 22 in file order: 2008-08-17T18:25:49Z.
    data.append({0xFE, 0x07, 0x71, 0x26, 0x23, 0x22, 0xC0, 0xC9, 0xE9, 0xEB, 0x00, 0x00, 0x00,
                 0x80, 0xF4, 0xFF});
    std::FILE* file = fmemopen(const_cast<unsigned char*>(data.bytes().data()),
                               data.bytes().size(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<track_point> points;
    ASSERT_EQ(read_track(file, points), 0);
    std::fclose(file);
    ASSERT_EQ(points.size(), 1u);
    const track_point& p = points[0];
    EXPECT_EQ(p.flags, 0xFE);
    EXPECT_EQ(p.reserved, 0x07);
    point_time t = decode_time(p.timestamp);
    EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
              (std::vector<int>{2008, 8, 17, 18, 25, 49}));
    EXPECT_EQ(p.latitude, -337000000);
    EXPECT_EQ(p.longitude, INT32_MIN);
    EXPECT_EQ(p.altitude, -12);
}

TEST(TrackLog, MemoryImageShorterThanTheLogStartHoldsNoLog)
{
    // The stream cannot seek to byte 4096; its first bytes are no records.
    std::vector<unsigned char> image(2000, 0x01);
    std::FILE* file = fmemopen(image.data(), image.size(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<track_point> points;
    EXPECT_EQ(read_track(file, points), 0);
    EXPECT_TRUE(points.empty());
    std::fclose(file);
}

}  // namespace
