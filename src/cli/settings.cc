// The setting options: for each, the form of value it accepts, the
// device_conf field it changes and the line of valid values printed when it
// rejects a value.
#include "cli/settings.h"

#include <cstring>
#include <optional>
#include <span>
#include <type_traits>

#include "cli/options.h"
#include "cli/setting_values.h"
#include "datafile/layout.h"

namespace {

// The second line of a rejection.
namespace valid {
constexpr char yes_no[] = "valid values: yes, no\n";
constexpr char log_mode[] = "valid values: walk, bicycle, car, user\n";
constexpr char zone[] = "valid values: -14:00-14:00\n";
constexpr char on_off[] = "valid values: on, off\n";
constexpr char shake_mode_time[] = "valid values: 1-120\n";
constexpr char user_log_mode[] = "valid values: time, distance, heading, speed, mixed\n";
constexpr char contrast[] = "valid values: 170-245\n";
constexpr char system_unit[] = "valid values: metric, imperial\n";
constexpr char backlight_time[] = "valid values: 5-255\n";
constexpr char time_interval[] = "valid values: 1-65535\n";
constexpr char distance_interval[] = "valid values: 1-5000\n";
constexpr char heading_change[] = "valid values: 1-179\n";
constexpr char highest_speed[] = "valid values: 5-2000\n";
constexpr char high_speed[] = "valid values: 4-1999\n";
constexpr char middle_speed[] = "valid values: 3-1998\n";
constexpr char low_speed[] = "valid values: 2-1997\n";
constexpr char lowest_speed[] = "valid values: 1-1996\n";
constexpr char speed_interval[] = "valid values: 1-3600\n";
constexpr char initial_min_svs[] = "valid values: 0-255\n";
constexpr char fix_mode[] = "valid values: 2d, 2d3d, 3d\n";
constexpr char fix_altitude[] = "valid values: 0-1800000\n";
constexpr char strength[] = "valid values: 0-64\n";
constexpr char dop_mask[] = "valid values: 0.0-1000.0\n";
constexpr char accuracy_mask[] = "valid values: 0-65535\n";
constexpr char gps_mode[] = "valid values: high, middle, default, low, fast, user\n";
}  // namespace valid

constexpr keyword log_modes[] = {{"walk", 1}, {"bicycle", 2}, {"car", 3}, {"user", 4}};
constexpr keyword user_log_modes[] = {
    {"time", 5}, {"distance", 6}, {"heading", 7}, {"speed", 8}, {"mixed", 9}};
constexpr keyword system_units[] = {{"metric", 0}, {"imperial", 1}};
constexpr keyword fix_modes[] = {{"2d", 1}, {"2d3d", 2}, {"auto", 2}, {"3d", 3}};
constexpr keyword gps_modes[] = {{"high", 0},   {"middle", 1}, {"default", 2},
                                 {"low", 3},    {"fast", 4},   {"user", 5}};

enum class form {
    fixed,      // no value; stores a fixed number
    integer,    // read like atoi, inclusive range
    tenths,     // decimal number stored in tenths, inclusive range
    keyword,    // a keyword or its first letter
    word,       // whole words only
    on_off,
    yes_no,     // no value at all means yes
    zone,       // hundredths of an hour
    password,
    no_password,
};

using store_fn = void (*)(device_conf&, std::int32_t);

// Stores an accepted value in one field, in the field's width.
template <auto field>
void store(device_conf& conf, std::int32_t value)
{
    conf.*field = static_cast<std::remove_reference_t<decltype(conf.*field)>>(value);
}

struct setting {
    int code;
    form kind;
    store_fn store;
    std::int32_t low;  // the inclusive range, or the fixed number in low
    std::int32_t high;
    std::span<const keyword> keywords;
    const char* valid_values;
};

constexpr setting fixed(int code, store_fn to, std::int32_t value)
{
    return {code, form::fixed, to, value, value, {}, nullptr};
}

constexpr setting range(int code, form kind, store_fn to, std::int32_t low, std::int32_t high,
                        const char* valid_values)
{
    return {code, kind, to, low, high, {}, valid_values};
}

constexpr setting choice(int code, form kind, store_fn to, std::span<const keyword> keywords,
                         const char* valid_values)
{
    return {code, kind, to, 0, 0, keywords, valid_values};
}

using c = device_conf;

const setting settings[] = {
    choice(opt_clear_memory, form::yes_no, store<&c::clear_memory>, {}, valid::yes_no),
    choice(opt_set_log_mode, form::keyword, store<&c::log_mode>, log_modes, valid::log_mode),
    fixed(opt_log_mode_walk, store<&c::log_mode>, 1),
    fixed(opt_log_mode_bicycle, store<&c::log_mode>, 2),
    fixed(opt_log_mode_car, store<&c::log_mode>, 3),
    fixed(opt_log_mode_user, store<&c::log_mode>, 4),
    choice(opt_set_device_zone, form::zone, store<&c::time_zone>, {}, valid::zone),
    choice(opt_set_shake_mode, form::on_off, store<&c::shake_mode>, {}, valid::on_off),
    fixed(opt_enable_shake_mode, store<&c::shake_mode>, 1),
    fixed(opt_disable_shake_mode, store<&c::shake_mode>, 0),
    range(opt_set_shake_mode_time, form::integer, store<&c::shake_mode_time>, 1, 120,
          valid::shake_mode_time),
    choice(opt_set_userdefined_log_mode, form::keyword, store<&c::user_log_mode>,
           user_log_modes, valid::user_log_mode),
    range(opt_set_contrast, form::integer, store<&c::contrast>, 170, 245, valid::contrast),
    choice(opt_set_system_unit, form::keyword, store<&c::system_unit>, system_units,
           valid::system_unit),
    fixed(opt_set_metric_system, store<&c::system_unit>, 0),
    fixed(opt_set_imperial_system, store<&c::system_unit>, 1),
    range(opt_set_backlight_time, form::integer, store<&c::backlight_time>, 5, 255,
          valid::backlight_time),
    {opt_set_password, form::password, nullptr, 0, 0, {}, nullptr},
    {opt_unset_password, form::no_password, nullptr, 0, 0, {}, nullptr},
    range(opt_set_userdefined_time_interval, form::integer, store<&c::time_interval>, 1, 65535,
          valid::time_interval),
    range(opt_set_userdefined_distance_interval, form::integer, store<&c::distance_interval>, 1,
          5000, valid::distance_interval),
    range(opt_set_userdefined_heading_change, form::integer, store<&c::heading_change>, 1, 179,
          valid::heading_change),
    range(opt_set_userdefined_highest_speed, form::integer, store<&c::highest_speed>, 5, 2000,
          valid::highest_speed),
    range(opt_set_userdefined_high_speed, form::integer, store<&c::high_speed>, 4, 1999,
          valid::high_speed),
    range(opt_set_userdefined_middle_speed, form::integer, store<&c::middle_speed>, 3, 1998,
          valid::middle_speed),
    range(opt_set_userdefined_low_speed, form::integer, store<&c::low_speed>, 2, 1997,
          valid::low_speed),
    range(opt_set_userdefined_lowest_speed, form::integer, store<&c::lowest_speed>, 1, 1996,
          valid::lowest_speed),
    range(opt_set_userdefined_highest_speed_interval, form::integer,
          store<&c::highest_speed_interval>, 1, 3600, valid::speed_interval),
    range(opt_set_userdefined_high_speed_interval, form::integer,
          store<&c::high_speed_interval>, 1, 3600, valid::speed_interval),
    range(opt_set_userdefined_middle_speed_interval, form::integer,
          store<&c::middle_speed_interval>, 1, 3600, valid::speed_interval),
    range(opt_set_userdefined_low_speed_interval, form::integer, store<&c::low_speed_interval>,
          1, 3600, valid::speed_interval),
    range(opt_set_initial_min_svs, form::integer, store<&c::initial_min_svs>, 0, 255,
          valid::initial_min_svs),
    choice(opt_set_fix_mode, form::word, store<&c::fix_mode>, fix_modes, valid::fix_mode),
    range(opt_set_2d_fix_altitude, form::integer, store<&c::fix_altitude_2d>, 0, 1800000,
          valid::fix_altitude),
    range(opt_set_initial_min_strength, form::integer, store<&c::initial_min_strength>, 0, 64,
          valid::strength),
    range(opt_set_navigation_min_strength, form::integer, store<&c::navigation_min_strength>, 0,
          64, valid::strength),
    range(opt_set_pdop_mask, form::tenths, store<&c::pdop_mask>, 0, 10000, valid::dop_mask),
    range(opt_set_tdop_mask, form::tenths, store<&c::tdop_mask>, 0, 10000, valid::dop_mask),
    range(opt_set_p_accuracy_mask, form::integer, store<&c::p_accuracy_mask>, 0, 65535,
          valid::accuracy_mask),
    range(opt_set_t_accuracy_mask, form::integer, store<&c::t_accuracy_mask>, 0, 65535,
          valid::accuracy_mask),
    choice(opt_set_sbas, form::on_off, store<&c::sbas>, {}, valid::on_off),
    fixed(opt_enable_sbas, store<&c::sbas>, 1),
    fixed(opt_disable_sbas, store<&c::sbas>, 0),
    choice(opt_set_gps_mode, form::keyword, store<&c::gps_mode>, gps_modes, valid::gps_mode),
};

const setting* find_setting(int code)
{
    for (const setting& s : settings)
        if (s.code == code)
            return &s;
    return nullptr;
}

std::optional<std::int32_t> within(std::optional<std::int32_t> value, const setting& s)
{
    if (value && *value >= s.low && *value <= s.high)
        return value;
    return std::nullopt;
}

// The number a value selects, or nothing when the option rejects it.
std::optional<std::int32_t> read_value(const setting& s, const char* value)
{
    const char* text = value ? value : "";
    switch (s.kind) {
    case form::fixed: return s.low;
    case form::integer: return within(read_integer(text), s);
    case form::tenths: return within(read_decimal(text, 1), s);
    case form::keyword: return read_keyword(text, s.keywords);
    case form::word: return read_word(text, s.keywords);
    case form::on_off: return read_on_off(text);
    case form::yes_no: return value ? read_yes_no(value) : 1;
    default: return std::nullopt;
    }
}

// The first ten bytes of the value; an empty value empties the password.
void set_password(device_conf& conf, const char* value)
{
    std::size_t length = strnlen(value, layout::password_length);
    std::memset(conf.password, 0, sizeof conf.password);
    std::memcpy(conf.password, value, length);
}

setting_outcome rejected(const char* valid_values)
{
    return {setting_outcome::rejected, valid_values};
}

constexpr setting_outcome applied{setting_outcome::applied, nullptr};

}  // namespace

setting_outcome apply_setting(int code, const char* value, device_conf& conf)
{
    const setting* s = find_setting(code);
    if (!s)
        return {setting_outcome::no_effect, nullptr};
    switch (s->kind) {
    case form::password:
        set_password(conf, value ? value : "");
        return applied;
    case form::no_password:
        set_password(conf, "");
        return applied;
    case form::zone: {
        zone_value zone = read_zone(value ? value : "");
        if (zone.result != zone_value::ok)  // minutes above 59: the first line only
            return rejected(zone.result == zone_value::out_of_range ? s->valid_values : nullptr);
        s->store(conf, zone.hundredths);
        return applied;
    }
    default: break;
    }
    std::optional<std::int32_t> number = read_value(*s, value);
    if (!number)
        return rejected(s->valid_values);
    s->store(conf, *number);
    return applied;
}
