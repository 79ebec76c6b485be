// A data file with every configuration field set to a value of its own, and
// the configuration listing it must give, byte for byte (code page 850).
#pragma once

#include "datafile_builder.h"

inline datafile_builder every_field_set()
{
    datafile_builder data;
    data.set(layout::log_mode, 4)
        .set(layout::clear_memory, 1)
        .set(layout::time_zone, static_cast<std::uint16_t>(-350))
        .set(layout::shake_mode, 0)
        .set(layout::shake_mode_time, 15)
        .set(layout::user_log_mode, 9)
        .set(layout::contrast, 7)
        .set(layout::system_unit, 1)
        .set(layout::backlight_time, 255)
        .set(layout::time_interval, 65535)
        .set(layout::distance_interval, 1000)
        .set(layout::heading_change, 45)
        .set(layout::highest_speed, 130)
        .set(layout::high_speed, 90)
        .set(layout::middle_speed, 50)
        .set(layout::low_speed, 20)
        .set(layout::lowest_speed, 3)
        .set(layout::highest_speed_interval, 2)
        .set(layout::high_speed_interval, 4)
        .set(layout::middle_speed_interval, 8)
        .set(layout::low_speed_interval, 3600)
        .set_password("Bergtour42")
        .set(layout::initial_min_svs, 6)
        .set(layout::fix_mode, 3)
        .set(layout::fix_altitude_2d, 1800000)
        .set(layout::initial_min_strength, 32)
        .set(layout::navigation_min_strength, 26)
        .set(layout::pdop_mask, 65)
        .set(layout::tdop_mask, 123)
        .set(layout::p_accuracy_mask, 50)
        .set(layout::t_accuracy_mask, 40000)
        .set(layout::checksum_word, 0xBEEF)
        .set_byte(layout::sbas.offset, 0)
        .set_byte(layout::gps_mode.offset, 4);
    return data;
}

inline constexpr char every_field_set_listing[] =
    "Ger\x84teeinstellungen\n"  // Geräteeinstellungen
    "-------------------\n"
    "Ma\xE1" "einheiten: imperiales System\n"  // Maßeinheiten
    "Zeitzone: UTC-03:30\n"
    "Passwort: Bergtour42\n"
    "Kontrast: 7\n"
    "Hintergrundbeleuchtung: 255s\n"
    "Shake-Modus: aus\n"
    "Shake-Modus-Zeit: 15m\n"
    "Speicher leeren: ja\n"
    "\n"
    "Logeinstellungen\n"
    "----------------\n"
    "Log-Modus: benutzerdefiniert\n"
    "benutzerdef. Log-Modus: gemischt (Zeit und Entfernung)\n"
    "Zeitintervall: 65535s\n"
    "Entfernungsintervall: 1000m\n"
    "Richtungswechsel: 45\xF8\n"  // °
    "h\x94" "chste Geschwindigkeit: 130km/h\n"  // höchste
    "hohe Geschwindigkeit: 90km/h\n"
    "mittlere Geschwindigkeit: 50km/h\n"
    "niedrige Geschwindigkeit: 20km/h\n"
    "niedrigste Geschwindigkeit: 3km/h\n"
    "Logintervall hohe-h\x94" "chste Geschwindigkeit: 2s\n"
    "Logintervall mittlere-hohe Geschwindigkeit: 4s\n"
    "Logintervall niedrige-mittlere Geschwindigkeit: 8s\n"
    "Logintervall niedrigste-niedrige Geschwindigkeit: 3600s\n"
    "\n"
    "GPS-Einstellungen\n"
    "-----------------\n"
    "GPS-Modus: schnelle Verbindungszeit\n"
    "SBAS: aus\n"
    "Fix-Modus: nur 3D\n"
    "2D-H\x94he: 1800000cm\n"  // 2D-Höhe
    "initiale minimale SVs: 6\n"
    "initiale Signalmindestst\x84rke: 32dBHz\n"  // Signalmindeststärke
    "Navigations-Signalmindestst\x84rke: 26dBHz\n"
    "P-Accuracy-Mask: 50m\n"
    "T-Accuracy-Mask: 40000m\n"
    "PDOP-Mask: 6.5\n"
    "TDOP-Mask: 12.3\n"
    "Checksumme?: 48879\n";
