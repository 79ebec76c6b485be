// The setting options applied to device_conf as the option table describes
// them: the value read in the option's form, checked against its range or
// keywords, and stored in its field.
#include "cli/settings.h"

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "cli/setting_values.h"
#include "datafile/layout.h"
#include "datafile/settings_table.h"

namespace {

std::optional<std::int32_t> within(std::optional<std::int32_t> value, const option_row& s)
{
    if (value && *value >= s.low && *value <= s.high)
        return value;
    return std::nullopt;
}

// The number a value selects, or nothing when the option rejects it.
std::optional<std::int32_t> read_value(const option_row& s, const char* value)
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

// The option's line of valid values, made once from the table.
const char* valid_values_line(const option_row& row)
{
    static const std::array<std::string, option_count> lines = [] {
        std::array<std::string, option_count> made;
        for (int i = 0; i < option_count; ++i)
            made[i] = valid_values(option_table[i]);
        return made;
    }();
    const std::string& line = lines[&row - option_table];
    return line.empty() ? nullptr : line.c_str();
}

setting_outcome rejected(const char* valid_values)
{
    return {setting_outcome::rejected, valid_values};
}

constexpr setting_outcome applied{setting_outcome::applied, nullptr};

}  // namespace

setting_outcome apply_setting(int code, const char* value, device_conf& conf)
{
    const option_row* s = find_option(code);
    if (!s || s->kind == form::action)
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
            return rejected(zone.result == zone_value::out_of_range ? valid_values_line(*s)
                                                                    : nullptr);
        s->field.store(conf, zone.hundredths);
        return applied;
    }
    default: break;
    }
    std::optional<std::int32_t> number = read_value(*s, value);
    if (!number)
        return rejected(valid_values_line(*s));
    s->field.store(conf, *number);
    return applied;
}
