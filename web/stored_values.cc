// The value each setting option would need to leave the configuration block
// as it is, for the page's form: the field's stored number as the option
// takes it, the password's own bytes, the word whose option stores the
// block's value (none for a value no word stores). Written as
// "option=value\0" records, one per setting that takes a value.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/options.h"
#include "cli/settings.h"
#include "datafile/device_conf.h"

namespace {

using c = device_conf;
using text_fn = std::string (*)(const device_conf&, int code);

template <auto field>
std::string number(const device_conf& conf, int)
{
    return std::to_string(conf.*field);
}

template <auto field>
std::string tenths(const device_conf& conf, int)
{
    unsigned value = conf.*field;
    return std::to_string(value / 10) + "." + std::to_string(value % 10);
}

// Hours and minutes ("5:30", "-3:30", "-0:15"), the minutes rounded down as
// the listing shows them.
std::string zone(const device_conf& conf, int)
{
    int magnitude = std::abs(conf.time_zone);
    char text[16];
    std::snprintf(text, sizeof text, "%s%d:%02d", conf.time_zone < 0 ? "-" : "",
                  magnitude / 100, magnitude % 100 * 60 / 100);
    return text;
}

std::string password(const device_conf& conf, int)
{
    return conf.password;
}

// The block as write_conf leaves it, to tell whether an option changed it.
bool block_of(const device_conf& conf, char (&block)[1024])
{
    std::memset(block, 0, sizeof block);
    std::FILE* memory = fmemopen(block, sizeof block, "r+");
    if (!memory)
        return false;
    bool written = write_conf(memory, &conf) == 0;
    return std::fclose(memory) == 0 && written;
}

// A value no option accepts: the rejection names the option's words.
constexpr char probe[] = "-2147483649";

// The first of the option's words that leaves the block unchanged.
std::string word(const device_conf& conf, int code)
{
    device_conf probed = conf;
    const char* valid = apply_setting(code, probe, probed).valid_values;
    static char before[1024], after[1024];
    if (!valid || !block_of(conf, before))
        return "";
    std::string words(valid + std::strcspn(valid, ":") + 2);
    for (std::size_t at = 0; at < words.size();) {
        std::size_t end = words.find_first_of(",\n", at);
        std::string candidate = words.substr(at, end - at);
        device_conf changed = conf;
        if (apply_setting(code, candidate.c_str(), changed).result == setting_outcome::applied &&
            block_of(changed, after) && std::memcmp(before, after, sizeof before) == 0)
            return candidate;
        at = end + 2;
    }
    return "";
}

const struct {
    int code;
    text_fn text;
} stored_settings[] = {
    {opt_clear_memory, word},
    {opt_set_log_mode, word},
    {opt_set_device_zone, zone},
    {opt_set_shake_mode, word},
    {opt_set_shake_mode_time, number<&c::shake_mode_time>},
    {opt_set_userdefined_log_mode, word},
    {opt_set_contrast, number<&c::contrast>},
    {opt_set_system_unit, word},
    {opt_set_backlight_time, number<&c::backlight_time>},
    {opt_set_password, password},
    {opt_set_userdefined_time_interval, number<&c::time_interval>},
    {opt_set_userdefined_distance_interval, number<&c::distance_interval>},
    {opt_set_userdefined_heading_change, number<&c::heading_change>},
    {opt_set_userdefined_highest_speed, number<&c::highest_speed>},
    {opt_set_userdefined_high_speed, number<&c::high_speed>},
    {opt_set_userdefined_middle_speed, number<&c::middle_speed>},
    {opt_set_userdefined_low_speed, number<&c::low_speed>},
    {opt_set_userdefined_lowest_speed, number<&c::lowest_speed>},
    {opt_set_userdefined_highest_speed_interval, number<&c::highest_speed_interval>},
    {opt_set_userdefined_high_speed_interval, number<&c::high_speed_interval>},
    {opt_set_userdefined_middle_speed_interval, number<&c::middle_speed_interval>},
    {opt_set_userdefined_low_speed_interval, number<&c::low_speed_interval>},
    {opt_set_initial_min_svs, number<&c::initial_min_svs>},
    {opt_set_fix_mode, word},
    {opt_set_2d_fix_altitude, number<&c::fix_altitude_2d>},
    {opt_set_initial_min_strength, number<&c::initial_min_strength>},
    {opt_set_navigation_min_strength, number<&c::navigation_min_strength>},
    {opt_set_pdop_mask, tenths<&c::pdop_mask>},
    {opt_set_tdop_mask, tenths<&c::tdop_mask>},
    {opt_set_p_accuracy_mask, number<&c::p_accuracy_mask>},
    {opt_set_t_accuracy_mask, number<&c::t_accuracy_mask>},
    {opt_set_sbas, word},
    {opt_set_gps_mode, word},
};

const char* option_of(int code)
{
    for (const struct option* o = long_options.data(); o->name; ++o)
        if (o->val == code)
            return o->name;
    return nullptr;
}

}  // namespace

extern "C" int trekdump_stored_values(const char* data_path, const char* out_path)
{
    std::FILE* data = std::fopen(data_path, "rb");
    if (!data)
        return -1;
    device_conf conf;
    int read = read_conf(data, &conf);
    std::fclose(data);
    std::FILE* out = read == 0 ? std::fopen(out_path, "wb") : nullptr;
    if (!out)
        return -1;
    for (const auto& s : stored_settings) {
        std::string record = std::string(option_of(s.code)) + "=" + s.text(conf, s.code);
        std::fwrite(record.c_str(), 1, record.size() + 1, out);
    }
    bool written = !std::ferror(out);
    return std::fclose(out) == 0 && written ? 0 : -1;
}
