// The value readers on their own: numbers, zones and words, including texts
// no user would type.
#include <chrono>
#include <clocale>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "cli/setting_values.h"

namespace {

using number = std::optional<std::int32_t>;
constexpr number beyond = std::nullopt;

struct number_case {
    std::string text;
    number expected;
};

TEST(SettingValues, IntegerReadLikeAtoiWithoutWrapping)
{
    const number_case cases[] = {
        {"200", 200},
        {"200abc", 200},
        {"abc", 0},
        {"", 0},
        {" \t\n\v\f\r+42", 42},
        {"-7", -7},
        {"+-5", 0},
        {"- 5", 0},
        {"0x1F", 0},
        {"1.9", 1},
        {"2147483647", 2147483647},
        {"2147483648", beyond},
        {"-2147483648", -2147483647 - 1},
        {"-2147483649", beyond},
        {"4294967496", beyond},  // would wrap to 200
        {"00000000000000000000000000012", 12},
        {std::string(100000, '9'), beyond},
        {"\xA0" "5", 0},  // a non-ASCII blank is no blank
    };
    for (const auto& c : cases)
        EXPECT_EQ(read_integer(c.text.c_str()), c.expected) << '"' << c.text << '"';
}

TEST(SettingValues, DecimalScaledExactlyAndTruncatedTowardZero)
{
    const number_case tenths[] = {
        {"2.3", 23},
        {"2.5", 25},
        {"2.55", 25},
        {"0.7", 7},
        {"1000.0", 10000},
        {"-0.05", 0},
        {"-0.1", -1},
        {"-1", -10},
        {".5", 5},
        {"5.", 50},
        {".", 0},
        {"-.", 0},
        {"", 0},
        {"  +2.5xyz", 25},
        {"1e2", 1000},
        {"1E+2", 1000},
        {"25e-1", 25},
        {"1e", 10},
        {"1e+", 10},
        {"1ex", 10},
        {"0.000", 0},
        {"000.0001e4", 10},
        {"inf", 0},
        {"nan", 0},
        {"0x1p4", 0},
        {"214748364.7", 2147483647},
        {"214748364.8", beyond},
        {"-214748364.8", -2147483647 - 1},
        {"-214748364.9", beyond},
        {"1e1000000000", beyond},
        {"1e-1000000000", 0},
        {"0e1000000000", 0},
        {"1e99999999999999999999999", beyond},
        {"1e-99999999999999999999999", 0},
        {std::string(100000, '9'), beyond},
        {"0." + std::string(100000, '0') + "1", 0},
        {"0." + std::string(100000, '0') + "1e100002", 100},
        {std::string(100000, '0') + "12.34", 123},
    };
    for (const auto& c : tenths)
        EXPECT_EQ(read_decimal(c.text.c_str(), 1), c.expected) << '"' << c.text << '"';

    EXPECT_EQ(read_decimal("5.30", 2), 530);
    EXPECT_EQ(read_decimal("0.29", 2), 29);  // 0.29 is below 0.29 in binary
    EXPECT_EQ(read_decimal("5,30", 2, ','), 530);
    EXPECT_EQ(read_decimal("5,30", 2), 500);
}

TEST(SettingValues, HugeNumbersAreAnsweredAtOnce)
{
    const std::string digits(100000, '7');
    const std::string texts[] = {
        digits, "1e1000000000", "1e-1000000000", "0." + digits, digits + "e-1000000000",
        "." + std::string(100000, '0') + "1e1000000000",
    };
    auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 10; ++round)
        for (const auto& text : texts) {
            read_integer(text.c_str());
            read_decimal(text.c_str(), 1);
            read_zone(text.c_str());
        }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

struct zone_case {
    const char* text;
    zone_value::status result;
    int hundredths;
};

TEST(SettingValues, ZoneInHoursOrHoursAndMinutes)
{
    constexpr auto ok = zone_value::ok;
    constexpr auto minutes = zone_value::bad_minutes;
    constexpr auto range = zone_value::out_of_range;
    const zone_case cases[] = {
        {"-5", ok, -500},
        {"5", ok, 500},
        {"5:", ok, 500},
        {"14", ok, 1400},
        {"-14", ok, -1400},
        {"14:00", ok, 1400},
        {"-14:00", ok, -1400},
        {"5:30", ok, 550},
        {"+5:30", ok, 550},
        {"05:30", ok, 550},
        {"530", ok, 550},
        {"5.30", ok, 550},
        {"5,30", ok, 550},
        {"-3:30", ok, -350},
        {"5:44", ok, 550},
        {"5:45", ok, 575},
        {"5:10", ok, 500},
        {"15", ok, 25},
        {"5.5", ok, 575},
        {"0.5", ok, 75},
        {"0:15", ok, 25},
        {"00:10", ok, 1000},
        {"0.1", ok, 1000},
        {":30", ok, 50},
        {"-0:45", ok, -75},
        {"abc", ok, 0},
        {"", ok, 0},
        {"5:3:0", ok, 75},  // only the first colon closes up: 0:53, the rest is ignored
        {"5:30.", ok, 500},  // a point makes it a decimal number, which ends at the colon
        {"14:15", range, 0},
        {"15:00", range, 0},
        {"-14:01", range, 0},
        {"1401", range, 0},
        {"2147483648", range, 0},
        {"99999999999:00", range, 0},
        {"1e1000000000.", range, 0},
        {"5:75", minutes, 0},
        {"-5:75", minutes, 0},
        {"5,75", minutes, 0},
        {"0:60", minutes, 0},
        {"1399", minutes, 0},
    };
    for (const auto& c : cases) {
        zone_value zone = read_zone(c.text);
        EXPECT_EQ(zone.result, c.result) << c.text;
        if (c.result == ok) {
            EXPECT_EQ(zone.hundredths, c.hundredths) << c.text;
        }
    }
}

struct word_case {
    const char* text;
    std::optional<int> expected;
};

constexpr keyword gps_modes[] = {{"high", 0}, {"middle", 1}, {"default", 2},
                                 {"low", 3},  {"fast", 4},   {"user", 5}};

TEST(SettingValues, KeywordsByFirstLetterOrWholeWord)
{
    const word_case cases[] = {
        {"L", 3},  {"l", 3},        {"low", 3},   {"LOW", 3},  {"lOw", 3},   {"lo", std::nullopt},
        {"h", 0},  {"HIGH", 0},     {"u", 5},     {"user", 5}, {"D", 2},     {"", std::nullopt},
        {"x", std::nullopt},        {"lowe", std::nullopt},    {"low ", std::nullopt},
        {"\xCCow", std::nullopt},   // 'L' with its high bit set
        {"\xEC", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read_keyword(c.text, gps_modes), c.expected) << c.text;

    constexpr keyword fix_modes[] = {{"2d", 1}, {"2d3d", 2}, {"auto", 2}, {"3d", 3}};
    const word_case words[] = {
        {"2d", 1},   {"2D", 1},           {"2d3d", 2}, {"2D3D", 2}, {"AUTO", 2},
        {"3d", 3},   {"2", std::nullopt}, {"a", std::nullopt}, {"3", std::nullopt},
    };
    for (const auto& c : words)
        EXPECT_EQ(read_word(c.text, fix_modes), c.expected) << c.text;
}

TEST(SettingValues, OnOffAndYesNo)
{
    const word_case on_off[] = {
        {"0", 0}, {"d", 0}, {"D", 0}, {"off", 0}, {"OFF", 0}, {"1", 1},
        {"e", 1}, {"E", 1}, {"on", 1}, {"On", 1}, {"", std::nullopt}, {"n", std::nullopt},
        {"y", std::nullopt}, {"yes", std::nullopt}, {"o", std::nullopt}, {"00", std::nullopt},
        {"of", std::nullopt}, {"enable", std::nullopt},
    };
    for (const auto& c : on_off)
        EXPECT_EQ(read_on_off(c.text), c.expected) << c.text;

    const word_case yes_no[] = {
        {"0", 0}, {"n", 0}, {"N", 0}, {"d", 0}, {"D", 0}, {"no", 0}, {"No", 0}, {"off", 0},
        {"1", 1}, {"y", 1}, {"Y", 1}, {"e", 1}, {"E", 1}, {"yes", 1}, {"YES", 1}, {"on", 1},
        {"", std::nullopt}, {"maybe", std::nullopt}, {"ye", std::nullopt}, {"2", std::nullopt},
    };
    for (const auto& c : yes_no)
        EXPECT_EQ(read_yes_no(c.text), c.expected) << c.text;
}

TEST(SettingValues, CaseFoldingIgnoresTheLocale)
{
    // In a Turkish locale tolower('I') is a dotless i; the readers do not care.
    const char* old = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_CTYPE, "tr_TR.ISO-8859-9");
    constexpr keyword words[] = {{"imperial", 1}};
    EXPECT_EQ(read_keyword("IMPERIAL", words), 1);
    EXPECT_TRUE(equals_ignoring_case("MIXED", "mixed"));
    EXPECT_FALSE(equals_ignoring_case("\xC4", "\xE4"));  // Latin-1 A/a umlaut
    EXPECT_FALSE(equals_ignoring_case("mix", "mixed"));
    std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
