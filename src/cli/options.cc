// The option table, in the order the help text and the codes follow.
#include "cli/options.h"

const struct option long_options[option_count + 1] = {
    {"read", optional_argument, nullptr, opt_read},
    {"conf", no_argument, nullptr, opt_conf},
    {"analyze", no_argument, nullptr, opt_analyze},
    {"clear-memory", optional_argument, nullptr, opt_clear_memory},
    {"help", no_argument, nullptr, opt_help},
    {"set-log-mode", required_argument, nullptr, opt_set_log_mode},
    {"log-mode-walk", no_argument, nullptr, opt_log_mode_walk},
    {"log-mode-bicycle", no_argument, nullptr, opt_log_mode_bicycle},
    {"log-mode-car", no_argument, nullptr, opt_log_mode_car},
    {"log-mode-user", no_argument, nullptr, opt_log_mode_user},
    {"set-device-zone", required_argument, nullptr, opt_set_device_zone},
    {"set-shake-mode", required_argument, nullptr, opt_set_shake_mode},
    {"enable-shake-mode", no_argument, nullptr, opt_enable_shake_mode},
    {"disable-shake-mode", no_argument, nullptr, opt_disable_shake_mode},
    {"set-shake-mode-time", required_argument, nullptr, opt_set_shake_mode_time},
    {"set-userdefined-log-mode", required_argument, nullptr, opt_set_userdefined_log_mode},
    {"set-contrast", required_argument, nullptr, opt_set_contrast},
    {"set-system-unit", required_argument, nullptr, opt_set_system_unit},
    {"set-metric-system", no_argument, nullptr, opt_set_metric_system},
    {"set-imperial-system", no_argument, nullptr, opt_set_imperial_system},
    {"set-backlight-time", required_argument, nullptr, opt_set_backlight_time},
    {"set-password", required_argument, nullptr, opt_set_password},
    {"unset-password", no_argument, nullptr, opt_unset_password},
    {"set-userdefined-time-interval", required_argument, nullptr,
     opt_set_userdefined_time_interval},
    {"set-userdefined-distance-interval", required_argument, nullptr,
     opt_set_userdefined_distance_interval},
    {"set-userdefined-heading-change", required_argument, nullptr,
     opt_set_userdefined_heading_change},
    {"set-userdefined-highest-speed", required_argument, nullptr,
     opt_set_userdefined_highest_speed},
    {"set-userdefined-high-speed", required_argument, nullptr, opt_set_userdefined_high_speed},
    {"set-userdefined-middle-speed", required_argument, nullptr,
     opt_set_userdefined_middle_speed},
    {"set-userdefined-low-speed", required_argument, nullptr, opt_set_userdefined_low_speed},
    {"set-userdefined-lowest-speed", required_argument, nullptr,
     opt_set_userdefined_lowest_speed},
    {"set-userdefined-highest-speed-interval", required_argument, nullptr,
     opt_set_userdefined_highest_speed_interval},
    {"set-userdefined-high-speed-interval", required_argument, nullptr,
     opt_set_userdefined_high_speed_interval},
    {"set-userdefined-middle-speed-interval", required_argument, nullptr,
     opt_set_userdefined_middle_speed_interval},
    {"set-userdefined-low-speed-interval", required_argument, nullptr,
     opt_set_userdefined_low_speed_interval},
    {"set-initial-min-svs", required_argument, nullptr, opt_set_initial_min_svs},
    {"set-fix-mode", required_argument, nullptr, opt_set_fix_mode},
    {"set-2d-fix-altitude", required_argument, nullptr, opt_set_2d_fix_altitude},
    {"set-initial-min-strength", required_argument, nullptr, opt_set_initial_min_strength},
    {"set-navigation-min-strength", required_argument, nullptr,
     opt_set_navigation_min_strength},
    {"set-pdop-mask", required_argument, nullptr, opt_set_pdop_mask},
    {"set-tdop-mask", required_argument, nullptr, opt_set_tdop_mask},
    {"set-p-accuracy-mask", required_argument, nullptr, opt_set_p_accuracy_mask},
    {"set-t-accuracy-mask", required_argument, nullptr, opt_set_t_accuracy_mask},
    {"set-sbas", required_argument, nullptr, opt_set_sbas},
    {"enable-sbas", no_argument, nullptr, opt_enable_sbas},
    {"disable-sbas", no_argument, nullptr, opt_disable_sbas},
    {"set-gps-mode", required_argument, nullptr, opt_set_gps_mode},
    {nullptr, 0, nullptr, 0},
};

std::string option_name(int code)
{
    if (code > 0 && code < 0x100)
        return std::string("-") + static_cast<char>(code);
    for (int i = 0; i < option_count; ++i)
        if (long_options[i].val == code)
            return std::string("--") + long_options[i].name;
    return "-?";
}
