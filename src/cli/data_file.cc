// The data file's openings and the checks against writing into it.
#include "cli/data_file.h"

#include "cli/messages.h"

#include <algorithm>
#include <cstring>
#include <vector>


void open_data_file(const char* path, bool update, data_opening& data)
{
    std::FILE* stream = nullptr;
    data.status = sys::open_data_file(path, update, stream, data.info);
    data.file.reset(stream);
}

bool holds_data_bytes(std::FILE* stream, const sys::file_info& info, const data_opening& data)
{
    if (info.kind != sys::file_kind::regular || info.size != data.info.size || info.size == 0)
        return false;
    constexpr std::size_t chunk = 64 * 1024;
    std::vector<unsigned char> mine(chunk), theirs(chunk);
    for (std::int64_t at = 0; at < info.size; at += static_cast<std::int64_t>(chunk)) {
        auto count = static_cast<std::size_t>(std::min<std::int64_t>(chunk, info.size - at));
        if (!stream ||
            sys::read_bytes_at(stream, at, mine.data(), count) != sys::read_result::whole ||
            sys::read_bytes_at(data.file.get(), at, theirs.data(), count) != sys::read_result::whole)
            return true;
        if (std::memcmp(mine.data(), theirs.data(), count) != 0)
            return false;
    }
    return true;
}

bool writes_to_data_file(std::FILE* stream, const data_opening& data)
{
    sys::file_info info;
    return sys::stream_info(stream, info) &&
           (info.kind == sys::file_kind::unknown || info.id == data.info.id ||
            holds_data_bytes(stream, info, data));
}

const char* read_failure(std::FILE* data, const char* otherwise)
{
    return std::ferror(data) ? msg::error_reading : otherwise;
}
