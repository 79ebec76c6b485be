// Builds data file images for tests, the sample and the benchmark: set any
// configuration field, append log records, cut the image at any length.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "datafile/layout.h"

// Packs a UTC time the way the device stores it (years counted from 2000).
inline std::uint32_t pack_time(int year, int month, int day, int hour, int minute, int second)
{
    return static_cast<std::uint32_t>(year - 2000) << 26 | static_cast<std::uint32_t>(month) << 22 |
           static_cast<std::uint32_t>(day) << 17 | static_cast<std::uint32_t>(hour) << 12 |
           static_cast<std::uint32_t>(minute) << 6 | static_cast<std::uint32_t>(second);
}

class datafile_builder {
public:
    // A 4096-byte image: every byte the tool must never touch holds a
    // recognisable pattern, the configuration fields hold plausible settings.
    datafile_builder() : bytes_(layout::log_start)
    {
        for (std::size_t i = 0; i < bytes_.size(); ++i)
            bytes_[i] = static_cast<unsigned char>(0xA5 ^ (i * 7));
        set(layout::log_mode, 1);
        set(layout::clear_memory, 0);
        set(layout::time_zone, 100);
        set(layout::shake_mode, 1);
        set(layout::shake_mode_time, 10);
        set(layout::user_log_mode, 5);
        set(layout::contrast, 200);
        set(layout::system_unit, 0);
        set(layout::backlight_time, 30);
        set(layout::time_interval, 5);
        set(layout::distance_interval, 50);
        set(layout::heading_change, 30);
        set(layout::highest_speed, 120);
        set(layout::high_speed, 80);
        set(layout::middle_speed, 40);
        set(layout::low_speed, 15);
        set(layout::lowest_speed, 5);
        set(layout::highest_speed_interval, 1);
        set(layout::high_speed_interval, 3);
        set(layout::middle_speed_interval, 5);
        set(layout::low_speed_interval, 10);
        set_password("");
        set(layout::initial_min_svs, 4);
        set(layout::fix_mode, 2);
        set(layout::fix_altitude_2d, 0);
        set(layout::initial_min_strength, 30);
        set(layout::navigation_min_strength, 20);
        set(layout::pdop_mask, 250);
        set(layout::tdop_mask, 250);
        set(layout::p_accuracy_mask, 100);
        set(layout::t_accuracy_mask, 300);
        set(layout::checksum_word, 0x1234);
        set_byte(layout::sbas.offset, 1);
        set_byte(layout::gps_mode.offset, 2);
    }

    // Writes value little-endian over the field's full width in the file.
    datafile_builder& set(layout::field where, unsigned long value)
    {
        put_le(&bytes_.at(static_cast<std::size_t>(where.offset)), where.width, value);
        return *this;
    }

    datafile_builder& set_byte(long offset, unsigned char value)
    {
        bytes_.at(static_cast<std::size_t>(offset)) = value;
        return *this;
    }

    // The password in its slot: the characters, then the fill byte.
    datafile_builder& set_password(const std::string& password)
    {
        for (std::size_t i = 0; i < layout::password_length; ++i)
            set_byte(layout::password.offset + static_cast<long>(i),
                     i < password.size() ? static_cast<unsigned char>(password[i])
                                         : layout::password_fill);
        return *this;
    }

    // Appends one 16-byte log record.
    datafile_builder& add_point(unsigned flags, std::uint32_t timestamp, std::int32_t latitude,
                                std::int32_t longitude, std::int16_t altitude,
                                unsigned reserved = 0)
    {
        unsigned char record[layout::record_size];
        put_le(record + layout::rec_flags.offset, 1, flags);
        put_le(record + layout::rec_reserved.offset, 1, reserved);
        put_le(record + layout::rec_timestamp.offset, 4, timestamp);
        put_le(record + layout::rec_latitude.offset, 4, static_cast<std::uint32_t>(latitude));
        put_le(record + layout::rec_longitude.offset, 4, static_cast<std::uint32_t>(longitude));
        put_le(record + layout::rec_altitude.offset, 2, static_cast<std::uint16_t>(altitude));
        bytes_.insert(bytes_.end(), record, record + layout::record_size);
        return *this;
    }

    // Appends an end-marker record (0xFF, then filler like a fresh flash page).
    datafile_builder& add_end_marker()
    {
        bytes_.insert(bytes_.end(), layout::record_size, 0xFF);
        return *this;
    }

    datafile_builder& append(const std::vector<unsigned char>& more)
    {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return *this;
    }

    datafile_builder& resize(std::size_t size)
    {
        bytes_.resize(size, 0);
        return *this;
    }

    const std::vector<unsigned char>& bytes() const { return bytes_; }

    bool write(const std::string& path) const
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file)
            return false;
        bool ok = std::fwrite(bytes_.data(), 1, bytes_.size(), file) == bytes_.size();
        return std::fclose(file) == 0 && ok;
    }

private:
    std::vector<unsigned char> bytes_;
};

// A data file whose password slot holds a 0x00 after its characters where the
// fill byte belongs, so that any rewrite of the configuration block shows in
// the file's bytes.
inline datafile_builder unnormalised()
{
    datafile_builder data;
    data.set_password("pw").set_byte(layout::password.offset + 2, 0x00);
    return data;
}

// The bytes of an unnormalised data file after the tool rewrote its block.
inline std::vector<unsigned char> rewritten(datafile_builder data)
{
    return data.set_password("pw").bytes();
}
