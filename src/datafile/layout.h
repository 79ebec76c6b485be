// Positions and widths of every field of NVPIPE.DAT: the configuration block at
// the start of the file and the log of 16-byte point records from byte 4096.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "sys/sys.h"

namespace layout {

// One field of the configuration block: its absolute offset and its width in
// the file. Reading and writing may move different widths (see below).
struct field {
    std::int64_t offset;
    std::size_t width;
};

inline constexpr field log_mode{0, 1};
inline constexpr field clear_memory{2, 1};
inline constexpr field time_zone{4, 2};
inline constexpr field shake_mode{6, 1};
inline constexpr field shake_mode_time{8, 1};
inline constexpr field user_log_mode{10, 1};
inline constexpr field contrast{12, 1};
inline constexpr field system_unit{14, 1};
inline constexpr field backlight_time{15, 1};
inline constexpr field time_interval{16, 2};
inline constexpr field distance_interval{18, 2};
inline constexpr field heading_change{20, 1};
inline constexpr field highest_speed{22, 2};
inline constexpr field high_speed{24, 2};
inline constexpr field middle_speed{26, 2};
inline constexpr field low_speed{28, 2};
inline constexpr field lowest_speed{30, 2};
inline constexpr field highest_speed_interval{32, 2};
inline constexpr field high_speed_interval{34, 2};
inline constexpr field middle_speed_interval{36, 2};
inline constexpr field low_speed_interval{38, 2};
inline constexpr field password{516, 10};
inline constexpr field initial_min_svs{874, 1};
inline constexpr field fix_mode{877, 1};
inline constexpr field fix_altitude_2d{878, 3};  // 24-bit
inline constexpr field initial_min_strength{882, 1};
inline constexpr field navigation_min_strength{883, 1};
inline constexpr field pdop_mask{890, 2};
inline constexpr field tdop_mask{892, 2};
inline constexpr field p_accuracy_mask{894, 2};
inline constexpr field t_accuracy_mask{896, 2};
inline constexpr field checksum_word{910, 2};
// sbas and gps_mode sit in two-byte slots: both bytes are read, only the
// first is ever written, so the device's second byte survives a rewrite.
inline constexpr field sbas{918, 2};
inline constexpr field gps_mode{1022, 2};
inline constexpr std::size_t slot_write_width = 1;

// The password slot: characters, then 0xEE in every position after the last.
inline constexpr unsigned char password_fill = 0xEE;
inline constexpr std::size_t password_length = 10;

// A file must reach this far to hold a complete configuration block.
inline constexpr std::int64_t conf_block_end = 1024;

// The log: 16-byte records from here on, up to the end marker or the file's end.
inline constexpr std::int64_t log_start = 4096;
inline constexpr std::size_t record_size = 16;
inline constexpr unsigned char end_marker = 0xFF;

// Record fields, relative to the record's first byte.
inline constexpr field rec_flags{0, 1};
inline constexpr field rec_reserved{1, 1};
inline constexpr field rec_timestamp{2, 4};
inline constexpr field rec_latitude{6, 4};
inline constexpr field rec_longitude{10, 4};
inline constexpr field rec_altitude{14, 2};

// Record flag bits.
inline constexpr unsigned flag_track_start = 0x01;
inline constexpr unsigned flag_push_point = 0x02;
inline constexpr unsigned flags_unknown = 0xF8;  // bits 3-7

}  // namespace layout

// Little-endian decoding and encoding of the file's integers, byte by byte.
inline unsigned long get_le(const unsigned char* bytes, std::size_t width)
{
    unsigned long value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

inline void put_le(unsigned char* bytes, std::size_t width, unsigned long value)
{
    for (std::size_t i = 0; i < width; ++i) {
        bytes[i] = static_cast<unsigned char>(value & 0xFF);
        value >>= 8;
    }
}

// Seeks to an absolute offset and reads exactly width bytes in one piece.
inline bool read_at(std::FILE* file, std::int64_t offset, unsigned char* bytes, std::size_t width)
{
    return sys::seek(file, offset, SEEK_SET) == 0 &&
           std::fread(bytes, 1, width, file) == width;
}
