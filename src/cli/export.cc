// The export: where the GPX document may go, and its writing into a new file
// beside the final one or into standard output.
#include "cli/export.h"

#include <vector>

#include "cli/messages.h"
#include "datafile/track_point.h"
#include "report/gpx.h"

namespace {

// Why the output may not be written, or nullptr: the data file (also by its
// bytes), a disk, the file standard output already writes, a standard stream
// that was closed, or a file another program holds locked.
const char* output_refusal(const sys::output_file& out, const data_opening& data)
{
    if (!out.exists)
        return nullptr;
    if (out.info.id == data.info.id || holds_data_bytes(out.existing, out.info, data))
        return msg::output_is_data_file;
    if (out.info.kind == sys::file_kind::disk_device)
        return msg::output_is_disk;
    if (sys::is_closed_standard_stream(out.info))
        return msg::error_writing_stdout;
    sys::file_info standard;
    if (out.info.kind == sys::file_kind::regular && sys::stream_info(stdout, standard) &&
        standard.id == out.info.id)
        return msg::output_is_stdout;
    if (sys::output_in_use(out))
        return msg::output_in_use;
    return nullptr;
}

// Writes points as a GPX document for the output path. A regular file goes
// into a new file beside it, which replaces the final name only when the
// whole run has succeeded (commit_output); until then the older file stays
// as it was. Returns the exit status.
int write_gpx_file(const char* path, const std::vector<track_point>& points,
                   const data_opening& data, sys::output_file& out)
{
    if (sys::open_status opened = sys::open_output(path, out); opened != sys::open_status::ok) {
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
    if (sys::begin_output(out, stream) != sys::open_status::ok) {
        std::fprintf(stderr, msg::error_opening, path);
        return 1;
    }
    file_ptr file(stream);
    print_track(file.get(), points);
    // The last block is flushed here, not left to fclose: Wine's C library
    // does not report a failed flush from fclose. A new file on the data
    // file's own volume (the device) is synced, as the block is.
    bool written = std::fflush(file.get()) == 0 && !std::ferror(file.get());
    if (written && out.replace && out.temp_info.id.volume == data.info.id.volume)
        written = sys::sync_stream(file.get());
    if (std::fclose(file.release()) != 0 || !written) {
        sys::discard_output(out);
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
                  const char* data_path, sys::output_file& out)
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

