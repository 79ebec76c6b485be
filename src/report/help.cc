// The help text: the usage line, then the actions and settings grouped as the
// device's menus group them, with German descriptions in code page 850.
#include "report/help.h"

#include "datafile/settings_table.h"

namespace {

constexpr char usage_line[] = "Usage: %s [OPTION]... FILE\n";

// One line after the usage line. Where the line names a short option, its
// text holds a %c for the option's letter.
struct help_line {
    const char* text;
    int letter = 0;
};

constexpr help_line help_lines[] = {
    {""},
    {"m\x94gliche Aktionen:"},  // mögliche Aktionen:
    {"  -%c, --read[=FILE]        Tracks als GPX (nach FILE) ausgeben", opt_read},
    {"  -%c, --conf               aktuelle Konfiguration ausgeben", opt_conf},
    {"  -%c, --analyze            nach unbekannten Werten suchen", opt_analyze},
    {"  -%c, --clear-memory[=y|n] Speicher beim n\x84" "chsten Start leeren",  // nächsten
     opt_clear_memory},
    {"  -%c, --help               diese Hilfe anzeigen", opt_help},
    {""},
    {"m\x94gliche Ger\x84te-Einstellungen:"},  // mögliche Geräte-Einstellungen:
    {"      --set-system-unit metric|imperial"},
    {"      --set-metric-system"},
    {"      --set-imperial-system"},
    {"  -%c, --set-device-zone <utc offset>", opt_set_device_zone},
    {"      --set-password <string>"},
    {"      --unset-password"},
    {"      --set-contrast <value>"},
    {"      --set-backlight-time <seconds>"},
    {"  -%c, --set-shake-mode on|off", opt_set_shake_mode},
    {"  -%c, --enable-shake-mode", opt_enable_shake_mode},
    {"  -%c, --disable-shake-mode", opt_disable_shake_mode},
    {"  -%c, --set-shake-mode-time <minutes>", opt_set_shake_mode_time},
    {""},
    {"m\x94gliche Log-Einstellungen:"},  // mögliche Log-Einstellungen:
    {"  -%c, --set-log-mode <mode>", opt_set_log_mode},
    {"  -%c, --log-mode-walk", opt_log_mode_walk},
    {"  -%c, --log-mode-bicycle", opt_log_mode_bicycle},
    {"  -%c, --log-mode-car", opt_log_mode_car},
    {"  -%c, --log-mode-user", opt_log_mode_user},
    {"  -%c, --set-userdefined-log-mode time|distance|heading|speed|mixed",
     opt_set_userdefined_log_mode},
    {"      --set-userdefined-time-interval <seconds>"},
    {"      --set-userdefined-distance-interval <meters>"},
    {"      --set-userdefined-heading-change <degrees>"},
    {"      --set-userdefined-highest-speed <value>"},
    {"      --set-userdefined-high-speed <value>"},
    {"      --set-userdefined-middle-speed <value>"},
    {"      --set-userdefined-low-speed <value>"},
    {"      --set-userdefined-lowest-speed <value>"},
    {"      --set-userdefined-highest-speed-interval <value>"},
    {"      --set-userdefined-high-speed-interval <value>"},
    {"      --set-userdefined-middle-speed-interval <value>"},
    {"      --set-userdefined-low-speed-interval <value>"},
    {""},
    {"m\x94gliche GPS-Einstellungen:"},  // mögliche GPS-Einstellungen:
    {"  -%c, --set-gps-mode high|middle|default|low|fast|user", opt_set_gps_mode},
    {"      --set-sbas on|off"},
    {"      --set-fix-mode 2d|2d3d|3d"},
    {"      --set-2d-fix-altitude <centimeters>"},
    {"      --set-initial-min-strength <value>"},
    {"      --set-navigation-min-strength <value>"},
    {"      --set-p-accuracy-mask <value>"},
    {"      --set-t-accuracy-mask <value>"},
    {"      --set-pdop-mask <value>"},
    {"      --set-tdop-mask <value>"},
};

}  // namespace

void usage(std::FILE* out, const char* program)
{
    std::fprintf(out, usage_line, program);
    for (const help_line& line : help_lines) {
        if (line.letter)
            std::fprintf(out, line.text, line.letter);
        else
            std::fputs(line.text, out);
        std::fputc('\n', out);
    }
}
