// The export: where the GPX document may go, and its writing into a new file
// beside the final one or into standard output.
#include "cli/export.h"

#include <algorithm>
#include <vector>

#include "cli/messages.h"
#include "datafile/device_conf.h"
#include "datafile/track_point.h"
#include "report/gpx.h"

namespace {

// Whether the older regular file holds a GPX document (or nothing), the
// only thing a GPX may replace; a file that cannot be read is told apart.
enum class older_content { gpx, other, unreadable };

older_content content_of(const output_file& out)
{
    if (!out.older() || out.info().size == 0)
        return older_content::gpx;
    unsigned char head[4096];
    std::size_t size = static_cast<std::size_t>(std::min<std::int64_t>(sizeof head, out.info().size));
    if (sys::read_bytes_at(out.older(), 0, head, size) != sys::read_result::whole)
        return older_content::unreadable;
    return begins_as_xml(head, size) ? older_content::gpx : older_content::other;
}

// Why the output may not be written, or nullptr: the data file (also by its
// bytes), a disk, the file standard output already writes, a standard stream
// that was closed, a file another program holds locked, or one that is no
// GPX document.
const char* output_refusal(const output_file& out, const data_opening& data)
{
    if (!out.exists())
        return nullptr;
    const sys::file_info& info = out.info();
    if (info.id == data.info.id || holds_data_bytes(out.older(), info, data))
        return msg::output_is_data_file;
    if (info.kind == sys::file_kind::disk_device)
        return msg::output_is_disk;
    if (sys::is_closed_standard_stream(info))
        return msg::error_writing_stdout;
    if (info.kind != sys::file_kind::regular)
        return nullptr;
    sys::file_info standard;
    if (sys::stream_info(stdout, standard) && standard.id == info.id)
        return msg::output_is_stdout;
    if (sys::output_in_use(out.final_path(), out.older()))
        return msg::output_in_use;
    switch (content_of(out)) {
    case older_content::gpx: return nullptr;
    case older_content::other: return msg::output_not_gpx;
    case older_content::unreadable: return msg::error_reading;
    }
    return nullptr;
}

// Writes points as a GPX document for the output path. A regular file goes
// into a new file beside it, which replaces the final name only at the
// run's commit; until then the older file stays as it was. Returns the exit
// status.
int write_gpx_file(const char* path, const std::vector<track_point>& points,
                   const data_opening& data, output_file& out)
{
    if (sys::open_status opened = out.open(path); opened != sys::open_status::ok) {
        std::fprintf(stderr,
                     opened == sys::open_status::device ? msg::output_is_device : msg::error_opening,
                     path);
        return 1;
    }
    if (const char* refusal = output_refusal(out, data)) {
        std::fprintf(stderr, refusal, path);
        return 1;
    }
    std::FILE* stream = nullptr;
    if (!out.begin(stream)) {
        std::fprintf(stderr, msg::error_opening, path);
        return 1;
    }
    print_track(stream, points);
    // A new file on the data file's own volume (the device) is synced, as
    // the block is.
    if (!out.finish(stream, out.new_file_on(data.info))) {
        std::fprintf(stderr, msg::error_writing, path);
        return 1;
    }
    return 0;
}

}  // namespace

bool stdout_ok()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

int export_tracks(std::FILE* update, const char* output_path, const data_opening& data,
                  const char* data_path, output_file& out)
{
    std::vector<track_point> points;
    if (read_track(update, points) != 0) {
        std::fprintf(stderr, read_failure(update, msg::out_of_memory), data_path);
        return 1;
    }
    if (output_path)
        return write_gpx_file(output_path, points, data, out);
    print_track(stdout, points);
    if (!stdout_ok()) {
        std::fputs(msg::error_writing_stdout, stderr);
        return 1;
    }
    return 0;
}

