// End to end: setting options change the data file's configuration block in
// command-line order, and a rejected value leaves the file as it was.
#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "support/run_tool.h"

namespace {

datafile_builder with_log()
{
    datafile_builder data;
    data.set_password("secret")
        .add_point(1, pack_time(2008, 8, 17, 18, 25, 49), 476603000, 91758000, 398)
        .add_point(2, pack_time(2008, 8, 17, 18, 26, 0), 476604000, 91759000, 401)
        .add_end_marker();
    return data;
}

class SettingOptions : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(data.write(dir.file("NVPIPE.DAT"))); }
    std::vector<unsigned char> file_bytes() { return read_bytes(dir.file("NVPIPE.DAT")); }
    tool_result run(std::vector<std::string> args)
    {
        args.push_back("NVPIPE.DAT");
        return run_tool(args, dir.path());
    }

    temp_dir dir;
    datafile_builder data = with_log();
};

struct override_case {
    std::vector<std::string> args;
    layout::field field;
    unsigned long stored;
};

TEST_F(SettingOptions, LaterOptionOverridesEarlierOne)
{
    const override_case cases[] = {
        {{"-w", "-b"}, layout::log_mode, 2},
        {{"--log-mode-car", "--set-log-mode=w"}, layout::log_mode, 1},
        {{"--set-log-mode=car", "-u"}, layout::log_mode, 4},
        {{"--set-contrast=170", "--set-contrast", "245"}, layout::contrast, 245},
        {{"-z", "-5", "--set-device-zone=5:30"}, layout::time_zone, 550},
        {{"--set-device-zone", "-5"}, layout::time_zone, static_cast<std::uint16_t>(-500)},
        {{"-e", "-s", "off"}, layout::shake_mode, 0},
        {{"--disable-sbas", "--set-sbas=on"}, {layout::sbas.offset, 1}, 1},
        {{"-Dn", "--clear-memory"}, layout::clear_memory, 1},
        {{"--clear-memory", "-Dn"}, layout::clear_memory, 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(data.write(dir.file("NVPIPE.DAT")));
        tool_result r = run(c.args);
        EXPECT_EQ(r.status, 0) << c.args[0];
        EXPECT_EQ(r.err, "") << c.args[0];
        datafile_builder expected = data;
        expected.set(c.field, c.stored);
        EXPECT_EQ(file_bytes(), expected.bytes()) << c.args[0];
    }
}

TEST_F(SettingOptions, PasswordOptionsInOrder)
{
    tool_result r = run({"--set-password=abcdefghijkl"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(file_bytes(), datafile_builder(data).set_password("abcdefghij").bytes());

    r = run({"--set-password=abc", "--unset-password"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(file_bytes(), datafile_builder(data).set_password("").bytes());
}

struct rejection_case {
    std::vector<std::string> args;
    std::string err;
};

TEST_F(SettingOptions, RejectedValueLeavesTheFileUntouched)
{
    const rejection_case cases[] = {
        {{"--set-contrast=169"},
         "error: invalid value '169' for option '--set-contrast'\nvalid values: 170-245\n"},
        {{"--set-co=246"},
         "error: invalid value '246' for option '--set-contrast'\nvalid values: 170-245\n"},
        {{"-w", "--set-contrast=200", "--set-password=new", "--set-shake-mode-time=0"},
         "error: invalid value '0' for option '-t'\nvalid values: 1-120\n"},
        {{"--help", "--set-gps-mode=lo"},
         "error: invalid value 'lo' for option '-g'\n"
         "valid values: high, middle, default, low, fast, user\n"},
        {{"--set-device-zone=15:00", "--help"},
         "error: invalid value '15:00' for option '-z'\nvalid values: -14:00-14:00\n"},
        {{"-z", "5:75"}, "error: invalid value '5:75' for option '-z'\n"},
        {{"--conf", "--set-device-zone=-5:75"},
         "error: invalid value '-5:75' for option '-z'\n"},
        {{"-Dmaybe"}, "error: invalid value 'maybe' for option '-D'\nvalid values: yes, no\n"},
        {{"--read=out.gpx", "--set-pdop-mask=-0.1"},
         "error: invalid value '-0.1' for option '--set-pdop-mask'\n"
         "valid values: 0.0-1000.0\n"},
        {{"--set-initial-min-svs=256"},
         "error: invalid value '256' for option '--set-initial-min-svs'\n"
         "valid values: 0-255\n"},
        {{"--set-shake-mode="}, "error: invalid value '' for option '-s'\nvalid values: on, off\n"},
        {{"--set-2d-fix-altitude=4294967296"},
         "error: invalid value '4294967296' for option '--set-2d-fix-altitude'\n"
         "valid values: 0-1800000\n"},
    };
    for (const auto& c : cases) {
        tool_result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args[0];
        EXPECT_EQ(r.out, "") << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        EXPECT_EQ(file_bytes(), data.bytes()) << c.args[0];
    }
}

TEST_F(SettingOptions, ManySettingsLandAtTheirOffsets)
{
    tool_result r = run({
        "--set-log-mode=user",        "-Dy",
        "--set-device-zone=-3:30",    "--set-shake-mode=on",
        "-t",                         "120",
        "-vmixed",                    "--set-contrast=245",
        "--set-imperial-system",      "--set-backlight-time=255",
        "--set-password=abcdefghijkl",
        "--set-userdefined-time-interval=65535",
        "--set-userdefined-distance-interval=5000",
        "--set-userdefined-heading-change=179",
        "--set-userdefined-highest-speed=2000",
        "--set-userdefined-high-speed=1999",
        "--set-userdefined-middle-speed=1998",
        "--set-userdefined-low-speed=1997",
        "--set-userdefined-lowest-speed=1996",
        "--set-userdefined-highest-speed-interval=3600",
        "--set-userdefined-high-speed-interval=3599",
        "--set-userdefined-middle-speed-interval=3598",
        "--set-userdefined-low-speed-interval=3597",
        "--set-initial-min-svs=255",  "--set-fix-mode=3d",
        "--set-2d-fix-altitude=1800000",
        "--set-initial-min-strength=64",
        "--set-navigation-min-strength=63",
        "--set-pdop-mask=2.55",       "--set-tdop-mask=1000",
        "--set-p-accuracy-mask=65535", "--set-t-accuracy-mask=65534",
        "--disable-sbas",             "-gfast",
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    datafile_builder expected = data;
    expected.set(layout::log_mode, 4)
        .set(layout::clear_memory, 1)
        .set(layout::time_zone, static_cast<std::uint16_t>(-350))
        .set(layout::shake_mode, 1)
        .set(layout::shake_mode_time, 120)
        .set(layout::user_log_mode, 9)
        .set(layout::contrast, 245)
        .set(layout::system_unit, 1)
        .set(layout::backlight_time, 255)
        .set(layout::time_interval, 65535)
        .set(layout::distance_interval, 5000)
        .set(layout::heading_change, 179)
        .set(layout::highest_speed, 2000)
        .set(layout::high_speed, 1999)
        .set(layout::middle_speed, 1998)
        .set(layout::low_speed, 1997)
        .set(layout::lowest_speed, 1996)
        .set(layout::highest_speed_interval, 3600)
        .set(layout::high_speed_interval, 3599)
        .set(layout::middle_speed_interval, 3598)
        .set(layout::low_speed_interval, 3597)
        .set_password("abcdefghij")
        .set(layout::initial_min_svs, 255)
        .set(layout::fix_mode, 3)
        .set(layout::fix_altitude_2d, 1800000)
        .set(layout::initial_min_strength, 64)
        .set(layout::navigation_min_strength, 63)
        .set(layout::pdop_mask, 25)
        .set(layout::tdop_mask, 10000)
        .set(layout::p_accuracy_mask, 65535)
        .set(layout::t_accuracy_mask, 65534)
        .set_byte(layout::sbas.offset, 0)
        .set_byte(layout::gps_mode.offset, 4);
    EXPECT_EQ(file_bytes(), expected.bytes());
}

}  // namespace
