// Fuzz target: any text as the value of every setting option. The readers
// answer every text, an accepted value always lies in its option's range, a
// rejected one leaves the record as it was, and an option changes no field
// but its own.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/options.h"
#include "cli/setting_values.h"
#include "cli/settings.h"
#include "datafile/device_conf.h"

namespace {

[[noreturn]] void fail(const char* what, const char* text)
{
    std::fprintf(stderr, "values fuzzer: %s (value '%s')\n", what, text);
    std::abort();
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_word(const char* text, const char* word)
{
    for (; *text && *word; ++text, ++word)
        if (lower(*text) != *word)
            return false;
    return *text == *word;
}

// Is text one of the single characters in letters, or one of the words?
bool one_of(const char* text, const char* letters, std::initializer_list<const char*> words)
{
    if (text[0] && !text[1] && std::strchr(letters, text[0]))
        return true;
    for (const char* word : words)
        if (same_word(text, word))
            return true;
    return false;
}

void check_readers(const char* text)
{
    // Integers: exactly what strtol reads, when it fits 32 bits.
    errno = 0;
    long long reference = std::strtoll(text, nullptr, 10);
    bool fits = errno != ERANGE && reference >= INT32_MIN && reference <= INT32_MAX;
    std::optional<std::int32_t> integer = read_integer(text);
    if (integer.has_value() != fits || (fits && *integer != reference))
        fail("read_integer differs from strtol", text);

    // Decimals in tenths: within one of strtod's binary result, where strtod
    // reads the same kind of number (not inf, nan or hexadecimal).
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p == '+' || *p == '-')
        ++p;
    bool plain = !(lower(p[0]) == 'i' || lower(p[0]) == 'n' ||
                   (p[0] == '0' && lower(p[1]) == 'x'));
    double tenfold = std::strtod(text, nullptr) * 10;
    std::optional<std::int32_t> tenths = read_decimal(text, 1);
    if (plain && std::fabs(tenfold) < 1e9) {
        if (!tenths || std::fabs(*tenths - std::trunc(tenfold)) > 1)
            fail("read_decimal differs from strtod", text);
    }
    if (plain && std::fabs(tenfold) > 1e10 && tenths)
        fail("read_decimal accepted a number beyond 32 bits", text);

    zone_value zone = read_zone(text);
    if (zone.result == zone_value::ok && (zone.hundredths < -1400 || zone.hundredths > 1400 ||
                                          zone.hundredths % 25 != 0))
        fail("read_zone gave a zone outside -14:00 to 14:00 or not a quarter hour", text);

    std::optional<int> on_off = read_on_off(text);
    if (on_off != (one_of(text, "0dD", {"off"}) ? std::optional<int>(0)
                   : one_of(text, "1eE", {"on"}) ? std::optional<int>(1)
                                                 : std::nullopt))
        fail("read_on_off", text);

    std::optional<int> yes_no = read_yes_no(text);
    if (yes_no != (one_of(text, "0nNdD", {"no", "off"}) ? std::optional<int>(0)
                   : one_of(text, "1yYeE", {"yes", "on"}) ? std::optional<int>(1)
                                                          : std::nullopt))
        fail("read_yes_no", text);

    static constexpr keyword modes[] = {{"high", 0}, {"middle", 1}, {"default", 2},
                                        {"low", 3},  {"fast", 4},   {"user", 5}};
    std::optional<int> mode = read_keyword(text, modes);
    std::optional<int> expected;
    for (const keyword& k : modes)
        if (!expected && (same_word(text, k.word) ||
                          (text[0] && !text[1] && lower(text[0]) == k.word[0])))
            expected = k.value;
    if (mode != expected)
        fail("read_keyword", text);

    std::optional<int> word = read_word(text, modes);
    if (word && !same_word(text, modes[*word].word))
        fail("read_word accepted a text that is no whole word", text);
}

// The field an option changes and its range.
struct checked_field {
    int code;
    long (*get)(const device_conf&);
    void (*copy)(device_conf& to, const device_conf& from);
    long low, high;
};

template <auto member>
long get(const device_conf& conf)
{
    return static_cast<long>(conf.*member);
}

template <auto member>
void copy(device_conf& to, const device_conf& from)
{
    to.*member = from.*member;
}

#define FIELD(code, member, low, high) \
    checked_field{code, get<&device_conf::member>, copy<&device_conf::member>, low, high}

constexpr checked_field fields[] = {
    FIELD(opt_clear_memory, clear_memory, 0, 1),
    FIELD(opt_set_log_mode, log_mode, 1, 4),
    FIELD(opt_log_mode_walk, log_mode, 1, 1),
    FIELD(opt_log_mode_bicycle, log_mode, 2, 2),
    FIELD(opt_log_mode_car, log_mode, 3, 3),
    FIELD(opt_log_mode_user, log_mode, 4, 4),
    FIELD(opt_set_device_zone, time_zone, -1400, 1400),
    FIELD(opt_set_shake_mode, shake_mode, 0, 1),
    FIELD(opt_enable_shake_mode, shake_mode, 1, 1),
    FIELD(opt_disable_shake_mode, shake_mode, 0, 0),
    FIELD(opt_set_shake_mode_time, shake_mode_time, 1, 120),
    FIELD(opt_set_userdefined_log_mode, user_log_mode, 5, 9),
    FIELD(opt_set_contrast, contrast, 170, 245),
    FIELD(opt_set_system_unit, system_unit, 0, 1),
    FIELD(opt_set_metric_system, system_unit, 0, 0),
    FIELD(opt_set_imperial_system, system_unit, 1, 1),
    FIELD(opt_set_backlight_time, backlight_time, 5, 255),
    FIELD(opt_set_userdefined_time_interval, time_interval, 1, 65535),
    FIELD(opt_set_userdefined_distance_interval, distance_interval, 1, 5000),
    FIELD(opt_set_userdefined_heading_change, heading_change, 1, 179),
    FIELD(opt_set_userdefined_highest_speed, highest_speed, 5, 2000),
    FIELD(opt_set_userdefined_high_speed, high_speed, 4, 1999),
    FIELD(opt_set_userdefined_middle_speed, middle_speed, 3, 1998),
    FIELD(opt_set_userdefined_low_speed, low_speed, 2, 1997),
    FIELD(opt_set_userdefined_lowest_speed, lowest_speed, 1, 1996),
    FIELD(opt_set_userdefined_highest_speed_interval, highest_speed_interval, 1, 3600),
    FIELD(opt_set_userdefined_high_speed_interval, high_speed_interval, 1, 3600),
    FIELD(opt_set_userdefined_middle_speed_interval, middle_speed_interval, 1, 3600),
    FIELD(opt_set_userdefined_low_speed_interval, low_speed_interval, 1, 3600),
    FIELD(opt_set_initial_min_svs, initial_min_svs, 0, 255),
    FIELD(opt_set_fix_mode, fix_mode, 1, 3),
    FIELD(opt_set_2d_fix_altitude, fix_altitude_2d, 0, 1800000),
    FIELD(opt_set_initial_min_strength, initial_min_strength, 0, 64),
    FIELD(opt_set_navigation_min_strength, navigation_min_strength, 0, 64),
    FIELD(opt_set_pdop_mask, pdop_mask, 0, 10000),
    FIELD(opt_set_tdop_mask, tdop_mask, 0, 10000),
    FIELD(opt_set_p_accuracy_mask, p_accuracy_mask, 0, 65535),
    FIELD(opt_set_t_accuracy_mask, t_accuracy_mask, 0, 65535),
    FIELD(opt_set_sbas, sbas, 0, 1),
    FIELD(opt_enable_sbas, sbas, 1, 1),
    FIELD(opt_disable_sbas, sbas, 0, 0),
    FIELD(opt_set_gps_mode, gps_mode, 0, 5),
};

#undef FIELD

// A record in which every field holds a value no option stores, so any
// change shows. Records are compared whole with memcmp: padding is set too.
void start_conf(device_conf& conf)
{
    std::memset(&conf, 0xA7, sizeof conf);
    std::strcpy(conf.password, "before");
}

// Applies the option with value to the start record and checks the result.
void check_setting(int code, const char* value, const char* text)
{
    device_conf conf, expected;
    start_conf(conf);
    start_conf(expected);
    setting_outcome outcome = apply_setting(code, value, conf);
    if (outcome.result == setting_outcome::no_effect)
        fail("an option of the table has no effect", text);
    if (outcome.result == setting_outcome::rejected) {
        if (std::memcmp(&conf, &expected, sizeof conf) != 0)
            fail("a rejected value changed the record", text);
        return;
    }
    if (code == opt_set_password || code == opt_unset_password) {
        std::size_t length = code == opt_unset_password ? 0 : strnlen(value, 10);
        std::memset(expected.password, 0, sizeof expected.password);
        std::memcpy(expected.password, value ? value : "", length);
        // Bytes after the NUL are free; compare the characters only.
        if (std::strcmp(conf.password, expected.password) != 0)
            fail("the password is not the value's first ten bytes", text);
        std::memcpy(expected.password, conf.password, sizeof conf.password);
    } else {
        const checked_field* field = nullptr;
        for (const checked_field& f : fields)
            if (f.code == code)
                field = &f;
        if (!field)
            fail("an option without a checked field was applied", text);
        long stored = field->get(conf);
        if (stored < field->low || stored > field->high)
            fail("an accepted value lies outside the option's range", text);
        if (code == opt_set_device_zone && stored % 25 != 0)
            fail("a zone is not a whole quarter hour", text);
        field->copy(expected, conf);
    }
    if (std::memcmp(&conf, &expected, sizeof conf) != 0)
        fail("an option changed a field that is not its own", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The value as getopt_long hands it over: a C string, ending at a NUL.
    std::string value(reinterpret_cast<const char*>(data), size);
    const char* text = value.c_str();
    check_readers(text);
    for (int i = 0; i < option_count; ++i) {
        const option& o = long_options[i];
        if (o.val == opt_read || o.val == opt_conf || o.val == opt_analyze || o.val == opt_help)
            continue;
        if (o.has_arg != required_argument)
            check_setting(o.val, nullptr, "(none)");
        if (o.has_arg != no_argument)
            check_setting(o.val, text, text);
    }
    return 0;
}
