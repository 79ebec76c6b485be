// The options of the command line as data, one row each: the long name, the
// code (its letter where it has a short form), the form of its value, and
// for a setting its device_conf field, its range and its keywords. The
// option parser's table, the settings' rules, their "valid values" lines,
// the help text's letters, the bash completion and the page all read them
// from here: a new setting is one more row.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "datafile/device_conf.h"

// Codes of the options: the short letter where there is one, else 0xFF00
// upwards in table order.
enum option_code : int {
    opt_read = 'R',
    opt_conf = 'C',
    opt_analyze = 'A',
    opt_clear_memory = 'D',
    opt_help = 'H',
    opt_set_log_mode = 'l',
    opt_log_mode_walk = 'w',
    opt_log_mode_bicycle = 'b',
    opt_log_mode_car = 'c',
    opt_log_mode_user = 'u',
    opt_set_device_zone = 'z',
    opt_set_shake_mode = 's',
    opt_enable_shake_mode = 'e',
    opt_disable_shake_mode = 'd',
    opt_set_shake_mode_time = 't',
    opt_set_userdefined_log_mode = 'v',
    opt_set_contrast = 0xFF00,
    opt_set_system_unit,
    opt_set_metric_system,
    opt_set_imperial_system,
    opt_set_backlight_time,
    opt_set_password,
    opt_unset_password,
    opt_set_userdefined_time_interval,
    opt_set_userdefined_distance_interval,
    opt_set_userdefined_heading_change,
    opt_set_userdefined_highest_speed,
    opt_set_userdefined_high_speed,
    opt_set_userdefined_middle_speed,
    opt_set_userdefined_low_speed,
    opt_set_userdefined_lowest_speed,
    opt_set_userdefined_highest_speed_interval,
    opt_set_userdefined_high_speed_interval,
    opt_set_userdefined_middle_speed_interval,
    opt_set_userdefined_low_speed_interval,
    opt_set_initial_min_svs,
    opt_set_fix_mode,
    opt_set_2d_fix_altitude,
    opt_set_initial_min_strength,
    opt_set_navigation_min_strength,
    opt_set_pdop_mask,
    opt_set_tdop_mask,
    opt_set_p_accuracy_mask,
    opt_set_t_accuracy_mask,
    opt_set_sbas,
    opt_enable_sbas,
    opt_disable_sbas,  // 0xFF1E
    opt_set_gps_mode = 'g',
};

inline constexpr int option_count = 48;

// A word an option accepts, and the value it selects. An unlisted word is
// accepted but named nowhere (a second word for the same value).
struct keyword {
    const char* word;
    int value;
    bool listed = true;
};

// Whether an option takes a value (the parser's no/required/optional).
enum class takes { nothing, value, attached_value };

// The form of an option's value and what it does.
enum class form {
    action,     // read, conf, analyze, help: the run's own flags
    fixed,      // no value; stores a fixed number (low)
    integer,    // read like atoi, inclusive range
    tenths,     // decimal number stored in tenths, inclusive range
    keyword,    // a keyword or its first letter
    word,       // whole words only
    on_off,
    yes_no,     // no value at all means yes
    zone,       // hundredths of an hour, inclusive range
    password,
    no_password,
};

// Reading and writing a setting's device_conf field.
struct field_access {
    void (*store)(device_conf&, std::int32_t) = nullptr;
    std::int64_t (*load)(const device_conf&) = nullptr;
};

struct option_row {
    const char* name;
    int code;
    takes argument;
    form kind;
    field_access field;
    std::int32_t low = 0;  // the inclusive range, or the fixed number in low
    std::int32_t high = 0;
    std::span<const keyword> keywords = {};
};

// Every option, in the order of the parser's table and the codes.
extern const option_row option_table[option_count];

// The row of the option with this code, or nullptr.
const option_row* find_option(int code);

// A value as the option's texts name it: tenths with one decimal, a zone as
// [-]hh:mm (hundredths of an hour), anything else as the number.
std::string bound(const option_row& row, std::int32_t value);

// The second line of a rejected value, "valid values: ...\n", or "" for an
// option that names none.
std::string valid_values(const option_row& row);
