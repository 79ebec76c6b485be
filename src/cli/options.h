// The command line's option table: long names, argument forms and the code
// getopt_long returns for each option.
#pragma once

#include <getopt.h>

#include <string>

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

// R and D take an optional value that must be attached; l, z, s, t, v and g
// require one.
inline constexpr char short_options[] = "R::CAD::Hl:wbcuz:s:edt:v:g:";

inline constexpr int option_count = 48;
extern const struct option long_options[option_count + 1];  // with terminator

// How messages name an option: "-z" for one with a short form,
// "--set-contrast" for a long-only one.
std::string option_name(int code);
