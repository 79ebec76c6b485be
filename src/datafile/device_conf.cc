// Configuration block I/O: each field is reached by a seek to its absolute
// offset and moved in one piece, little-endian, byte by byte in code.
#include "datafile/device_conf.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "datafile/layout.h"

namespace {

bool write_at(std::FILE* file, std::int64_t offset, const unsigned char* bytes, std::size_t width)
{
    return sys::seek(file, offset, SEEK_SET) == 0 &&
           std::fwrite(bytes, 1, width, file) == width;
}

// Visits every field in ascending file order with its place in the file;
// stops at the first visit that fails. Shared by reading and writing so the
// two can never disagree about the layout.
template <class Conf, class Visit>
bool visit_fields(Conf& c, Visit visit)
{
    namespace l = layout;
    return visit(l::log_mode, c.log_mode) && visit(l::clear_memory, c.clear_memory) &&
           visit(l::time_zone, c.time_zone) && visit(l::shake_mode, c.shake_mode) &&
           visit(l::shake_mode_time, c.shake_mode_time) &&
           visit(l::user_log_mode, c.user_log_mode) && visit(l::contrast, c.contrast) &&
           visit(l::system_unit, c.system_unit) && visit(l::backlight_time, c.backlight_time) &&
           visit(l::time_interval, c.time_interval) &&
           visit(l::distance_interval, c.distance_interval) &&
           visit(l::heading_change, c.heading_change) &&
           visit(l::highest_speed, c.highest_speed) && visit(l::high_speed, c.high_speed) &&
           visit(l::middle_speed, c.middle_speed) && visit(l::low_speed, c.low_speed) &&
           visit(l::lowest_speed, c.lowest_speed) &&
           visit(l::highest_speed_interval, c.highest_speed_interval) &&
           visit(l::high_speed_interval, c.high_speed_interval) &&
           visit(l::middle_speed_interval, c.middle_speed_interval) &&
           visit(l::low_speed_interval, c.low_speed_interval) &&
           visit(l::password, c.password) && visit(l::initial_min_svs, c.initial_min_svs) &&
           visit(l::fix_mode, c.fix_mode) && visit(l::fix_altitude_2d, c.fix_altitude_2d) &&
           visit(l::initial_min_strength, c.initial_min_strength) &&
           visit(l::navigation_min_strength, c.navigation_min_strength) &&
           visit(l::pdop_mask, c.pdop_mask) && visit(l::tdop_mask, c.tdop_mask) &&
           visit(l::p_accuracy_mask, c.p_accuracy_mask) &&
           visit(l::t_accuracy_mask, c.t_accuracy_mask) &&
           visit(l::checksum_word, c.checksum_word) && visit(l::sbas, c.sbas) &&
           visit(l::gps_mode, c.gps_mode);
}

// The password ends at the first fill byte of its slot, or after ten characters.
void terminate_password(char* password)
{
    std::size_t end = 0;
    while (end < layout::password_length &&
           static_cast<unsigned char>(password[end]) != layout::password_fill)
        ++end;
    password[end] = '\0';
}

}  // namespace

bool begins_as_xml(const unsigned char* bytes, std::size_t size)
{
    // The width and order of the characters, from the byte order mark.
    std::size_t at = 0, width = 1, low = 0;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        at = 3;
    } else if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        at = 2, width = 2;
    } else if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        at = 2, width = 2, low = 1;
    }
    for (; at + width <= size; at += width) {
        if (width == 2 && bytes[at + 1 - low] != 0)
            return false;
        unsigned char c = bytes[at + low];
        if (c == '<')
            return true;
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    }
    return false;
}

int decode_conf(const unsigned char* block, device_conf* conf)
{
    if (begins_as_xml(block, layout::conf_block_end))
        return -1;
    auto read_field = [block](layout::field where, auto& member) {
        const unsigned char* bytes = block + where.offset;
        using member_type = std::remove_reference_t<decltype(member)>;
        if constexpr (std::is_array_v<member_type>)
            std::memcpy(member, bytes, where.width);
        else  // a two-byte slot read into a byte keeps its first byte
            member = static_cast<member_type>(get_le(bytes, where.width));
        return true;
    };
    visit_fields(*conf, read_field);
    terminate_password(conf->password);
    return 0;
}

int read_conf(std::FILE* file, device_conf* conf)
{
    // The whole block in one read, so that no other program's write can
    // fall between the readings of two fields.
    unsigned char block[layout::conf_block_end];
    if (!read_at(file, 0, block, sizeof block))
        return -1;
    return decode_conf(block, conf);
}

namespace {

// The bytes of one field as write_conf stores it, and their number.
template <class Member>
std::size_t encode_field(layout::field where, const Member& member, unsigned char* bytes)
{
    std::size_t width = where.width;
    if constexpr (std::is_array_v<Member>) {
        // The file form: the characters, then the fill byte to the slot's end.
        std::size_t length = strnlen(member, layout::password_length);
        std::memset(bytes, layout::password_fill, width);
        std::memcpy(bytes, member, length);
    } else {
        // Never wider than the record's field: sbas and gps_mode write one
        // byte of their two-byte slots.
        width = std::min(width, sizeof(Member));
        put_le(bytes, width, static_cast<unsigned long>(member));
    }
    return width;
}

}  // namespace

void encode_conf(const device_conf* conf, unsigned char* block)
{
    visit_fields(*conf, [block](layout::field where, const auto& member) {
        encode_field(where, member, block + where.offset);
        return true;
    });
}

int write_conf(std::FILE* file, const device_conf* conf)
{
    auto write_field = [file](layout::field where, const auto& member) {
        unsigned char bytes[layout::password_length];
        std::size_t width = encode_field(where, member, bytes);
        return write_at(file, where.offset, bytes, width);
    };
    return visit_fields(*conf, write_field) ? 0 : -1;
}
