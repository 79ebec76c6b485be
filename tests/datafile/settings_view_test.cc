// The settings the page's form starts from: each setting's current value as
// the option would take it back, and the JSON the page reads.
#include "datafile/settings_view.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "cli/settings.h"

namespace {

// Every listed word, stored by the option's own parser, reads back as the
// first listed word of its value: "auto" stores 2 and reads "2d3d".
TEST(SettingsView, EveryWordReadsBackAsTheFirstWordOfItsValue)
{
    for (const option_row& row : option_table)
        for (const keyword& k : row.keywords) {
            device_conf conf{};
            ASSERT_EQ(apply_setting(row.code, k.word, conf).result, setting_outcome::applied);
            const char* first = nullptr;
            for (const keyword& same : row.keywords)
                if (!first && same.listed && same.value == k.value)
                    first = same.word;
            EXPECT_EQ(current_value(row, conf), first) << row.name << "=" << k.word;
        }
}

TEST(SettingsView, ValuesAsTheOptionsTakeThem)
{
    const struct {
        int code;
        void (*set)(device_conf&);
        const char* expected;
    } cases[] = {
        {opt_set_device_zone, [](device_conf& c) { c.time_zone = 550; }, "5:30"},
        {opt_set_device_zone, [](device_conf& c) { c.time_zone = -350; }, "-3:30"},
        {opt_set_device_zone, [](device_conf& c) { c.time_zone = -25; }, "-0:15"},
        {opt_set_pdop_mask, [](device_conf& c) { c.pdop_mask = 25; }, "2.5"},
        {opt_set_2d_fix_altitude, [](device_conf& c) { c.fix_altitude_2d = 1800000; }, "1800000"},
        {opt_set_password, [](device_conf& c) { std::strcpy(c.password, "a\"b\x81"); }, "a\"b\x81"},
        {opt_set_fix_mode, [](device_conf& c) { c.fix_mode = 9; }, ""},  // no word stores 9
        {opt_set_gps_mode, [](device_conf& c) { c.gps_mode = 5; }, "user"},
    };
    for (const auto& c : cases) {
        device_conf conf{};
        c.set(conf);
        EXPECT_EQ(current_value(*find_option(c.code), conf), c.expected) << c.expected;
    }
}

TEST(SettingsView, JsonNamesEverySettingThatTakesAValue)
{
    device_conf conf{};
    conf.fix_mode = 2;
    conf.pdop_mask = 25;
    std::strcpy(conf.password, "a\"\\\x01");
    std::string json = settings_json(conf);
    for (const char* entry :
         {"{\"name\":\"clear-memory\",\"kind\":\"yes_no\",\"valid\":\"yes, no\",\"range\":null,"
          "\"words\":[\"yes\",\"no\"],\"value\":\"no\"}",
          "{\"name\":\"set-fix-mode\",\"kind\":\"word\",\"valid\":\"2d, 2d3d, 3d\",\"range\":null,"
          "\"words\":[\"2d\",\"2d3d\",\"3d\"],\"value\":\"2d3d\"}",
          "{\"name\":\"set-pdop-mask\",\"kind\":\"tenths\",\"valid\":\"0.0-1000.0\","
          "\"range\":{\"min\":\"0.0\",\"max\":\"1000.0\"},\"words\":null,\"value\":\"2.5\"}",
          "{\"name\":\"set-device-zone\",\"kind\":\"zone\",\"valid\":\"-14:00-14:00\","
          "\"range\":{\"min\":\"-14:00\",\"max\":\"14:00\"},\"words\":null,\"value\":\"0:00\"}",
          "{\"name\":\"set-password\",\"kind\":\"password\",\"valid\":null,\"range\":null,"
          "\"words\":null,\"value\":\"a\\\"\\\\\\u0001\",\"bytes\":10}"})
        EXPECT_NE(json.find(entry), std::string::npos) << entry;
    std::size_t entries = 0;
    for (std::size_t at = json.find("{\"name\""); at != std::string::npos;
         at = json.find("{\"name\"", at + 1))
        ++entries;
    EXPECT_EQ(entries, 33u);  // the actions, the fixed values and unset-password have none
    EXPECT_EQ(json.find("log-mode-walk"), std::string::npos);
}

}  // namespace
