// The option table: each option's name, code and value form, and for a
// setting its field, range and keywords.
#include "datafile/settings_table.h"

#include <type_traits>

namespace {

constexpr keyword log_modes[] = {{"walk", 1}, {"bicycle", 2}, {"car", 3}, {"user", 4}};
constexpr keyword user_log_modes[] = {
    {"time", 5}, {"distance", 6}, {"heading", 7}, {"speed", 8}, {"mixed", 9}};
constexpr keyword system_units[] = {{"metric", 0}, {"imperial", 1}};
constexpr keyword fix_modes[] = {{"2d", 1}, {"2d3d", 2}, {"auto", 2, false}, {"3d", 3}};
constexpr keyword gps_modes[] = {{"high", 0}, {"middle", 1}, {"default", 2},
                                 {"low", 3},  {"fast", 4},   {"user", 5}};
// The words named for the switches; their readers take more forms.
constexpr keyword on_off[] = {{"on", 1}, {"off", 0}};
constexpr keyword yes_no[] = {{"yes", 1}, {"no", 0}};

// One device_conf field, stored in the field's width.
template <auto member>
constexpr field_access field()
{
    using type = std::remove_reference_t<decltype(std::declval<device_conf&>().*member)>;
    return {[](device_conf& conf, std::int32_t value) { conf.*member = static_cast<type>(value); },
            [](const device_conf& conf) { return static_cast<std::int64_t>(conf.*member); }};
}

using c = device_conf;
using enum takes;

constexpr option_row action(const char* name, int code, takes argument = nothing)
{
    return {name, code, argument, form::action, {}};
}

constexpr option_row fixed(const char* name, int code, field_access to, std::int32_t value)
{
    return {name, code, nothing, form::fixed, to, value, value};
}

constexpr option_row range(const char* name, int code, form kind, field_access to,
                           std::int32_t low, std::int32_t high)
{
    return {name, code, value, kind, to, low, high};
}

constexpr option_row choice(const char* name, int code, form kind, field_access to,
                            std::span<const keyword> words, takes argument = value)
{
    return {name, code, argument, kind, to, 0, 0, words};
}

}  // namespace

const option_row option_table[option_count] = {
    action("read", opt_read, attached_value),
    action("conf", opt_conf),
    action("analyze", opt_analyze),
    choice("clear-memory", opt_clear_memory, form::yes_no, field<&c::clear_memory>(), yes_no,
           attached_value),
    action("help", opt_help),
    choice("set-log-mode", opt_set_log_mode, form::keyword, field<&c::log_mode>(), log_modes),
    fixed("log-mode-walk", opt_log_mode_walk, field<&c::log_mode>(), 1),
    fixed("log-mode-bicycle", opt_log_mode_bicycle, field<&c::log_mode>(), 2),
    fixed("log-mode-car", opt_log_mode_car, field<&c::log_mode>(), 3),
    fixed("log-mode-user", opt_log_mode_user, field<&c::log_mode>(), 4),
    range("set-device-zone", opt_set_device_zone, form::zone, field<&c::time_zone>(), -1400, 1400),
    choice("set-shake-mode", opt_set_shake_mode, form::on_off, field<&c::shake_mode>(), on_off),
    fixed("enable-shake-mode", opt_enable_shake_mode, field<&c::shake_mode>(), 1),
    fixed("disable-shake-mode", opt_disable_shake_mode, field<&c::shake_mode>(), 0),
    range("set-shake-mode-time", opt_set_shake_mode_time, form::integer,
          field<&c::shake_mode_time>(), 1, 120),
    choice("set-userdefined-log-mode", opt_set_userdefined_log_mode, form::keyword,
           field<&c::user_log_mode>(), user_log_modes),
    range("set-contrast", opt_set_contrast, form::integer, field<&c::contrast>(), 170, 245),
    choice("set-system-unit", opt_set_system_unit, form::keyword, field<&c::system_unit>(),
           system_units),
    fixed("set-metric-system", opt_set_metric_system, field<&c::system_unit>(), 0),
    fixed("set-imperial-system", opt_set_imperial_system, field<&c::system_unit>(), 1),
    range("set-backlight-time", opt_set_backlight_time, form::integer,
          field<&c::backlight_time>(), 5, 255),
    {"set-password", opt_set_password, value, form::password, {}},
    {"unset-password", opt_unset_password, nothing, form::no_password, {}},
    range("set-userdefined-time-interval", opt_set_userdefined_time_interval, form::integer,
          field<&c::time_interval>(), 1, 65535),
    range("set-userdefined-distance-interval", opt_set_userdefined_distance_interval,
          form::integer, field<&c::distance_interval>(), 1, 5000),
    range("set-userdefined-heading-change", opt_set_userdefined_heading_change, form::integer,
          field<&c::heading_change>(), 1, 179),
    range("set-userdefined-highest-speed", opt_set_userdefined_highest_speed, form::integer,
          field<&c::highest_speed>(), 5, 2000),
    range("set-userdefined-high-speed", opt_set_userdefined_high_speed, form::integer,
          field<&c::high_speed>(), 4, 1999),
    range("set-userdefined-middle-speed", opt_set_userdefined_middle_speed, form::integer,
          field<&c::middle_speed>(), 3, 1998),
    range("set-userdefined-low-speed", opt_set_userdefined_low_speed, form::integer,
          field<&c::low_speed>(), 2, 1997),
    range("set-userdefined-lowest-speed", opt_set_userdefined_lowest_speed, form::integer,
          field<&c::lowest_speed>(), 1, 1996),
    range("set-userdefined-highest-speed-interval", opt_set_userdefined_highest_speed_interval,
          form::integer, field<&c::highest_speed_interval>(), 1, 3600),
    range("set-userdefined-high-speed-interval", opt_set_userdefined_high_speed_interval,
          form::integer, field<&c::high_speed_interval>(), 1, 3600),
    range("set-userdefined-middle-speed-interval", opt_set_userdefined_middle_speed_interval,
          form::integer, field<&c::middle_speed_interval>(), 1, 3600),
    range("set-userdefined-low-speed-interval", opt_set_userdefined_low_speed_interval,
          form::integer, field<&c::low_speed_interval>(), 1, 3600),
    range("set-initial-min-svs", opt_set_initial_min_svs, form::integer,
          field<&c::initial_min_svs>(), 0, 255),
    choice("set-fix-mode", opt_set_fix_mode, form::word, field<&c::fix_mode>(), fix_modes),
    range("set-2d-fix-altitude", opt_set_2d_fix_altitude, form::integer,
          field<&c::fix_altitude_2d>(), 0, 1800000),
    range("set-initial-min-strength", opt_set_initial_min_strength, form::integer,
          field<&c::initial_min_strength>(), 0, 64),
    range("set-navigation-min-strength", opt_set_navigation_min_strength, form::integer,
          field<&c::navigation_min_strength>(), 0, 64),
    range("set-pdop-mask", opt_set_pdop_mask, form::tenths, field<&c::pdop_mask>(), 0, 10000),
    range("set-tdop-mask", opt_set_tdop_mask, form::tenths, field<&c::tdop_mask>(), 0, 10000),
    range("set-p-accuracy-mask", opt_set_p_accuracy_mask, form::integer,
          field<&c::p_accuracy_mask>(), 0, 65535),
    range("set-t-accuracy-mask", opt_set_t_accuracy_mask, form::integer,
          field<&c::t_accuracy_mask>(), 0, 65535),
    choice("set-sbas", opt_set_sbas, form::on_off, field<&c::sbas>(), on_off),
    fixed("enable-sbas", opt_enable_sbas, field<&c::sbas>(), 1),
    fixed("disable-sbas", opt_disable_sbas, field<&c::sbas>(), 0),
    choice("set-gps-mode", opt_set_gps_mode, form::keyword, field<&c::gps_mode>(), gps_modes),
};

const option_row* find_option(int code)
{
    for (const option_row& row : option_table)
        if (row.code == code)
            return &row;
    return nullptr;
}

std::string bound(const option_row& row, std::int32_t value)
{
    auto two_digits = [](std::int32_t n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
    std::string sign = value < 0 ? "-" : "";
    std::int32_t size = value < 0 ? -value : value;
    if (row.kind == form::tenths)
        return sign + std::to_string(size / 10) + "." + std::to_string(size % 10);
    if (row.kind == form::zone)
        return sign + two_digits(size / 100) + ":" + two_digits(size % 100 * 60 / 100);
    return std::to_string(value);
}

std::string valid_values(const option_row& row)
{
    std::string line;
    switch (row.kind) {
    case form::integer:
    case form::tenths:
    case form::zone: line = bound(row, row.low) + "-" + bound(row, row.high); break;
    case form::keyword:
    case form::word:
    case form::on_off:
    case form::yes_no:
        for (const keyword& k : row.keywords)
            if (k.listed)
                line.append(line.empty() ? "" : ", ").append(k.word);
        break;
    default: return "";
    }
    return "valid values: " + line + "\n";
}
