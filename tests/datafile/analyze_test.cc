// The analysis pass on data file images: configuration checks, log records,
// offsets, and files that end too early.
#include "datafile/analyze.h"

#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "support/memory_stream.h"

namespace {

struct analysis {
    int result = 99;
    std::string report;
};

analysis analyze_image(const std::vector<unsigned char>& bytes)
{
    image_file image(bytes);
    analysis a;
    a.report = written_by([&](std::FILE* out) { a.result = analyze(image.file, out); });
    return a;
}

// Plausible settings throughout, including the second byte of the gps_mode slot.
datafile_builder known_values()
{
    datafile_builder data;
    data.set_byte(layout::gps_mode.offset + 1, 0);
    return data;
}

const std::uint32_t when = pack_time(2008, 8, 17, 18, 25, 49);
const char point_lines[] =
    "time = 2008-08-17T18:25:49Z\n"
    "lat = 47.6603000, lon = 9.1758000, alt = 398\n";

TEST(Analyze, KnownConfigurationValuesPrintNothing)
{
    datafile_builder data = known_values();
    data.set_byte(0, 1).set_byte(2, 0).set_byte(6, 0).set_byte(10, 5).set_byte(14, 0);
    data.set_byte(877, 1).set_byte(918, 0).set_byte(1022, 0).set_byte(1023, 0);
    analysis a = analyze_image(data.bytes());
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.report, "");
}

TEST(Analyze, ConfigurationChecks)
{
    struct {
        long offset;
        unsigned char first, second;  // the byte at offset, and the next one of a slot
        std::string report;
    } cases[] = {
        {0, 0, 0, "unknown value '0' at offset 0x00000000\n"},
        {0, 4, 0, ""},
        {0, 5, 0, "unknown value '5' at offset 0x00000000\n"},
        {2, 1, 0, ""},
        {2, 2, 0, "unknown value '2' at offset 0x00000002\n"},
        {6, 2, 0, "unknown value '2' at offset 0x00000006\n"},
        {10, 4, 0, "unknown value '4' at offset 0x0000000A\n"},
        {10, 9, 0, ""},
        {10, 10, 0, "unknown value '10' at offset 0x0000000A\n"},
        {14, 255, 0, "unknown value '255' at offset 0x0000000E\n"},
        {877, 0, 0, "unknown value '0' at offset 0x0000036D\n"},
        {877, 3, 0, ""},
        {877, 4, 0, "unknown value '4' at offset 0x0000036D\n"},
        {918, 1, 0xFF, ""},  // only the first byte of the sbas slot counts
        {918, 2, 0, "unknown value '2' at offset 0x00000396\n"},
        {1022, 5, 0, ""},
        {1022, 6, 0, "unknown value '6' at offset 0x000003FE\n"},
        {1022, 2, 1, "unknown value '258' at offset 0x000003FE\n"},
    };
    for (const auto& c : cases) {
        datafile_builder data = known_values();
        data.set_byte(c.offset, c.first);
        if (c.offset == layout::sbas.offset || c.offset == layout::gps_mode.offset)
            data.set_byte(c.offset + 1, c.second);
        analysis a = analyze_image(data.bytes());
        EXPECT_EQ(a.result, 0);
        EXPECT_EQ(a.report, c.report) << c.offset << " " << unsigned{c.first};
    }
}

TEST(Analyze, EveryCheckInFileOrder)
{
    datafile_builder data = known_values();
    data.set_byte(0, 9).set_byte(2, 9).set_byte(6, 9).set_byte(10, 0).set_byte(14, 9);
    data.set_byte(877, 9).set_byte(918, 9).set_byte(1022, 9);
    EXPECT_EQ(analyze_image(data.bytes()).report,
              "unknown value '9' at offset 0x00000000\n"
              "unknown value '9' at offset 0x00000002\n"
              "unknown value '9' at offset 0x00000006\n"
              "unknown value '0' at offset 0x0000000A\n"
              "unknown value '9' at offset 0x0000000E\n"
              "unknown value '9' at offset 0x0000036D\n"
              "unknown value '9' at offset 0x00000396\n"
              "unknown value '9' at offset 0x000003FE\n");
}

TEST(Analyze, RecordAtTheStartOfTheLog)
{
    struct {
        unsigned flags, reserved;
        std::string report;
    } cases[] = {
        {0x07, 0, ""},
        {0x04, 0, ""},
        {0x09, 0, std::string("unknown value '9' at offset 0x00001000\n") + point_lines},
        {0x80, 0, std::string("unknown value '128' at offset 0x00001000\n") + point_lines},
        {0xFE, 0, std::string("unknown value '254' at offset 0x00001000\n") + point_lines},
        {0x01, 1, std::string("unknown value '1' at offset 0x00001001\n") + point_lines},
        {0x08, 2,
         std::string("unknown value '8' at offset 0x00001000\n"
                     "unknown value '2' at offset 0x00001001\n") +
             point_lines},
    };
    for (const auto& c : cases) {
        datafile_builder data = known_values();
        data.add_point(c.flags, when, 476603000, 91758000, 398, c.reserved).add_end_marker();
        analysis a = analyze_image(data.bytes());
        EXPECT_EQ(a.result, 0);
        EXPECT_EQ(a.report, c.report) << c.flags << " " << c.reserved;
    }
}

TEST(Analyze, RecordsAtDifferentOffsets)
{
    datafile_builder data = known_values();
    data.add_point(0x01, when, 476603000, 91758000, 398)
        .add_point(0x10, pack_time(2009, 1, 2, 3, 4, 5), -338688000, 1512093000, -12)
        .add_point(0x00, when, 0, 0, 0, 0x40);
    for (int i = 3; i < 3840; ++i)
        data.add_point(0x00, when, 476603000, 91758000, 398);
    data.add_point(0x20, pack_time(2031, 12, 31, 23, 59, 59), 900000000, -1800000000, -32768)
        .add_end_marker()
        .add_point(0x08, when, 0, 0, 0);  // after the end marker: not part of the log
    analysis a = analyze_image(data.bytes());
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.report,
              "unknown value '16' at offset 0x00001010\n"
              "time = 2009-01-02T03:04:05Z\n"
              "lat = -33.8688000, lon = 151.2093000, alt = -12\n"
              "unknown value '64' at offset 0x00001021\n"
              "time = 2008-08-17T18:25:49Z\n"
              "lat = 0.0000000, lon = 0.0000000, alt = 0\n"
              "unknown value '32' at offset 0x00010000\n"
              "time = 2031-12-31T23:59:59Z\n"
              "lat = 90.0000000, lon = -180.0000000, alt = -32768\n");
}

TEST(Analyze, LogsWithoutRecordsPrintNothing)
{
    datafile_builder cut_record = known_values();
    cut_record.add_point(0x08, when, 0, 0, 0).resize(layout::log_start + 15);
    std::vector<std::vector<unsigned char>> images = {
        known_values().resize(1024).bytes(),
        known_values().bytes(),  // exactly 4096 bytes
        known_values().add_end_marker().add_point(0x08, when, 0, 0, 0).bytes(),
        cut_record.bytes(),
    };
    for (const auto& image : images) {
        analysis a = analyze_image(image);
        EXPECT_EQ(a.result, 0) << image.size();
        EXPECT_EQ(a.report, "") << image.size();
    }
}

TEST(Analyze, FileEndingInsideTheConfigurationBlockFailsAfterThePrintedLines)
{
    struct {
        std::size_t size;
        std::string report;
    } cases[] = {
        {0, ""},
        {1, "unknown value '0' at offset 0x00000000\n"},
        {918,
         "unknown value '0' at offset 0x00000000\n"
         "unknown value '0' at offset 0x0000036D\n"},
        {1023,
         "unknown value '0' at offset 0x00000000\n"
         "unknown value '0' at offset 0x0000036D\n"
         "unknown value '7' at offset 0x00000396\n"},
    };
    for (const auto& c : cases) {
        datafile_builder data = known_values();
        data.set_byte(0, 0).set_byte(877, 0).set_byte(918, 7).set_byte(1022, 9);
        analysis a = analyze_image(data.resize(c.size).bytes());
        EXPECT_EQ(a.result, -1) << c.size;
        EXPECT_EQ(a.report, c.report) << c.size;
    }
}

}  // namespace
