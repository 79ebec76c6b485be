// The in-memory image of the data file's configuration block, and the
// functions that gather it from the file and scatter it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// One field per setting, in ascending file order. Widths and signedness are
// those of the file, except fix_altitude_2d (24 bits in the file) and the
// password, which is held NUL-terminated.
struct device_conf {
    std::uint8_t log_mode;
    std::uint8_t clear_memory;
    std::int16_t time_zone;  // hundredths of an hour
    std::uint8_t shake_mode;
    std::uint8_t shake_mode_time;
    std::uint8_t user_log_mode;
    std::uint8_t contrast;
    std::uint8_t system_unit;
    std::uint8_t backlight_time;
    std::uint16_t time_interval;
    std::uint16_t distance_interval;
    std::uint8_t heading_change;
    std::uint16_t highest_speed;
    std::uint16_t high_speed;
    std::uint16_t middle_speed;
    std::uint16_t low_speed;
    std::uint16_t lowest_speed;
    std::uint16_t highest_speed_interval;
    std::uint16_t high_speed_interval;
    std::uint16_t middle_speed_interval;
    std::uint16_t low_speed_interval;
    char password[11];  // up to 10 characters and a NUL
    std::uint8_t initial_min_svs;
    std::uint8_t fix_mode;
    std::uint32_t fix_altitude_2d;  // centimetres, low 24 bits only
    std::uint8_t initial_min_strength;
    std::uint8_t navigation_min_strength;
    std::uint16_t pdop_mask;  // tenths
    std::uint16_t tdop_mask;  // tenths
    std::uint16_t p_accuracy_mask;
    std::uint16_t t_accuracy_mask;
    std::uint16_t checksum_word;  // carried unchanged, never computed
    std::uint8_t sbas;
    std::uint8_t gps_mode;
};

// True when bytes, the start of a file, begin an XML document (a GPX file):
// after an optional byte order mark (UTF-8, UTF-16 in either order) and
// ASCII blanks, a '<'. A data file begins with its log mode byte instead.
bool begins_as_xml(const unsigned char* bytes, std::size_t size);

// Fills conf from the configuration block of file (open for binary reading).
// Returns 0 when every field was read, -1 otherwise (conf is then unusable);
// a file that begins as an XML document is never read as a data file.
int read_conf(std::FILE* file, device_conf* conf);

// Fills conf from the configuration block's 1024 bytes in memory, as
// read_conf does from a file. Returns 0, or -1 for a block that begins as
// an XML document.
int decode_conf(const unsigned char* block, device_conf* conf);

// Stores every field of conf into block (the configuration block's 1024
// bytes, as read), as write_conf writes them into the file; the bytes
// between the fields keep their values.
void encode_conf(const device_conf* conf, unsigned char* block);

// Writes every field of conf to its place in file (open for binary update).
// Bytes between the fields are never touched. Returns 0 or -1.
int write_conf(std::FILE* file, const device_conf* conf);
