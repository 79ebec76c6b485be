// The run sequence: two parses of the command line, the configuration block
// read from a read-only opening, the options applied, then help, listing,
// export, analysis and the write of the block through an update opening.
// Only this file prints errors and chooses the exit status.
#include "cli/run.h"

#include <getopt.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/messages.h"
#include "cli/options.h"
#include "cli/settings.h"
#include "datafile/analyze.h"
#include "datafile/device_conf.h"
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

// Opens the data file (a regular file only) into file.
open_status open_data_file(const char* path, bool update, file_ptr& file, sys::file_id& id)
{
    std::FILE* stream = nullptr;
    open_status status = sys::open_data_file(path, update, stream, id);
    file.reset(stream);
    return status;
}

// Prints the message that belongs to a failed opening of the data file.
int report_open_failure(open_status status, const char* path)
{
    std::fprintf(stderr, status == open_status::not_regular ? msg::not_valid : msg::error_opening,
                 path);
    return 1;
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

// True when path names the data file (also through a link).
bool is_data_file(const char* path, const sys::file_id& data)
{
    sys::file_id id;
    return sys::path_id(path, id) && id == data;
}

// True when stream writes into the data file (a redirection onto it).
bool writes_to_data_file(std::FILE* stream, const sys::file_id& data)
{
    sys::file_id id;
    return sys::stream_id(stream, id) && id == data;
}

// Writes the log of data as a GPX document to the output path. Returns the
// message for a failure, or nullptr.
const char* write_gpx_file(const char* path, std::FILE* data, std::vector<track_point>& points)
{
    file_ptr out(std::fopen(path, "w"));
    if (!out)
        return msg::error_opening;
    // A document that failed halfway is not left behind under its name.
    sys::file_id out_id;
    bool known = sys::stream_id(out.get(), out_id);
    auto discard = [&](const char* message) {
        out.reset();
        if (known)
            sys::remove_regular_file(path, out_id);
        return message;
    };
    if (read_track(data, points) != 0)
        return discard(msg::out_of_memory);
    print_track(out.get(), points);
    // The last block is flushed here, not left to fclose: Wine's C library
    // does not report a failed flush from fclose.
    bool written = std::fflush(out.get()) == 0 && !std::ferror(out.get());
    if (std::fclose(out.release()) != 0 || !written)
        return discard(msg::error_writing);
    return nullptr;
}

// The export: the log of data as a GPX document, to the output path or to
// standard output. Returns the exit status for a failure, or 0.
int export_tracks(const actions& act, std::FILE* data, const sys::file_id& data_id,
                  const char* data_path)
{
    if (!act.output_path && (act.conf || act.analyze)) {
        std::fputs(msg::stdout_skipped, stderr);
        return 0;
    }
    std::vector<track_point> points;
    if (!act.output_path) {
        if (read_track(data, points) != 0) {
            std::fprintf(stderr, msg::out_of_memory, data_path);
            return 1;
        }
        print_track(stdout, points);
        if (!stdout_ok()) {
            std::fputs(msg::error_writing_stdout, stderr);
            return 1;
        }
        return 0;
    }
    // Opening the data file itself for writing would empty it.
    if (is_data_file(act.output_path, data_id)) {
        std::fprintf(stderr, msg::output_is_data_file, act.output_path);
        return 1;
    }
    if (const char* failure = write_gpx_file(act.output_path, data, points)) {
        std::fprintf(stderr, failure, failure == msg::out_of_memory ? data_path : act.output_path);
        return 1;
    }
    return 0;
}

}  // namespace

int run(int argc, char** argv)
{
    sys::guard_standard_descriptors();
    const char* program = argc > 0 ? argv[0] : "trekdump";

    // First parse: syntax only; getopt_long prints its own diagnostic.
    opterr = 1;
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

    device_conf conf{};
    {
        file_ptr data;
        sys::file_id id;
        open_status status = open_data_file(data_path, false, data, id);
        if (status != open_status::ok)
            return report_open_failure(status, data_path);
        // Nothing may be printed into the data file: a standard error that is
        // the data file gets no message at all.
        if (writes_to_data_file(stderr, id))
            return 1;
        if (writes_to_data_file(stdout, id)) {
            std::fputs(msg::stdout_is_data_file, stderr);
            return 1;
        }
        if (read_conf(data.get(), &conf) != 0) {
            std::fprintf(stderr, msg::not_valid, data_path);
            return 1;
        }
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

    file_ptr data;
    sys::file_id data_id;
    open_status status = open_data_file(data_path, true, data, data_id);
    if (status != open_status::ok)
        return report_open_failure(status, data_path);

    if (act.read) {
        if (int failed = export_tracks(act, data.get(), data_id, data_path))
            return failed;
    }
    if (act.analyze && analyze(data.get(), stdout) != 0) {
        std::fprintf(stderr, msg::not_valid, data_path);
        return 1;
    }

    // Nothing is written into the data file after a report that did not arrive.
    if (!stdout_ok()) {
        std::fputs(msg::error_writing_stdout, stderr);
        return 1;
    }
    if (write_conf(data.get(), &conf) != 0) {
        std::fprintf(stderr, msg::not_valid, data_path);
        return 1;
    }
    // The data file often lives on the device itself, unplugged as soon as
    // the run returns: success only once the block is on it.
    bool synced = sys::sync_stream(data.get());
    if (std::fclose(data.release()) != 0 || !synced) {
        std::fprintf(stderr, msg::error_writing, data_path);
        return 1;
    }
    return 0;
}
