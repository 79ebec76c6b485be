// Each setting option applied to a configuration record: the forms it
// accepts, the field and width it stores into, the values it rejects.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/options.h"
#include "cli/settings.h"
#include "datafile/device_conf.h"
#include "datafile/layout.h"
#include "datafile_builder.h"

namespace {

namespace l = layout;

// A record in which no field holds a value the cases below store, so every
// stored value shows in the written bytes.
device_conf scrambled()
{
    device_conf conf;
    std::memset(&conf, 0xA7, sizeof conf);
    std::strcpy(conf.password, "old");
    return conf;
}

// The data file image after conf was written over it.
std::vector<unsigned char> image(const device_conf& conf)
{
    std::vector<unsigned char> bytes = datafile_builder().bytes();
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "r+b");
    EXPECT_EQ(write_conf(file, &conf), 0);
    std::fclose(file);
    return bytes;
}

// sbas and gps_mode are written as the first byte of their slots.
constexpr l::field sbas_byte{l::sbas.offset, 1};
constexpr l::field gps_mode_byte{l::gps_mode.offset, 1};

struct accepted_case {
    int code;
    const char* value;  // nullptr: the option given without a value
    l::field field;
    long stored;
};

const accepted_case accepted[] = {
    {opt_clear_memory, nullptr, l::clear_memory, 1},
    {opt_clear_memory, "YES", l::clear_memory, 1},
    {opt_clear_memory, "n", l::clear_memory, 0},
    {opt_clear_memory, "Off", l::clear_memory, 0},
    {opt_set_log_mode, "walk", l::log_mode, 1},
    {opt_set_log_mode, "W", l::log_mode, 1},
    {opt_set_log_mode, "bicycle", l::log_mode, 2},
    {opt_set_log_mode, "b", l::log_mode, 2},
    {opt_set_log_mode, "CAR", l::log_mode, 3},
    {opt_set_log_mode, "c", l::log_mode, 3},
    {opt_set_log_mode, "user", l::log_mode, 4},
    {opt_set_log_mode, "U", l::log_mode, 4},
    {opt_log_mode_walk, nullptr, l::log_mode, 1},
    {opt_log_mode_bicycle, nullptr, l::log_mode, 2},
    {opt_log_mode_car, nullptr, l::log_mode, 3},
    {opt_log_mode_user, nullptr, l::log_mode, 4},
    {opt_set_device_zone, "-5", l::time_zone, -500},
    {opt_set_device_zone, "14:00", l::time_zone, 1400},
    {opt_set_device_zone, "5:30", l::time_zone, 550},
    {opt_set_device_zone, "15", l::time_zone, 25},
    {opt_set_device_zone, "5.5", l::time_zone, 575},
    {opt_set_shake_mode, "OFF", l::shake_mode, 0},
    {opt_set_shake_mode, "On", l::shake_mode, 1},
    {opt_enable_shake_mode, nullptr, l::shake_mode, 1},
    {opt_disable_shake_mode, nullptr, l::shake_mode, 0},
    {opt_set_shake_mode_time, "1", l::shake_mode_time, 1},
    {opt_set_shake_mode_time, "120", l::shake_mode_time, 120},
    {opt_set_userdefined_log_mode, "time", l::user_log_mode, 5},
    {opt_set_userdefined_log_mode, "T", l::user_log_mode, 5},
    {opt_set_userdefined_log_mode, "Distance", l::user_log_mode, 6},
    {opt_set_userdefined_log_mode, "d", l::user_log_mode, 6},
    {opt_set_userdefined_log_mode, "heading", l::user_log_mode, 7},
    {opt_set_userdefined_log_mode, "h", l::user_log_mode, 7},
    {opt_set_userdefined_log_mode, "speed", l::user_log_mode, 8},
    {opt_set_userdefined_log_mode, "S", l::user_log_mode, 8},
    {opt_set_userdefined_log_mode, "MIXED", l::user_log_mode, 9},
    {opt_set_userdefined_log_mode, "m", l::user_log_mode, 9},
    {opt_set_contrast, "170", l::contrast, 170},
    {opt_set_contrast, "245", l::contrast, 245},
    {opt_set_contrast, "200abc", l::contrast, 200},
    {opt_set_contrast, " +201", l::contrast, 201},
    {opt_set_system_unit, "metric", l::system_unit, 0},
    {opt_set_system_unit, "M", l::system_unit, 0},
    {opt_set_system_unit, "imperial", l::system_unit, 1},
    {opt_set_system_unit, "i", l::system_unit, 1},
    {opt_set_metric_system, nullptr, l::system_unit, 0},
    {opt_set_imperial_system, nullptr, l::system_unit, 1},
    {opt_set_backlight_time, "5", l::backlight_time, 5},
    {opt_set_backlight_time, "255", l::backlight_time, 255},
    {opt_set_userdefined_time_interval, "1", l::time_interval, 1},
    {opt_set_userdefined_time_interval, "65535", l::time_interval, 65535},
    {opt_set_userdefined_distance_interval, "1", l::distance_interval, 1},
    {opt_set_userdefined_distance_interval, "5000", l::distance_interval, 5000},
    {opt_set_userdefined_heading_change, "1", l::heading_change, 1},
    {opt_set_userdefined_heading_change, "179", l::heading_change, 179},
    {opt_set_userdefined_highest_speed, "5", l::highest_speed, 5},
    {opt_set_userdefined_highest_speed, "2000", l::highest_speed, 2000},
    {opt_set_userdefined_high_speed, "4", l::high_speed, 4},
    {opt_set_userdefined_high_speed, "1999", l::high_speed, 1999},
    {opt_set_userdefined_middle_speed, "3", l::middle_speed, 3},
    {opt_set_userdefined_middle_speed, "1998", l::middle_speed, 1998},
    {opt_set_userdefined_low_speed, "2", l::low_speed, 2},
    {opt_set_userdefined_low_speed, "1997", l::low_speed, 1997},
    {opt_set_userdefined_lowest_speed, "1", l::lowest_speed, 1},
    {opt_set_userdefined_lowest_speed, "1996", l::lowest_speed, 1996},
    {opt_set_userdefined_highest_speed_interval, "1", l::highest_speed_interval, 1},
    {opt_set_userdefined_highest_speed_interval, "3600", l::highest_speed_interval, 3600},
    {opt_set_userdefined_high_speed_interval, "1", l::high_speed_interval, 1},
    {opt_set_userdefined_high_speed_interval, "3600", l::high_speed_interval, 3600},
    {opt_set_userdefined_middle_speed_interval, "1", l::middle_speed_interval, 1},
    {opt_set_userdefined_middle_speed_interval, "3600", l::middle_speed_interval, 3600},
    {opt_set_userdefined_low_speed_interval, "1", l::low_speed_interval, 1},
    {opt_set_userdefined_low_speed_interval, "3600", l::low_speed_interval, 3600},
    {opt_set_initial_min_svs, "0", l::initial_min_svs, 0},
    {opt_set_initial_min_svs, "255", l::initial_min_svs, 255},
    {opt_set_fix_mode, "2d", l::fix_mode, 1},
    {opt_set_fix_mode, "2D", l::fix_mode, 1},
    {opt_set_fix_mode, "2d3d", l::fix_mode, 2},
    {opt_set_fix_mode, "Auto", l::fix_mode, 2},
    {opt_set_fix_mode, "3D", l::fix_mode, 3},
    {opt_set_2d_fix_altitude, "0", l::fix_altitude_2d, 0},
    {opt_set_2d_fix_altitude, "1800000", l::fix_altitude_2d, 1800000},
    {opt_set_2d_fix_altitude, "abc", l::fix_altitude_2d, 0},
    {opt_set_initial_min_strength, "0", l::initial_min_strength, 0},
    {opt_set_initial_min_strength, "64", l::initial_min_strength, 64},
    {opt_set_initial_min_strength, "", l::initial_min_strength, 0},
    {opt_set_navigation_min_strength, "0", l::navigation_min_strength, 0},
    {opt_set_navigation_min_strength, "64", l::navigation_min_strength, 64},
    {opt_set_pdop_mask, "0", l::pdop_mask, 0},
    {opt_set_pdop_mask, "1000.0", l::pdop_mask, 10000},
    {opt_set_pdop_mask, "2.3", l::pdop_mask, 23},
    {opt_set_pdop_mask, "2.55", l::pdop_mask, 25},
    {opt_set_pdop_mask, "-0.05", l::pdop_mask, 0},
    {opt_set_pdop_mask, "1e3", l::pdop_mask, 10000},
    {opt_set_tdop_mask, "0.0", l::tdop_mask, 0},
    {opt_set_tdop_mask, "1000.09", l::tdop_mask, 10000},
    {opt_set_tdop_mask, "2.5", l::tdop_mask, 25},
    {opt_set_p_accuracy_mask, "0", l::p_accuracy_mask, 0},
    {opt_set_p_accuracy_mask, "65535", l::p_accuracy_mask, 65535},
    {opt_set_t_accuracy_mask, "0", l::t_accuracy_mask, 0},
    {opt_set_t_accuracy_mask, "65535", l::t_accuracy_mask, 65535},
    {opt_set_sbas, "off", sbas_byte, 0},
    {opt_set_sbas, "ON", sbas_byte, 1},
    {opt_enable_sbas, nullptr, sbas_byte, 1},
    {opt_disable_sbas, nullptr, sbas_byte, 0},
    {opt_set_gps_mode, "high", gps_mode_byte, 0},
    {opt_set_gps_mode, "H", gps_mode_byte, 0},
    {opt_set_gps_mode, "middle", gps_mode_byte, 1},
    {opt_set_gps_mode, "m", gps_mode_byte, 1},
    {opt_set_gps_mode, "Default", gps_mode_byte, 2},
    {opt_set_gps_mode, "d", gps_mode_byte, 2},
    {opt_set_gps_mode, "LOW", gps_mode_byte, 3},
    {opt_set_gps_mode, "L", gps_mode_byte, 3},
    {opt_set_gps_mode, "fast", gps_mode_byte, 4},
    {opt_set_gps_mode, "f", gps_mode_byte, 4},
    {opt_set_gps_mode, "user", gps_mode_byte, 5},
    {opt_set_gps_mode, "U", gps_mode_byte, 5},
};

TEST(Settings, EachAcceptedFormStoresItsFieldAndNothingElse)
{
    const std::vector<unsigned char> before = image(scrambled());
    for (const auto& c : accepted) {
        device_conf conf = scrambled();
        setting_outcome outcome = apply_setting(c.code, c.value, conf);
        std::string label = option_name(c.code) + " " + (c.value ? c.value : "(none)");
        EXPECT_EQ(outcome.result, setting_outcome::applied) << label;
        std::vector<unsigned char> expected = before;
        put_le(&expected[static_cast<std::size_t>(c.field.offset)], c.field.width,
               static_cast<unsigned long>(c.stored));
        EXPECT_EQ(image(conf), expected) << label;
    }
}

struct password_case {
    int code;
    const char* value;
    const char* stored;
};

TEST(Settings, PasswordKeepsItsFirstTenBytes)
{
    const password_case cases[] = {
        {opt_set_password, "abcdefghijkl", "abcdefghij"},
        {opt_set_password, "abcdefghij", "abcdefghij"},
        {opt_set_password, "a", "a"},
        {opt_set_password, "", ""},
        {opt_set_password, "x\xEEyz", "x\xEEyz"},
        {opt_unset_password, nullptr, ""},
    };
    for (const auto& c : cases) {
        device_conf conf = scrambled();
        std::strcpy(conf.password, "0123456789");
        EXPECT_EQ(apply_setting(c.code, c.value, conf).result, setting_outcome::applied);
        EXPECT_STREQ(conf.password, c.stored);
        device_conf expected = scrambled();
        std::strcpy(expected.password, c.stored);
        EXPECT_EQ(image(conf), image(expected)) << c.stored;
    }
}

struct rejected_case {
    int code;
    const char* value;
    const char* valid_values;  // nullptr: the first error line only
};

constexpr char speed_interval[] = "valid values: 1-3600\n";

const rejected_case rejected[] = {
    {opt_clear_memory, "maybe", "valid values: yes, no\n"},
    {opt_clear_memory, "", "valid values: yes, no\n"},
    {opt_set_log_mode, "lo", "valid values: walk, bicycle, car, user\n"},
    {opt_set_log_mode, "x", "valid values: walk, bicycle, car, user\n"},
    {opt_set_log_mode, "", "valid values: walk, bicycle, car, user\n"},
    {opt_set_device_zone, "15:00", "valid values: -14:00-14:00\n"},
    {opt_set_device_zone, "2147483648", "valid values: -14:00-14:00\n"},
    {opt_set_device_zone, "5:75", nullptr},
    {opt_set_shake_mode, "", "valid values: on, off\n"},
    {opt_set_shake_mode, "yes", "valid values: on, off\n"},
    {opt_set_shake_mode_time, "0", "valid values: 1-120\n"},
    {opt_set_shake_mode_time, "121", "valid values: 1-120\n"},
    {opt_set_userdefined_log_mode, "ti", "valid values: time, distance, heading, speed, mixed\n"},
    {opt_set_contrast, "169", "valid values: 170-245\n"},
    {opt_set_contrast, "246", "valid values: 170-245\n"},
    {opt_set_contrast, "abc", "valid values: 170-245\n"},
    {opt_set_system_unit, "metrics", "valid values: metric, imperial\n"},
    {opt_set_backlight_time, "4", "valid values: 5-255\n"},
    {opt_set_backlight_time, "256", "valid values: 5-255\n"},
    {opt_set_userdefined_time_interval, "0", "valid values: 1-65535\n"},
    {opt_set_userdefined_time_interval, "65536", "valid values: 1-65535\n"},
    {opt_set_userdefined_time_interval, "4294967297", "valid values: 1-65535\n"},
    {opt_set_userdefined_distance_interval, "0", "valid values: 1-5000\n"},
    {opt_set_userdefined_distance_interval, "5001", "valid values: 1-5000\n"},
    {opt_set_userdefined_heading_change, "0", "valid values: 1-179\n"},
    {opt_set_userdefined_heading_change, "180", "valid values: 1-179\n"},
    {opt_set_userdefined_highest_speed, "4", "valid values: 5-2000\n"},
    {opt_set_userdefined_highest_speed, "2001", "valid values: 5-2000\n"},
    {opt_set_userdefined_high_speed, "3", "valid values: 4-1999\n"},
    {opt_set_userdefined_high_speed, "2000", "valid values: 4-1999\n"},
    {opt_set_userdefined_middle_speed, "2", "valid values: 3-1998\n"},
    {opt_set_userdefined_middle_speed, "1999", "valid values: 3-1998\n"},
    {opt_set_userdefined_low_speed, "1", "valid values: 2-1997\n"},
    {opt_set_userdefined_low_speed, "1998", "valid values: 2-1997\n"},
    {opt_set_userdefined_lowest_speed, "0", "valid values: 1-1996\n"},
    {opt_set_userdefined_lowest_speed, "1997", "valid values: 1-1996\n"},
    {opt_set_userdefined_highest_speed_interval, "0", speed_interval},
    {opt_set_userdefined_highest_speed_interval, "3601", speed_interval},
    {opt_set_userdefined_high_speed_interval, "0", speed_interval},
    {opt_set_userdefined_high_speed_interval, "3601", speed_interval},
    {opt_set_userdefined_middle_speed_interval, "0", speed_interval},
    {opt_set_userdefined_middle_speed_interval, "3601", speed_interval},
    {opt_set_userdefined_low_speed_interval, "0", speed_interval},
    {opt_set_userdefined_low_speed_interval, "3601", speed_interval},
    {opt_set_initial_min_svs, "-1", "valid values: 0-255\n"},
    {opt_set_initial_min_svs, "256", "valid values: 0-255\n"},
    {opt_set_fix_mode, "2", "valid values: 2d, 2d3d, 3d\n"},
    {opt_set_fix_mode, "a", "valid values: 2d, 2d3d, 3d\n"},
    {opt_set_fix_mode, "2d3", "valid values: 2d, 2d3d, 3d\n"},
    {opt_set_2d_fix_altitude, "-1", "valid values: 0-1800000\n"},
    {opt_set_2d_fix_altitude, "1800001", "valid values: 0-1800000\n"},
    {opt_set_initial_min_strength, "-1", "valid values: 0-64\n"},
    {opt_set_initial_min_strength, "65", "valid values: 0-64\n"},
    {opt_set_navigation_min_strength, "-1", "valid values: 0-64\n"},
    {opt_set_navigation_min_strength, "65", "valid values: 0-64\n"},
    {opt_set_pdop_mask, "-0.1", "valid values: 0.0-1000.0\n"},
    {opt_set_pdop_mask, "-1", "valid values: 0.0-1000.0\n"},
    {opt_set_pdop_mask, "1000.1", "valid values: 0.0-1000.0\n"},
    {opt_set_pdop_mask, "1e1000000000", "valid values: 0.0-1000.0\n"},
    {opt_set_tdop_mask, "1000.1", "valid values: 0.0-1000.0\n"},
    {opt_set_tdop_mask, "-0.1", "valid values: 0.0-1000.0\n"},
    {opt_set_p_accuracy_mask, "-1", "valid values: 0-65535\n"},
    {opt_set_p_accuracy_mask, "65536", "valid values: 0-65535\n"},
    {opt_set_t_accuracy_mask, "-1", "valid values: 0-65535\n"},
    {opt_set_t_accuracy_mask, "65536", "valid values: 0-65535\n"},
    {opt_set_sbas, "", "valid values: on, off\n"},
    {opt_set_sbas, "2", "valid values: on, off\n"},
    {opt_set_gps_mode, "lo", "valid values: high, middle, default, low, fast, user\n"},
    {opt_set_gps_mode, "x", "valid values: high, middle, default, low, fast, user\n"},
};

TEST(Settings, RejectedValuesNameTheirValidValuesAndChangeNothing)
{
    const std::vector<unsigned char> before = image(scrambled());
    for (const auto& c : rejected) {
        device_conf conf = scrambled();
        setting_outcome outcome = apply_setting(c.code, c.value, conf);
        std::string label = option_name(c.code) + " '" + c.value + "'";
        EXPECT_EQ(outcome.result, setting_outcome::rejected) << label;
        if (c.valid_values)
            EXPECT_STREQ(outcome.valid_values, c.valid_values) << label;
        else
            EXPECT_EQ(outcome.valid_values, nullptr) << label;
        EXPECT_EQ(image(conf), before) << label;
    }
}

TEST(Settings, EveryOptionButTheActionsIsASetting)
{
    for (int i = 0; i < option_count; ++i) {
        int code = long_options[i].val;
        if (code == opt_read || code == opt_conf || code == opt_analyze || code == opt_help)
            continue;
        device_conf conf = scrambled();
        EXPECT_NE(apply_setting(code, "x", conf).result, setting_outcome::no_effect)
            << long_options[i].name;
    }
    for (int code : {int{opt_read}, int{opt_help}, int{'x'}, 0xFF1F, 0}) {
        device_conf conf = scrambled();
        EXPECT_EQ(apply_setting(code, "x", conf).result, setting_outcome::no_effect) << code;
    }
}

}  // namespace
