// The settings for the page's form, from the option table and the block.
#include "datafile/settings_view.h"

#include <cstdio>
#include <cstdlib>

#include "datafile/layout.h"

namespace {

const char* kind_name(form kind)
{
    switch (kind) {
    case form::integer: return "integer";
    case form::tenths: return "tenths";
    case form::keyword: return "keyword";
    case form::word: return "word";
    case form::on_off: return "on_off";
    case form::yes_no: return "yes_no";
    case form::zone: return "zone";
    case form::password: return "password";
    default: return nullptr;  // no value of its own to show
    }
}

// A JSON string: quote, backslash and control bytes escaped, other bytes kept.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char ch : text) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", ch);
            out += escape;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out + "\"";
}

// The forms with a range of values: numbers and the zone.
bool has_range(form kind)
{
    return kind == form::integer || kind == form::tenths || kind == form::zone;
}

}  // namespace

std::string current_value(const option_row& row, const device_conf& conf)
{
    switch (row.kind) {
    case form::password: return conf.password;
    case form::zone: {
        int zone = conf.time_zone;
        char text[16];
        std::snprintf(text, sizeof text, "%s%d:%02d", zone < 0 ? "-" : "", std::abs(zone) / 100,
                      std::abs(zone) % 100 * 60 / 100);
        return text;
    }
    case form::integer: return std::to_string(row.field.load(conf));
    case form::tenths: return bound(row, static_cast<std::int32_t>(row.field.load(conf)));
    default: break;
    }
    for (const keyword& k : row.keywords)
        if (k.listed && k.value == row.field.load(conf))
            return k.word;
    return "";
}

std::string settings_json(const device_conf& conf)
{
    std::string out = "[";
    for (const option_row& row : option_table) {
        const char* kind = kind_name(row.kind);
        if (!kind)
            continue;
        out += out.size() > 1 ? ",\n{\"name\":" : "{\"name\":";
        out += quoted(row.name);
        out += ",\"kind\":";
        out += quoted(kind);
        std::string valid = valid_values(row);
        out += ",\"valid\":";
        out += valid.empty() ? "null" : quoted(valid.substr(14, valid.size() - 15));
        out += ",\"range\":";
        out += has_range(row.kind) ? "{\"min\":" + quoted(bound(row, row.low)) +
                                         ",\"max\":" + quoted(bound(row, row.high)) + "}"
                                   : std::string("null");
        out += ",\"words\":";
        const char* separator = "[";
        for (const keyword& k : row.keywords)
            if (k.listed) {
                out += separator;
                out += quoted(k.word);
                separator = ",";
            }
        out += *separator == ',' ? "]" : "null";
        out += ",\"value\":";
        out += quoted(current_value(row, conf));
        if (row.kind == form::password)
            out += ",\"bytes\":" + std::to_string(layout::password_length);
        out += "}";
    }
    return out + "]\n";
}
