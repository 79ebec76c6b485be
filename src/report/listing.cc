// The configuration listing: every setting of the configuration block as German
// text, in code page 850 (the device's console shows that code page).
#include "report/listing.h"

#include <cstdlib>
#include <cstring>
#include <span>

namespace {

// A choice table: the text shown for each known value of a setting.
struct choice {
    unsigned value;
    const char* text;
};

constexpr char unknown_choice[] = "unbekannt";

constexpr choice system_units[] = {{0, "metrisches System"}, {1, "imperiales System"}};
constexpr choice off_on[] = {{0, "aus"}, {1, "an"}};
constexpr choice no_yes[] = {{0, "nein"}, {1, "ja"}};
constexpr choice log_modes[] = {
    {1, "Fu\xE1g\x84nger"},  // Fußgänger
    {2, "Fahrrad"},
    {3, "Auto"},
    {4, "benutzerdefiniert"},
};
constexpr choice user_log_modes[] = {
    {5, "Zeitintervall"},
    {6, "Entfernungsintervall"},
    {7, "Richtungswechsel"},
    {8, "Geschwindigkeitswechsel"},
    {9, "gemischt (Zeit und Entfernung)"},
};
constexpr choice gps_modes[] = {
    {0, "hohe Genauigkeit"},
    {1, "mittlere Genauigkeit"},
    {2, "Werkseinstellung"},
    {3, "mittlere Verbindungszeit"},
    {4, "schnelle Verbindungszeit"},
    {5, "benutzerdefiniert"},
};
constexpr choice fix_modes[] = {{1, "nur 2D"}, {2, "2D/3D-Automatik"}, {3, "nur 3D"}};

// How one line of the listing shows its setting.
enum class kind {
    heading,   // the text, then a line of dashes as long as the text
    blank,     // an empty line
    choice,    // the label, then the text of the value's choice
    number,    // a printf format with one %d
    zone,      // the time zone as UTC offset in hours and minutes
    password,  // a printf format with one %s
    tenths,    // a printf format with one %.1f
};

using field_value = int (*)(const device_conf&);

struct line {
    kind how;
    const char* text = nullptr;  // heading, choice label or printf format
    field_value value = nullptr;
    std::span<const choice> choices = {};
};

#define FIELD(name) [](const device_conf& c) { return static_cast<int>(c.name); }

// The listing, line by line. Every unsigned field fits an int (the widest is
// the 24-bit altitude for 2D fixes).
constexpr line listing[] = {
    {kind::heading, "Ger\x84teeinstellungen"},  // Geräteeinstellungen
    {kind::choice, "Ma\xE1" "einheiten: ", FIELD(system_unit), system_units},  // Maßeinheiten
    {kind::zone, "Zeitzone: UTC%c%02d:%02d\n", FIELD(time_zone)},
    {kind::password, "Passwort: %s\n"},
    {kind::number, "Kontrast: %d\n", FIELD(contrast)},
    {kind::number, "Hintergrundbeleuchtung: %ds\n", FIELD(backlight_time)},
    {kind::choice, "Shake-Modus: ", FIELD(shake_mode), off_on},
    {kind::number, "Shake-Modus-Zeit: %dm\n", FIELD(shake_mode_time)},
    {kind::choice, "Speicher leeren: ", FIELD(clear_memory), no_yes},
    {kind::blank},
    {kind::heading, "Logeinstellungen"},
    {kind::choice, "Log-Modus: ", FIELD(log_mode), log_modes},
    {kind::choice, "benutzerdef. Log-Modus: ", FIELD(user_log_mode), user_log_modes},
    {kind::number, "Zeitintervall: %ds\n", FIELD(time_interval)},
    {kind::number, "Entfernungsintervall: %dm\n", FIELD(distance_interval)},
    {kind::number, "Richtungswechsel: %d\xF8\n", FIELD(heading_change)},  // °
    {kind::number, "h\x94" "chste Geschwindigkeit: %dkm/h\n", FIELD(highest_speed)},  // höchste
    {kind::number, "hohe Geschwindigkeit: %dkm/h\n", FIELD(high_speed)},
    {kind::number, "mittlere Geschwindigkeit: %dkm/h\n", FIELD(middle_speed)},
    {kind::number, "niedrige Geschwindigkeit: %dkm/h\n", FIELD(low_speed)},
    {kind::number, "niedrigste Geschwindigkeit: %dkm/h\n", FIELD(lowest_speed)},
    {kind::number, "Logintervall hohe-h\x94" "chste Geschwindigkeit: %ds\n",  // hohe-höchste
     FIELD(highest_speed_interval)},
    {kind::number, "Logintervall mittlere-hohe Geschwindigkeit: %ds\n",
     FIELD(high_speed_interval)},
    {kind::number, "Logintervall niedrige-mittlere Geschwindigkeit: %ds\n",
     FIELD(middle_speed_interval)},
    {kind::number, "Logintervall niedrigste-niedrige Geschwindigkeit: %ds\n",
     FIELD(low_speed_interval)},
    {kind::blank},
    {kind::heading, "GPS-Einstellungen"},
    {kind::choice, "GPS-Modus: ", FIELD(gps_mode), gps_modes},
    {kind::choice, "SBAS: ", FIELD(sbas), off_on},
    {kind::choice, "Fix-Modus: ", FIELD(fix_mode), fix_modes},
    {kind::number, "2D-H\x94he: %dcm\n", FIELD(fix_altitude_2d)},  // 2D-Höhe
    {kind::number, "initiale minimale SVs: %d\n", FIELD(initial_min_svs)},
    {kind::number, "initiale Signalmindestst\x84rke: %ddBHz\n",  // Signalmindeststärke
     FIELD(initial_min_strength)},
    {kind::number, "Navigations-Signalmindestst\x84rke: %ddBHz\n",  // Signalmindeststärke
     FIELD(navigation_min_strength)},
    {kind::number, "P-Accuracy-Mask: %dm\n", FIELD(p_accuracy_mask)},
    {kind::number, "T-Accuracy-Mask: %dm\n", FIELD(t_accuracy_mask)},
    {kind::tenths, "PDOP-Mask: %.1f\n", FIELD(pdop_mask)},
    {kind::tenths, "TDOP-Mask: %.1f\n", FIELD(tdop_mask)},
    {kind::number, "Checksumme?: %d\n", FIELD(checksum_word)},
};

#undef FIELD

const char* choice_text(std::span<const choice> choices, int value)
{
    for (const choice& c : choices)
        if (static_cast<int>(c.value) == value)
            return c.text;
    return unknown_choice;
}

// The zone is kept in hundredths of an hour; the minutes are rounded down,
// and the sign is written even for zones less than an hour from UTC.
void print_zone(std::FILE* out, const char* format, int zone)
{
    int magnitude = std::abs(zone);
    std::fprintf(out, format, zone < 0 ? '-' : '+', magnitude / 100, magnitude % 100 * 60 / 100);
}

void print_line(std::FILE* out, const line& l, const device_conf& conf)
{
    switch (l.how) {
    case kind::heading:
        std::fprintf(out, "%s\n", l.text);
        for (std::size_t i = std::strlen(l.text); i > 0; --i)
            std::fputc('-', out);
        std::fputc('\n', out);
        break;
    case kind::blank: std::fputc('\n', out); break;
    case kind::choice:
        std::fprintf(out, "%s%s\n", l.text, choice_text(l.choices, l.value(conf)));
        break;
    case kind::number: std::fprintf(out, l.text, l.value(conf)); break;
    case kind::zone: print_zone(out, l.text, l.value(conf)); break;
    case kind::password: std::fprintf(out, l.text, conf.password); break;
    case kind::tenths: std::fprintf(out, l.text, l.value(conf) / 10.0); break;
    }
}

}  // namespace

void print_conf(std::FILE* out, const device_conf& conf)
{
    for (const line& l : listing)
        print_line(out, l, conf);
}
