// The run sequence: two parses of the command line, the configuration block
// read from a read-only opening, the options applied, then help, listing,
// export, analysis and the write of the block through an update opening.
// Only this file prints errors and chooses the exit status.
#include "cli/run.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

enum class open_status { ok, cannot_open, not_regular };

// Opens the data file as a binary stream. The descriptor is opened without
// blocking (a FIFO would wait for a writer forever) and the stream is only
// handed out for a regular file, never for a directory, FIFO or device.
open_status open_data_file(const char* path, bool update, file_ptr& file, struct stat& info)
{
    int fd = ::open(path, (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return open_status::cannot_open;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return open_status::not_regular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.reset(::fdopen(fd, update ? "r+b" : "rb"));
    if (!file) {
        ::close(fd);
        return open_status::cannot_open;
    }
    return open_status::ok;
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

// True when path names the file described by data (also through a link).
bool is_same_file(const char* path, const struct stat& data)
{
    struct stat info;
    return ::stat(path, &info) == 0 && info.st_dev == data.st_dev && info.st_ino == data.st_ino;
}

// The export: the log of data as a GPX document, to the output path or to
// standard output. Returns the exit status for a failure, or 0.
int export_tracks(const actions& act, std::FILE* data, const struct stat& data_info,
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
    if (is_same_file(act.output_path, data_info)) {
        std::fprintf(stderr, msg::output_is_data_file, act.output_path);
        return 1;
    }
    file_ptr out(std::fopen(act.output_path, "w"));
    if (!out) {
        std::fprintf(stderr, msg::error_opening, act.output_path);
        return 1;
    }
    if (read_track(data, points) != 0) {
        std::fprintf(stderr, msg::out_of_memory, data_path);
        return 1;
    }
    print_track(out.get(), points);
    bool written = !std::ferror(out.get());
    if (std::fclose(out.release()) != 0 || !written) {
        std::fprintf(stderr, msg::error_writing, act.output_path);
        return 1;
    }
    return 0;
}

}  // namespace

int run(int argc, char** argv)
{
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
        struct stat info;
        open_status status = open_data_file(data_path, false, data, info);
        if (status != open_status::ok)
            return report_open_failure(status, data_path);
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
    struct stat data_info;
    open_status status = open_data_file(data_path, true, data, data_info);
    if (status != open_status::ok)
        return report_open_failure(status, data_path);

    if (act.read) {
        if (int failed = export_tracks(act, data.get(), data_info, data_path))
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
    if (std::fclose(data.release()) != 0) {
        std::fprintf(stderr, msg::error_writing, data_path);
        return 1;
    }
    return 0;
}
