// The configuration listing, compared byte for byte on memory streams.
#include "report/listing.h"

#include <gtest/gtest.h>

#include "support/listing_fixture.h"
#include "support/memory_stream.h"

namespace {

std::string listing_of(const device_conf& conf)
{
    return written_by([&](std::FILE* out) { print_conf(out, conf); });
}

TEST(Listing, EveryFieldOfTheBlock)
{
    image_file image(every_field_set().bytes());
    device_conf conf{};
    ASSERT_EQ(read_conf(image.file, &conf), 0);
    EXPECT_EQ(listing_of(conf), every_field_set_listing);
}

// The text a listing line shows after its label, or "" when the label is missing.
std::string shown_after(const std::string& listing, const std::string& label)
{
    std::size_t at = listing.find("\n" + label);
    if (at == std::string::npos)
        return "";
    at += 1 + label.size();
    return listing.substr(at, listing.find('\n', at) - at);
}

TEST(Listing, ChoiceTables)
{
    // What the line shows for the values first, first + 1, ... in turn.
    struct {
        std::uint8_t device_conf::*field;
        std::string label;
        unsigned first;
        std::vector<std::string> shown;
    } cases[] = {
        {&device_conf::system_unit, "Ma\xE1" "einheiten: ", 0,
         {"metrisches System", "imperiales System", "unbekannt"}},
        {&device_conf::shake_mode, "Shake-Modus: ", 0, {"aus", "an", "unbekannt"}},
        {&device_conf::clear_memory, "Speicher leeren: ", 0, {"nein", "ja", "unbekannt"}},
        {&device_conf::log_mode, "Log-Modus: ", 0,
         {"unbekannt", "Fu\xE1g\x84nger", "Fahrrad", "Auto", "benutzerdefiniert", "unbekannt"}},
        {&device_conf::user_log_mode, "benutzerdef. Log-Modus: ", 4,
         {"unbekannt", "Zeitintervall", "Entfernungsintervall", "Richtungswechsel",
          "Geschwindigkeitswechsel", "gemischt (Zeit und Entfernung)", "unbekannt"}},
        {&device_conf::gps_mode, "GPS-Modus: ", 0,
         {"hohe Genauigkeit", "mittlere Genauigkeit", "Werkseinstellung",
          "mittlere Verbindungszeit", "schnelle Verbindungszeit", "benutzerdefiniert",
          "unbekannt"}},
        {&device_conf::sbas, "SBAS: ", 0, {"aus", "an", "unbekannt"}},
        {&device_conf::fix_mode, "Fix-Modus: ", 0,
         {"unbekannt", "nur 2D", "2D/3D-Automatik", "nur 3D", "unbekannt"}},
        {&device_conf::sbas, "SBAS: ", 255, {"unbekannt"}},
    };
    for (const auto& c : cases) {
        for (std::size_t i = 0; i < c.shown.size(); ++i) {
            device_conf conf{};
            conf.*c.field = static_cast<std::uint8_t>(c.first + i);
            EXPECT_EQ(shown_after(listing_of(conf), c.label), c.shown[i]) << c.label << c.first + i;
        }
    }
}

TEST(Listing, TimeZoneInHoursAndMinutes)
{
    struct {
        std::int16_t zone;
        std::string line;
    } cases[] = {
        {550, "Zeitzone: UTC+05:30"},  {-350, "Zeitzone: UTC-03:30"},
        {575, "Zeitzone: UTC+05:45"},  {0, "Zeitzone: UTC+00:00"},
        {-50, "Zeitzone: UTC-00:30"},  {50, "Zeitzone: UTC+00:30"},
        {-1, "Zeitzone: UTC-00:00"},   {99, "Zeitzone: UTC+00:59"},
        {-1400, "Zeitzone: UTC-14:00"}, {1400, "Zeitzone: UTC+14:00"},
        {-32768, "Zeitzone: UTC-327:40"}, {32767, "Zeitzone: UTC+327:40"},
    };
    for (const auto& c : cases) {
        device_conf conf{};
        conf.time_zone = c.zone;
        EXPECT_EQ(shown_after(listing_of(conf), "Zeitzone: "), c.line.substr(10)) << c.zone;
    }
}

TEST(Listing, EmptyPasswordEndsTheLineAfterTheLabel)
{
    device_conf conf{};
    EXPECT_NE(listing_of(conf).find("\nPasswort: \nKontrast: 0\n"), std::string::npos);
}

TEST(Listing, DopMasksInTenths)
{
    struct {
        std::uint16_t tenths;
        std::string shown;
    } cases[] = {{0, "0.0"}, {25, "2.5"}, {10000, "1000.0"}, {65535, "6553.5"}};
    for (const auto& c : cases) {
        device_conf conf{};
        conf.pdop_mask = c.tenths;
        conf.tdop_mask = c.tenths;
        std::string listing = listing_of(conf);
        EXPECT_EQ(shown_after(listing, "PDOP-Mask: "), c.shown);
        EXPECT_EQ(shown_after(listing, "TDOP-Mask: "), c.shown);
    }
}

}  // namespace
