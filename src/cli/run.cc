// The run sequence, step by step: parse the command line, open and lock the
// data file and read its configuration block, apply the options, the help
// text and the listing, the update opening, the export, the analysis, and
// the commit of the block (and of the new GPX file).
// Only this file and the export print errors and choose the exit status.
#include "cli/run.h"

#include <getopt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/data_file.h"
#include "cli/export.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/settings.h"
#include "datafile/analyze.h"
#include "datafile/device_conf.h"
#include "datafile/layout.h"
#include "report/help.h"
#include "report/listing.h"
#include "sys/sys.h"

namespace {

using sys::open_status;

// What the second parse asks the run to do.
struct actions {
    bool read = false;
    const char* output_path = nullptr;
    bool conf = false;
    bool analyze = false;
    bool help = false;
};

// Everything a run holds, from the first step to the last.
struct run_state {
    const char* program = "trekdump";
    const char* data_path = nullptr;
    data_opening data;    // read-only (or read-write where allowed), locked
    data_opening update;  // the opening the block is written through
    std::vector<unsigned char> block_read;
    sys::file_info block_file;  // the data file as it was when its block was read
    device_conf conf{};
    actions act;
    output_file output;
};

// Prints the message that belongs to a failed opening of the data file.
int report_open_failure(open_status status, const char* path)
{
    std::fprintf(stderr, status == open_status::not_regular ? msg::not_valid : msg::error_opening,
                 path);
    return 1;
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
    while (getopt_long(argc, words.data(), short_options, long_options.data(), nullptr) != -1) {
    }
    return optind < argc ? words[optind] : nullptr;
}

// Three parses of the command line: a silent one that finds the data file,
// so that it is opened (and standard error checked against it) before the
// parser prints anything; then the syntax check with the parser's own
// diagnostics, which leaves the data file's word after the options. Returns
// the exit status for a failure, or 0.
int parse_command_line(int argc, char** argv, run_state& run)
{
    const char* found = find_data_path(argc, argv);
    if (found && open_and_check_stderr(found, run.data))
        return 1;
    opterr = 1;
    optind = 0;
    int code;
    while ((code = getopt_long(argc, argv, short_options, long_options.data(), nullptr)) != -1)
        if (code == '?')
            return 1;
    if (optind >= argc) {
        usage(stdout, run.program);
        std::fflush(stdout);
        return 1;
    }
    run.data_path = argv[optind];
    if (run.data_path != found && open_and_check_stderr(run.data_path, run.data))
        return 1;
    return 0;
}

// The read-only opening checked and locked, and the block read from it (as
// device_conf and as its bytes). The lock is held until the block is on the
// device: another run on the same data file waits here until then, and then
// reads that run's block.
int lock_and_read_block(run_state& run)
{
    if (run.data.status != open_status::ok)
        return report_open_failure(run.data.status, run.data_path);
    if (writes_to_data_file(stdout, run.data)) {
        std::fputs(msg::stdout_is_data_file, stderr);
        return 1;
    }
    std::FILE* file = run.data.file.get();
    sys::lock_status lock = sys::lock_data_file(file, false);
    if (lock == sys::lock_status::busy) {
        std::fprintf(stderr, msg::waiting, run.data_path);
        lock = sys::lock_data_file(file, true);
    }
    if (lock != sys::lock_status::locked) {
        std::fprintf(stderr, msg::error_opening, run.data_path);
        return 1;
    }
    // The block in one read, decoded from memory: no other program's write
    // can fall between two readings of it.
    run.block_read.resize(layout::conf_block_end);
    sys::read_result read = sys::read_bytes_at(file, 0, run.block_read.data(), run.block_read.size());
    if (read == sys::read_result::failed || !sys::stream_info(file, run.block_file)) {
        std::fprintf(stderr, msg::error_reading, run.data_path);
        return 1;
    }
    if (read != sys::read_result::whole || decode_conf(run.block_read.data(), &run.conf) != 0) {
        std::fprintf(stderr, msg::not_valid, run.data_path);
        return 1;
    }
    return 0;
}

// The second parse: the same words, now applied in command-line order. A
// rejected value ends the run before anything is written.
int apply_options(int argc, char** argv, run_state& run)
{
    opterr = 1;
    optind = 0;
    int code;
    while ((code = getopt_long(argc, argv, short_options, long_options.data(), nullptr)) != -1) {
        switch (code) {
        case opt_read:
            run.act.read = true;
            if (optarg)
                run.act.output_path = optarg;
            break;
        case opt_conf: run.act.conf = true; break;
        case opt_analyze: run.act.analyze = true; break;
        case opt_help: run.act.help = true; break;
        default: {
            setting_outcome outcome = apply_setting(code, optarg, run.conf);
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
                std::fprintf(stderr, msg::undefined_option, run.program,
                             name.c_str() + (name.size() == 2 ? 1 : 0));
                return 1;
            }
        }
        }
    }
    return 0;
}

// The update opening, which must still be the file the block was read from,
// checked on what is open: not another file renamed into its place, and not
// one emptied meanwhile.
int open_for_update(run_state& run)
{
    open_data_file(run.data_path, true, run.update);
    if (run.update.status != open_status::ok)
        return report_open_failure(run.update.status, run.data_path);
    if (!(run.update.info.id == run.data.info.id)) {
        std::fprintf(stderr, msg::replaced, run.data_path);
        return 1;
    }
    if (run.update.info.size < layout::conf_block_end) {
        std::fprintf(stderr, msg::not_valid, run.data_path);
        return 1;
    }
    return 0;
}

// The reports that read the log: the export, then the analysis.
int report_log(run_state& run)
{
    std::FILE* update = run.update.file.get();
    if (run.act.read) {
        if (!run.act.output_path && (run.act.conf || run.act.analyze))
            std::fputs(msg::stdout_skipped, stderr);
        else if (int failed = export_tracks(update, run.act.output_path, run.data, run.data_path,
                                            run.output))
            return failed;
    }
    if (run.act.analyze && analyze(update, stdout) != 0) {
        std::fprintf(stderr, read_failure(update, msg::not_valid), run.data_path);
        return 1;
    }
    // Nothing is written into the data file after a report that did not arrive.
    if (!stdout_ok()) {
        std::fputs(msg::error_writing_stdout, stderr);
        return 1;
    }
    return 0;
}

// Why the data file may not be written at the commit, or nullptr: its name
// no longer reaches the open file (renamed away, deleted, another file put
// in its place), or its size, its time of change or its block is not as
// when the block was read (a program that takes no lock wrote into it).
const char* data_file_refusal(const run_state& run)
{
    std::FILE* update = run.update.file.get();
    sys::file_info open_now, named;
    if (!sys::stream_info(update, open_now) || open_now.links == 0 ||
        !sys::path_info(run.data_path, named) || !(named.id == run.block_file.id))
        return msg::replaced;
    if (open_now.size != run.block_file.size || open_now.modified != run.block_file.modified)
        return msg::changed;
    std::vector<unsigned char> block_now(run.block_read.size());
    if (sys::read_bytes_at(update, 0, block_now.data(), block_now.size()) != sys::read_result::whole)
        return msg::error_reading;
    return block_now == run.block_read ? nullptr : msg::changed;
}

// The span of the block that changes: from the first to the last byte that
// differs (empty when first == end).
struct block_span {
    std::size_t first = 0, end = 0;
};

block_span changed_span(const std::vector<unsigned char>& before,
                        const std::vector<unsigned char>& after)
{
    block_span span;
    while (span.first < before.size() && before[span.first] == after[span.first])
        ++span.first;
    span.end = before.size();
    while (span.end > span.first && before[span.end - 1] == after[span.end - 1])
        --span.end;
    return span;
}

// Writes bytes[span] into the data file in one write and syncs it; written
// tells how many reached the file.
bool write_span(std::FILE* update, const std::vector<unsigned char>& bytes, block_span span,
                std::size_t& written)
{
    written = 0;
    if (span.first == span.end)
        return true;
    return sys::write_bytes_at(update, static_cast<std::int64_t>(span.first),
                               bytes.data() + span.first, span.end - span.first, written) &&
           sys::sync_stream(update);
}

// The run's one commit, after everything else has succeeded: the new GPX
// takes its name (the older one kept aside), the block is written in one
// piece and synced, then the older GPX is removed. A failure at any step
// undoes the steps before it: the block's bytes as read written back, the
// older GPX back under its name. No signal ends the run meanwhile: one that
// came before the commit ends it with nothing changed, one during it lets
// the commit finish. The data file often lives on the device itself,
// unplugged as soon as the run returns: success only once the block is on it.
int commit(run_state& run)
{
    sys::signals_held held;
    if (sys::ending_signal_pending())
        return 1;
    if (const char* refusal = data_file_refusal(run)) {
        std::fprintf(stderr, refusal, run.data_path);
        return 1;
    }
    // The folder is synced where the new file is on the device, as the block is.
    bool on_device = run.output.new_file_on(run.data.info);
    switch (run.output.put_in_place()) {
    case output_file::placed::done: break;
    case output_file::placed::replaced:
        std::fprintf(stderr, msg::replaced, run.act.output_path);
        return 1;
    case output_file::placed::failed:
        std::fprintf(stderr, msg::error_writing, run.act.output_path);
        return 1;
    }
    std::FILE* update = run.update.file.get();
    std::vector<unsigned char> block = run.block_read;
    encode_conf(&run.conf, block.data());
    block_span span = changed_span(run.block_read, block);
    std::size_t written;
    const char* failed_path = nullptr;
    if (!write_span(update, block, span, written))
        failed_path = run.data_path;
    else if (!run.output.drop_older(on_device))
        failed_path = run.act.output_path;
    if (!failed_path) {
        sys::finish_run();
        return 0;
    }
    // Back to the bytes that were read, as far as the new ones reached.
    std::size_t restored;
    write_span(update, run.block_read, {span.first, span.first + written}, restored);
    run.output.put_back();
    std::fprintf(stderr, msg::error_writing, failed_path);
    return 1;
}

}  // namespace

int run(int argc, char** argv)
{
    sys::guard_standard_descriptors();
    sys::watch_signals();
    run_state state;
    if (argc > 0)
        state.program = argv[0];
    if (int failed = parse_command_line(argc, argv, state))
        return failed;
    if (int failed = lock_and_read_block(state))
        return failed;
    if (int failed = apply_options(argc, argv, state))
        return failed;
    if (state.act.help) {
        usage(stdout, state.program);
        if (!stdout_ok()) {
            std::fputs(msg::error_writing_stdout, stderr);
            return 1;
        }
        return 0;
    }
    if (state.act.conf)
        print_conf(stdout, state.conf);
    if (int failed = open_for_update(state))
        return failed;
    if (int failed = report_log(state))
        return failed;
    return commit(state);
}
