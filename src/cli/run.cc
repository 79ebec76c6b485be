// The run sequence: two parses of the command line, the configuration block
// read from a read-only opening, the options applied, then help, listing,
// export, analysis and the write of the block through an update opening.
// Only this file prints errors and chooses the exit status.
#include "cli/run.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/messages.h"
#include "cli/options.h"
#include "cli/settings.h"
#include "datafile/analyze.h"
#include "datafile/device_conf.h"
#include "datafile/layout.h"
#include "datafile/track_point.h"
#include "report/gpx.h"
#include "report/help.h"
#include "report/listing.h"
#include "sys/sys.h"

namespace {

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

using sys::open_status;

// An opening of the data file and what it is.
struct data_opening {
    file_ptr file;
    sys::file_info info;
    open_status status = open_status::cannot_open;
};

// Opens the data file (a regular file only), for reading or for update.
void open_data_file(const char* path, bool update, data_opening& data)
{
    std::FILE* stream = nullptr;
    data.status = sys::open_data_file(path, update, stream, data.info);
    data.file.reset(stream);
}

// Prints the message that belongs to a failed opening of the data file.
int report_open_failure(open_status status, const char* path)
{
    std::fprintf(stderr, status == open_status::not_regular ? msg::not_valid : msg::error_opening,
                 path);
    return 1;
}

// The message for a failed read of the data file: a read error, or else what
// the reader's failure means (a short file, no memory for the log).
const char* read_failure(std::FILE* data, const char* otherwise)
{
    return std::ferror(data) ? msg::error_reading : otherwise;
}

// Flushes standard output and tells whether everything written to it arrived.
bool stdout_ok()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

struct actions {
    bool read = false;
    const char* output_path = nullptr;
    bool conf = false;
    bool analyze = false;
    bool help = false;
};

// True when the regular file stream is on holds exactly the data file's bytes:
// the data file by a route its identity does not show (a second mount, a
// driver that numbers each spelling of a name anew), or a copy of it. Bytes
// that cannot be read (also a file that cannot be opened for reading, stream
// nullptr) count as the same.
bool holds_data_bytes(std::FILE* stream, const sys::file_info& info, const data_opening& data)
{
    if (info.kind != sys::file_kind::regular || info.size != data.info.size || info.size == 0)
        return false;
    constexpr std::size_t chunk = 64 * 1024;
    std::vector<unsigned char> mine(chunk), theirs(chunk);
    for (std::int64_t at = 0; at < info.size; at += static_cast<std::int64_t>(chunk)) {
        auto count = static_cast<std::size_t>(std::min<std::int64_t>(chunk, info.size - at));
        if (!stream || !sys::read_bytes_at(stream, at, mine.data(), count) ||
            !sys::read_bytes_at(data.file.get(), at, theirs.data(), count))
            return true;
        if (std::memcmp(mine.data(), theirs.data(), count) != 0)
            return false;
    }
    return true;
}

// True when what is written to stream would land in the data file, or when
// that cannot be told.
bool writes_to_data_file(std::FILE* stream, const data_opening& data)
{
    sys::file_info info;
    return sys::stream_info(stream, info) &&
           (info.kind == sys::file_kind::unknown || info.id == data.info.id ||
            holds_data_bytes(stream, info, data));
}

// Opens path read-only into data; true when standard error then writes into
// it, so that nothing at all may be printed. Where it cannot be opened, the
// path's identity decides (a data file that may be written but not read).
bool open_and_check_stderr(const char* path, data_opening& data)
{
    open_data_file(path, false, data);
    if (data.status == open_status::ok)
        return writes_to_data_file(stderr, data);
    sys::file_info named, standard;
    return sys::path_info(path, named) && sys::stream_info(stderr, standard) &&
           named.id == standard.id;
}

// The data file's word, found by a parse that prints nothing, so that the
// data file is known before the parser's own diagnostics are printed. The
// parse runs on a copy of the words: the parser reorders them as it goes.
const char* find_data_path(int argc, char** argv)
{
    std::vector<char*> words(argv, argv + argc);
    words.push_back(nullptr);
    opterr = 0;
    optind = 0;
    while (getopt_long(argc, words.data(), short_options, long_options, nullptr) != -1) {
    }
    return optind < argc ? words[optind] : nullptr;
}

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
    if (open_status opened = sys::open_output(path, out); opened != open_status::ok) {
        std::fprintf(stderr, opened == open_status::device ? msg::output_is_device
                                                           : msg::error_opening,
                     path);
        return 1;
    }
    if (const char* refusal = output_refusal(out, data)) {
        std::fprintf(stderr, refusal, path);
        return 1;
    }
    std::FILE* stream = nullptr;
    if (sys::begin_output(out, stream) != open_status::ok) {
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

// The export: the log of the update opening as a GPX document, to the output
// path or to standard output. The log is read before the output is opened,
// so a log that cannot be read never empties an existing file. Returns the
// exit status for a failure, or 0.
int export_tracks(const actions& act, std::FILE* update, const data_opening& data,
                  const char* data_path, sys::output_file& out)
{
    if (!act.output_path && (act.conf || act.analyze)) {
        std::fputs(msg::stdout_skipped, stderr);
        return 0;
    }
    std::vector<track_point> points;
    if (read_track(update, points) != 0) {
        std::fprintf(stderr, read_failure(update, msg::out_of_memory), data_path);
        return 1;
    }
    if (act.output_path)
        return write_gpx_file(act.output_path, points, data, out);
    print_track(stdout, points);
    if (!stdout_ok()) {
        std::fputs(msg::error_writing_stdout, stderr);
        return 1;
    }
    return 0;
}

}  // namespace

int run(int argc, char** argv)
{
    sys::guard_standard_descriptors();
    sys::watch_signals();
    const char* program = argc > 0 ? argv[0] : "trekdump";

    // The data file is opened read-only before anything is printed: a
    // standard error that is the data file gets no message at all, not even
    // one of the parser's. This opening stays open, and locked against other
    // runs, until the block is on the device.
    data_opening data;
    const char* found = find_data_path(argc, argv);
    if (found && open_and_check_stderr(found, data))
        return 1;

    // First parse: syntax only; getopt_long prints its own diagnostic.
    opterr = 1;
    optind = 0;
    int code;
    while ((code = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1)
        if (code == '?')
            return 1;

    // The options now stand first; the first word after them is the data file.
    if (optind >= argc) {
        usage(stdout, program);
        std::fflush(stdout);
        return 1;
    }
    const char* data_path = argv[optind];
    if (data_path != found && open_and_check_stderr(data_path, data))
        return 1;
    if (data.status != open_status::ok)
        return report_open_failure(data.status, data_path);
    if (writes_to_data_file(stdout, data)) {
        std::fputs(msg::stdout_is_data_file, stderr);
        return 1;
    }
    // Another run on the same data file waits here until that run's block
    // is written, and then reads it.
    sys::lock_status lock = sys::lock_data_file(data.file.get(), false);
    if (lock == sys::lock_status::busy) {
        std::fprintf(stderr, msg::waiting, data_path);
        lock = sys::lock_data_file(data.file.get(), true);
    }
    if (lock != sys::lock_status::locked) {
        std::fprintf(stderr, msg::error_opening, data_path);
        return 1;
    }
    device_conf conf{};
    std::vector<unsigned char> block_read(layout::conf_block_end);
    if (read_conf(data.file.get(), &conf) != 0 ||
        !sys::read_bytes_at(data.file.get(), 0, block_read.data(), block_read.size())) {
        std::fprintf(stderr, read_failure(data.file.get(), msg::not_valid), data_path);
        return 1;
    }

    // Second parse: the same words, now applied in command-line order.
    actions act;
    opterr = 1;
    optind = 0;
    while ((code = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (code) {
        case opt_read:
            act.read = true;
            if (optarg)
                act.output_path = optarg;
            break;
        case opt_conf: act.conf = true; break;
        case opt_analyze: act.analyze = true; break;
        case opt_help: act.help = true; break;
        default: {
            setting_outcome outcome = apply_setting(code, optarg, conf);
            if (outcome.result == setting_outcome::rejected) {
                std::fprintf(stderr, msg::invalid_value, optarg ? optarg : "",
                             option_name(code).c_str());
                if (outcome.valid_values)
                    std::fputs(outcome.valid_values, stderr);
                return 1;
            }
            if (outcome.result == setting_outcome::no_effect) {
                // A short option is named by its letter alone ("-- z").
                std::string name = option_name(code);
                std::fprintf(stderr, msg::undefined_option, program,
                             name.c_str() + (name.size() == 2 ? 1 : 0));
                return 1;
            }
        }
        }
    }

    if (act.help) {
        usage(stdout, program);
        if (!stdout_ok()) {
            std::fputs(msg::error_writing_stdout, stderr);
            return 1;
        }
        return 0;
    }
    if (act.conf)
        print_conf(stdout, conf);

    // The update opening must still be the file the block was read from,
    // checked on what is open: not another file renamed into its place, and
    // not one emptied meanwhile.
    data_opening update;
    open_data_file(data_path, true, update);
    if (update.status != open_status::ok)
        return report_open_failure(update.status, data_path);
    if (!(update.info.id == data.info.id)) {
        std::fprintf(stderr, msg::replaced, data_path);
        return 1;
    }
    if (update.info.size < layout::conf_block_end) {
        std::fprintf(stderr, msg::not_valid, data_path);
        return 1;
    }

    sys::output_file output;
    if (act.read) {
        if (int failed = export_tracks(act, update.file.get(), data, data_path, output))
            return failed;
    }
    if (act.analyze && analyze(update.file.get(), stdout) != 0) {
        std::fprintf(stderr, read_failure(update.file.get(), msg::not_valid), data_path);
        return 1;
    }

    // Nothing is written into the data file after a report that did not arrive.
    if (!stdout_ok()) {
        std::fputs(msg::error_writing_stdout, stderr);
        return 1;
    }
    // The block is written only over the bytes it was read from: a program
    // that wrote into it meanwhile (one that takes no lock) keeps its bytes.
    std::vector<unsigned char> block_now(block_read.size());
    if (!sys::read_bytes_at(update.file.get(), 0, block_now.data(), block_now.size())) {
        std::fprintf(stderr, msg::error_reading, data_path);
        return 1;
    }
    if (block_now != block_read) {
        std::fprintf(stderr, msg::changed, data_path);
        return 1;
    }
    // From the first byte of the block until it is synced and the GPX is in
    // place no signal ends the run: the file keeps either the old block or
    // the new one. The data file often lives on the device itself, unplugged
    // as soon as the run returns: success only once the block is on it.
    sys::hold_signals(true);
    bool written = write_conf(update.file.get(), &conf) == 0;
    bool synced = written && sys::sync_stream(update.file.get());
    bool closed = std::fclose(update.file.release()) == 0;
    sys::commit_status committed = sys::commit_status::failed;
    if (written && synced && closed)
        committed = sys::commit_output(output, output.temp_info.id.volume == data.info.id.volume);
    data.file.reset();
    sys::hold_signals(false);
    if (!written || !synced || !closed) {
        std::fprintf(stderr, msg::error_writing, data_path);
        return 1;
    }
    if (committed != sys::commit_status::done) {
        std::fprintf(stderr, committed == sys::commit_status::replaced ? msg::replaced
                                                                       : msg::error_writing,
                     act.output_path);
        return 1;
    }
    return 0;
}
