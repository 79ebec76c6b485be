// Reading and writing the configuration block through real file streams.
#include <cstring>

#include <gtest/gtest.h>

#include "datafile/device_conf.h"
#include "datafile/layout.h"
#include "datafile_builder.h"
#include "support/memory_stream.h"

namespace {

device_conf read_ok(const datafile_builder& data)
{
    image_file f(data.bytes());
    device_conf conf{};
    EXPECT_EQ(read_conf(f.file, &conf), 0);
    return conf;
}

std::vector<unsigned char> round_trip(const std::vector<unsigned char>& bytes,
                                      void (*change)(device_conf&) = nullptr)
{
    image_file f(bytes);
    device_conf conf{};
    EXPECT_EQ(read_conf(f.file, &conf), 0);
    if (change)
        change(conf);
    EXPECT_EQ(write_conf(f.file, &conf), 0);
    return f.bytes();
}

TEST(ConfIo, ReadsEveryFieldAtItsOffset)
{
    datafile_builder data;
    data.set(layout::time_zone, static_cast<std::uint16_t>(-350))
        .set(layout::time_interval, 65535)
        .set(layout::fix_altitude_2d, 1800000)
        .set(layout::checksum_word, 0xBEEF)
        .set_byte(layout::sbas.offset + 1, 0x77)
        .set_byte(layout::gps_mode.offset + 1, 0x01);
    device_conf conf = read_ok(data);
    EXPECT_EQ(conf.log_mode, 1);
    EXPECT_EQ(conf.time_zone, -350);
    EXPECT_EQ(conf.contrast, 200);
    EXPECT_EQ(conf.time_interval, 65535);
    EXPECT_EQ(conf.low_speed_interval, 10);
    EXPECT_EQ(conf.fix_altitude_2d, 1800000u);
    EXPECT_EQ(conf.checksum_word, 0xBEEF);
    EXPECT_EQ(conf.pdop_mask, 250);
    // Two-byte slots: only the first byte counts.
    EXPECT_EQ(conf.sbas, 1);
    EXPECT_EQ(conf.gps_mode, 2);
}

TEST(ConfIo, FixAltitudeReadsOnlyTwentyFourBits)
{
    datafile_builder data;
    data.set(layout::fix_altitude_2d, 0xFFFFFF).set_byte(881, 0x7F);
    EXPECT_EQ(read_ok(data).fix_altitude_2d, 0xFFFFFFu);
}

TEST(ConfIo, PasswordEndsAtFirstFillByte)
{
    struct {
        std::vector<unsigned char> slot;
        const char* expected;
    } cases[] = {
        {{'a', 'b', 'c', 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, "abc"},
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}, "abcdefghij"},
        {{0xEE, 'x', 'y', 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, ""},
        {{'p', 'w', 0xEE, 'z', 'z', 'z', 'z', 'z', 'z', 'z'}, "pw"},
    };
    for (const auto& c : cases) {
        datafile_builder data;
        for (std::size_t i = 0; i < c.slot.size(); ++i)
            data.set_byte(layout::password.offset + static_cast<long>(i), c.slot[i]);
        EXPECT_STREQ(read_ok(data).password, c.expected);
    }
}

TEST(ConfIo, BlockNeedsBytesUpTo1023)
{
    for (std::size_t size : {0u, 1u, 517u, 1022u, 1023u}) {
        datafile_builder data;
        data.resize(size);
        image_file f(data.bytes());
        device_conf conf{};
        EXPECT_EQ(read_conf(f.file, &conf), -1) << size;
    }
    datafile_builder data;
    data.resize(1024);
    image_file f(data.bytes());
    device_conf conf{};
    EXPECT_EQ(read_conf(f.file, &conf), 0);
}

TEST(ConfIo, UnchangedRecordRewritesIdentically)
{
    datafile_builder data;
    data.set_password("secret").set_byte(919, 0x5A).set_byte(1023, 0xC3);
    data.add_point(1, pack_time(2008, 8, 17, 18, 25, 49), 1, 2, 3).add_end_marker();
    EXPECT_EQ(round_trip(data.bytes()), data.bytes());
}

TEST(ConfIo, PasswordSlotIsNormalisedFromFirstNulOrFill)
{
    datafile_builder data;
    const unsigned char slot[10] = {'a', 'b', 0x00, 'c', 'd', 0xEE, 'e', 0x00, 'f', 'g'};
    for (long i = 0; i < 10; ++i)
        data.set_byte(layout::password.offset + i, slot[i]);
    std::vector<unsigned char> expected = data.bytes();
    for (long i = 2; i < 10; ++i)
        expected[static_cast<std::size_t>(layout::password.offset + i)] = 0xEE;
    EXPECT_EQ(round_trip(data.bytes()), expected);
}

TEST(ConfIo, WritesChangedFieldsAndNothingElse)
{
    datafile_builder data;
    data.set_byte(919, 0x33).set_byte(1023, 0x44);
    std::vector<unsigned char> after = round_trip(data.bytes(), [](device_conf& c) {
        c.time_zone = -350;
        c.fix_altitude_2d = 1800000;
        c.sbas = 0;
        c.gps_mode = 5;
        std::strcpy(c.password, "abcdefghij");
    });
    datafile_builder expected = data;
    expected.set(layout::time_zone, 0xFEA2)
        .set_byte(878, 0x40)
        .set_byte(879, 0x77)
        .set_byte(880, 0x1B)
        .set_byte(918, 0)
        .set_byte(1022, 5)
        .set_password("abcdefghij");
    EXPECT_EQ(after, expected.bytes());
}

TEST(ConfIo, EmptyPasswordIsTenFillBytes)
{
    datafile_builder data;
    data.set_password("abc");
    std::vector<unsigned char> after =
        round_trip(data.bytes(), [](device_conf& c) { c.password[0] = '\0'; });
    for (long i = 0; i < 10; ++i)
        EXPECT_EQ(after[static_cast<std::size_t>(layout::password.offset + i)], 0xEE);
}

TEST(ConfIo, WriteLeavesPasswordTerminated)
{
    datafile_builder data;
    image_file f(data.bytes());
    device_conf conf{};
    ASSERT_EQ(read_conf(f.file, &conf), 0);
    std::strcpy(conf.password, "ab");
    ASSERT_EQ(write_conf(f.file, &conf), 0);
    EXPECT_STREQ(conf.password, "ab");
}

TEST(ConfIo, WriteFailsOnReadOnlyStream)
{
    datafile_builder data;
    image_file f(data.bytes());
    device_conf conf{};
    ASSERT_EQ(read_conf(f.file, &conf), 0);
    std::vector<unsigned char> bytes = data.bytes();
    std::FILE* read_only = fmemopen(bytes.data(), bytes.size(), "rb");
    EXPECT_EQ(write_conf(read_only, &conf), -1);
    std::fclose(read_only);
}

}  // namespace
