// End to end: nothing the run prints can land in the data file, whatever the
// standard descriptors are; the block is synced before success; a failed
// export leaves no partial GPX file.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "tools/shell.h"

namespace {

// An unnormalised data file whose one record has an unknown reserved byte,
// so the analysis has a line to print.
datafile_builder with_unknown_record()
{
    return unnormalised()
        .add_point(1, pack_time(2008, 8, 17, 18, 25, 49), 476603000, 91758000, 398, 7)
        .add_end_marker();
}

const std::vector<unsigned char> unchanged = with_unknown_record().bytes();
const std::vector<unsigned char> normal_rewrite = rewritten(with_unknown_record());

constexpr char stdout_failed[] = "error writing to standard output\n";
constexpr char stdout_is_data[] = "error: standard output is the data file itself, not writing to it\n";

class DataFileSafety : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(with_unknown_record().write(dir.file("NVPIPE.DAT"))); }
    std::vector<unsigned char> data_bytes() { return read_bytes(dir.file("NVPIPE.DAT")); }
    // Runs the tool in the folder through bash: setup commands, then the tool
    // (under a wrapper command, if any) with its arguments and redirections.
    shell_result run(const std::string& setup, const std::string& args, const std::string& redirs,
                     const std::string& wrapper = "")
    {
        return run_bash("cd " + quoted(dir.path()) + " && " + setup + " exec " + wrapper + " " +
                        TREKDUMP_BINARY + " " + args + " " + redirs);
    }

    temp_dir dir;
};

TEST_F(DataFileSafety, ReportsNeverLandInTheDataFile)
{
    struct row {
        const char* args;
        const char* redirs;
        int status;
        const char* err;
        const std::vector<unsigned char>& data;
    };
    const row rows[] = {
        // Standard output closed: every report fails, the block stays unwritten.
        {"--conf NVPIPE.DAT", ">&-", 1, stdout_failed, unchanged},
        {"--read NVPIPE.DAT", ">&-", 1, stdout_failed, unchanged},
        {"--analyze NVPIPE.DAT", ">&-", 1, stdout_failed, unchanged},
        {"--help NVPIPE.DAT", ">&-", 1, stdout_failed, unchanged},
        {"", ">&-", 1, "", unchanged},
        // Standard error closed: the messages are lost, nothing else.
        {"--read --conf NVPIPE.DAT", ">/dev/null 2>&-", 0, "", normal_rewrite},
        {"--read=nodir/x.gpx NVPIPE.DAT", "2>&-", 1, "", unchanged},
        {"--conf NVPIPE.DAT", "2>&- >/dev/null", 0, "", normal_rewrite},
        {"--set-contrast=x NVPIPE.DAT", "2>&-", 1, "", unchanged},
        // All three closed.
        {"--conf NVPIPE.DAT", "<&- >&- 2>&-", 1, "", unchanged},
        {"--read NVPIPE.DAT", "<&- >&- 2>&-", 1, "", unchanged},
        {"--analyze NVPIPE.DAT", "<&- >&- 2>&-", 1, "", unchanged},
        {"--help NVPIPE.DAT", "<&- >&- 2>&-", 1, "", unchanged},
        {"--read=nodir/x.gpx NVPIPE.DAT", "<&- >&- 2>&-", 1, "", unchanged},
        {"NVPIPE.DAT", "<&- >&- 2>&-", 0, "", normal_rewrite},
        // Standard output or error redirected onto the data file.
        {"--read NVPIPE.DAT", "1<>NVPIPE.DAT", 1, stdout_is_data, unchanged},
        {"--conf NVPIPE.DAT", ">>NVPIPE.DAT", 1, stdout_is_data, unchanged},
        {"--help NVPIPE.DAT", ">>NVPIPE.DAT", 1, stdout_is_data, unchanged},
        {"--read=nodir/x.gpx NVPIPE.DAT", "2>>NVPIPE.DAT", 1, "", unchanged},
        {"NVPIPE.DAT", "2>>NVPIPE.DAT", 1, "", unchanged},
        {"--conf NVPIPE.DAT", "1<>NVPIPE.DAT 2>>NVPIPE.DAT", 1, "", unchanged},
        // The parser's own diagnostics go nowhere near it either.
        {"--bogus NVPIPE.DAT", "2<>NVPIPE.DAT", 1, "", unchanged},
        {"--set NVPIPE.DAT", "2>>NVPIPE.DAT", 1, "", unchanged},
        {"-x NVPIPE.DAT", "2>>NVPIPE.DAT", 1, "", unchanged},
    };
    for (const row& r : rows) {
        ASSERT_TRUE(with_unknown_record().write(dir.file("NVPIPE.DAT")));
        shell_result result = run("", r.args, r.redirs);
        std::string what = std::string(r.args) + " " + r.redirs;
        EXPECT_EQ(result.status, r.status) << what;
        EXPECT_EQ(result.err, r.err) << what;
        EXPECT_EQ(data_bytes(), r.data) << what;
    }
}

TEST_F(DataFileSafety, SettingsOnlyRunSucceedsWithoutStandardStreams)
{
    shell_result result = run("", "--set-contrast=210 NVPIPE.DAT", "<&- >&- 2>&-");
    EXPECT_EQ(result.status, 0);
    datafile_builder expected = with_unknown_record();
    expected.set(layout::contrast, 210);
    EXPECT_EQ(data_bytes(), rewritten(expected));
}

TEST_F(DataFileSafety, FailedExportLeavesNoPartialFile)
{
    // More than a kilobyte of GPX under a file size limit of one kilobyte.
    datafile_builder many;
    for (int i = 0; i < 100; ++i)
        many.add_point(i == 0, pack_time(2008, 8, 17, 6, 0, i % 60), 476603413, 91758514, 398);
    ASSERT_TRUE(many.write(dir.file("NVPIPE.DAT")));
    shell_result limited = run("trap '' XFSZ; ulimit -f 1;", "--read=out.gpx NVPIPE.DAT", "");
    EXPECT_EQ(limited.status, 1);
    EXPECT_EQ(limited.err, "error writing file 'out.gpx'\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.gpx")));
    EXPECT_EQ(data_bytes(), many.bytes());

    // Through a link to a device: the link and the device stay.
    std::filesystem::create_symlink("/dev/full", dir.file("full.gpx"));
    shell_result full = run("", "--read=full.gpx NVPIPE.DAT", "");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "error writing file 'full.gpx'\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("full.gpx")));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST_F(DataFileSafety, FailedSyncOfTheDataFileIsAnError)
{
    const std::string inject = "strace -f -o /dev/null -e inject=fsync:error=EIO";
    if (run_bash(inject + " true").status != 0)
        GTEST_SKIP() << "strace with fault injection is not available here";
    // LeakSanitizer, in the sanitizer build, cannot work under ptrace.
    shell_result result = run("export ASAN_OPTIONS=detect_leaks=0;", "NVPIPE.DAT", "", inject);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "error writing file 'NVPIPE.DAT'\n");
}

// A log whose GPX is larger than a kilobyte.
datafile_builder with_many_points()
{
    datafile_builder data = unnormalised();
    for (int i = 0; i < 100; ++i)
        data.add_point(i == 0, pack_time(2008, 8, 17, 6, 0, i % 60), 476603413, 91758514, 398);
    return data;
}

datafile_builder with_setting(datafile_builder data, layout::field where, unsigned long value)
{
    data.set(where, value);
    return data;
}

// One race, fault or signal made certain: the setup, then the tool (under
// strace with the trace given, holding one call while the change meanwhile
// is done), and what the files are afterwards.
struct row {
    std::string setup, args, redirs, trace, meanwhile;
    int status;
    std::string err;
    const std::vector<unsigned char>* data;  // nullptr: the check alone tells
    std::string check;                       // a shell condition on the files afterwards
    std::string wrapper = "";                // a command the tool runs under
};

class DataFileRaces : public DataFileSafety {
protected:
    void SetUp() override
    {
        DataFileSafety::SetUp();
        if (run_bash("strace -o /dev/null -e inject=getpid:error=EIO true").status != 0)
            GTEST_SKIP() << "strace with fault injection is not available here";
    }
    void run_rows(const std::vector<row>& rows)
    {
        for (const row& r : rows) {
            ASSERT_TRUE(with_many_points().write(dir.file("NVPIPE.DAT")));
            std::string what = r.setup + " | " + r.args + " " + r.redirs + " | " + r.trace;
            std::string tool = r.wrapper + " " + TREKDUMP_BINARY + " " + r.args;
            if (!r.trace.empty())
                tool = "strace -f -qqq -o trace.log " + r.trace + " " + tool;
            std::string meanwhile =
                r.meanwhile.empty() ? "" : "(entered " + r.trace.substr(r.trace.rfind('=') + 1) +
                                               "; " + r.meanwhile + ") &\n";
            shell_result result = run_bash(
                "cd " + quoted(dir.path()) +
                " && find . -mindepth 1 ! -name NVPIPE.DAT -delete && cp NVPIPE.DAT orig.DAT || exit 99\n"
                "export ASAN_OPTIONS=detect_leaks=0\n"
                // Waits until the trace shows the held call entered.
                "entered() { for i in $(seq 1000); do n=$(grep -c '' trace.log 2>/dev/null); "
                "[ \"${n:-0}\" -ge \"${1%+}\" ] && return; sleep 0.01; done; }\n"
                "tool() { awk '{ print $1; exit }' trace.log; }\n" +
                r.setup + "\n" + meanwhile +
                // The tool's standard error without strace's notes or the shell's
                // report of a signal.
                "exec 4>&2 2>/dev/null\n" + tool + " 2>tool.err " + r.redirs +
                "\nstatus=$?\nwait\ngrep -v '^strace: ' tool.err >&4\nexit $status\n");
            if (result.status == 77) {
                std::printf("skipped, not possible here: %s\n", what.c_str());
                continue;
            }
            EXPECT_EQ(result.status, r.status) << what;
            EXPECT_EQ(result.err, r.err) << what;
            if (r.data) {
                EXPECT_EQ(data_bytes(), *r.data) << what;
            }
            if (!r.check.empty()) {
                EXPECT_EQ(run_bash("cd " + quoted(dir.path()) + " && " + r.check).status, 0)
                    << what << " | afterwards: " << r.check;
            }
            EXPECT_EQ(run_bash("cd " + quoted(dir.path()) + " && ! ls -A | grep trekdump-").status, 0)
                << what << " | a new file of the run left behind";
        }
    }
};

// Races, signals, I/O errors and aliases: each guard is checked on the file
// really written. A race is made certain with strace, which holds one call of
// the tool (delay_enter) until the change meanwhile is done: the change waits
// until the trace shows that call entered.
TEST_F(DataFileRaces, FailsClosed)
{
    const auto plain = with_many_points().bytes();
    const auto rewrite = rewritten(with_many_points());
    const auto contrast = rewritten(with_setting(with_many_points(), layout::contrast, 210));
    const auto both = rewritten(
        with_setting(with_setting(with_many_points(), layout::contrast, 210), layout::log_mode, 3));
    const auto poked = with_setting(with_many_points(), layout::contrast, 230).bytes();
    const std::string hold = ":delay_enter=1500000:when=";
    // The GPX goes into a file of the tool's own naming: its writes are held
    // by their number (the first is the document's first block).
    const std::string out_write = "-e trace=write -e inject=write" + hold + "1";
    const std::string data_open = "-P NVPIPE.DAT -e trace=openat -e inject=openat" + hold + "2";
    const std::string data_write =
        "-P \"$PWD/NVPIPE.DAT\" -e trace=pwrite64 -e inject=pwrite64" + hold + "1";
    const std::string rename_held = "-e trace=renameat2 -e inject=renameat2" + hold + "1";
    const std::string data_read = "-P \"$PWD/NVPIPE.DAT\" -e trace=read -e inject=read:error=EIO";
    const std::string old_kept = "[ \"$(cat o.gpx)\" = '<old/>' ]";
    // Holds a lock on file in the background until the run is over.
    auto locked = [](const std::string& file) {
        return "flock " + file + " sleep 2 & until ! flock -n " + file + " true; do sleep 0.01; done";
    };
    // A file that begins as an XML document (printf's format) named as the data file.
    auto xml = [&plain](const std::string& start) {
        return row{"printf '" + start + "' >out.gpx; head -c 5000 /dev/zero >>out.gpx; cp out.gpx out.orig",
                   "-R out.gpx -l car NVPIPE.DAT", "", "", "", 1,
                   "'out.gpx' does not seem to be a valid NVPIPE.DAT\n", &plain, "cmp -s out.gpx out.orig"};
    };
    const row rows[] = {
        // The output swapped for the data file while it is opened, or just
        // before the new GPX replaces it.
        {"echo '<old/>' >o.gpx", "--read=o.gpx NVPIPE.DAT", "",
         "-P o.gpx -e trace=openat -e inject=openat" + hold + "1", "ln -f NVPIPE.DAT o.gpx", 1,
         "error: output file 'o.gpx' is the data file itself, not overwriting it\n", &plain, ""},
        {"", "--read=o.gpx NVPIPE.DAT", "", rename_held, "ln -sf NVPIPE.DAT o.gpx", 1,
         "error: 'o.gpx' was replaced during the run, not writing to it\n", &plain,
         "[ -L o.gpx ]"},
        // The data file replaced or emptied between its two openings.
        {"cp NVPIPE.DAT new.DAT; echo >>new.DAT; cp new.DAT new.orig", "--set-contrast=210 NVPIPE.DAT",
         "", data_open, "mv new.DAT NVPIPE.DAT", 1,
         "error: 'NVPIPE.DAT' was replaced during the run, not writing to it\n", nullptr,
         "cmp -s NVPIPE.DAT new.orig"},
        {"", "--set-contrast=210 NVPIPE.DAT", "", data_open, ": >NVPIPE.DAT", 1,
         "'NVPIPE.DAT' does not seem to be a valid NVPIPE.DAT\n", nullptr, "[ ! -s NVPIPE.DAT ]"},
        // The block changed by a program that takes no lock: its bytes stay.
        {"", "--set-contrast=210 NVPIPE.DAT", "", data_open,
         "printf '\\346' | dd of=NVPIPE.DAT bs=1 seek=" + std::to_string(layout::contrast.offset) +
             " conv=notrunc status=none",
         1, "error: 'NVPIPE.DAT' was changed by another program during the run, not writing to it\n",
         &poked, ""},
        // A second run meanwhile waits for the first, says so, and keeps its setting.
        {"", "--log-mode-car NVPIPE.DAT", "", data_open,
         TREKDUMP_BINARY " --set-contrast=210 NVPIPE.DAT", 0,
         "waiting for another program to release 'NVPIPE.DAT'...\n", &both, ""},
        {locked("NVPIPE.DAT"), "--set-contrast=210 NVPIPE.DAT", "", "", "", 0,
         "waiting for another program to release 'NVPIPE.DAT'...\n", &contrast, ""},
        {"", "NVPIPE.DAT", "", "-e trace=flock -e inject=flock:error=ENOLCK", "", 0, "", &rewrite,
         ""},
        // Another data file in use is no output.
        {"cp NVPIPE.DAT DB; echo >>DB; cp DB DB.orig; " + locked("DB"), "--read=DB NVPIPE.DAT", "",
         "", "", 1, "error: output file 'DB' is in use by another program, not writing to it\n",
         &plain, "cmp -s DB DB.orig"},
        // Read and write errors are no end of the file, and no success; a
        // run that fails leaves the older GPX as it was.
        {"echo '<old/>' >o.gpx", "--read=o.gpx NVPIPE.DAT", "", data_read + ":when=2+", "", 1,
         "error reading file 'NVPIPE.DAT'\n", &plain, old_kept},
        {"echo '<old/>' >o.gpx", "--read=o.gpx --analyze NVPIPE.DAT", ">/dev/null",
         data_read + ":when=4+", "", 1, "error reading file 'NVPIPE.DAT'\n", &plain, old_kept},
        {"", "--analyze NVPIPE.DAT", ">/dev/null", data_read + ":when=3+", "", 1,
         "error reading file 'NVPIPE.DAT'\n", &plain, ""},
        {"", "--conf NVPIPE.DAT", ">/dev/null",
         "-P \"$PWD/NVPIPE.DAT\" -e trace=pread64 -e inject=pread64:error=EIO", "", 1,
         "error reading file 'NVPIPE.DAT'\n", &plain, ""},
        {"echo '<old/>' >o.gpx", "--read=o.gpx --set-contrast=210 NVPIPE.DAT", "",
         "-P \"$PWD/NVPIPE.DAT\" -e trace=pwrite64 -e inject=pwrite64:error=ENOSPC", "", 1,
         "error writing file 'NVPIPE.DAT'\n", &plain, old_kept},
        {"echo '<old/>' >o.gpx", "--read=o.gpx --conf NVPIPE.DAT", ">/dev/full", "", "", 1,
         "error writing to standard output\n", &plain, old_kept},
        {"ulimit -f 1", "--read=o.gpx NVPIPE.DAT", "", "", "", 1, "error writing file 'o.gpx'\n",
         &plain, "[ ! -e o.gpx ]"},
        {"echo '<old/>' >o.gpx; ln o.gpx other.gpx; ulimit -f 1", "--read=o.gpx NVPIPE.DAT", "", "", "",
         1, "error writing file 'o.gpx'\n", &plain,
         old_kept + " && [ \"$(cat other.gpx)\" = '<old/>' ]"},
        {"ln -s real.gpx o.gpx; ulimit -f 1", "--read=o.gpx NVPIPE.DAT", "", "", "", 1,
         "error writing file 'o.gpx'\n", &plain, "[ -L o.gpx ] && [ ! -e real.gpx ]"},
        // Interrupted by any signal that ends a process: the older GPX kept,
        // the signal's own status; the block written whole or not at all.
        {"", "--read=o.gpx NVPIPE.DAT", "", out_write, "kill -TERM $(tool)", 128 + 15, "", &plain,
         "[ ! -e o.gpx ]"},
        {"echo '<old/>' >o.gpx; ln o.gpx other.gpx", "--read=o.gpx NVPIPE.DAT", "", out_write,
         "kill -INT $(tool)", 128 + 2, "", &plain, old_kept + " && [ \"$(cat other.gpx)\" = '<old/>' ]"},
        {"echo '<old/>' >o.gpx; ulimit -c 0", "--read=o.gpx NVPIPE.DAT", "", out_write,
         "kill -QUIT $(tool)", 128 + 3, "", &plain, old_kept},
        {"echo '<old/>' >o.gpx", "--read=o.gpx NVPIPE.DAT", "", out_write, "kill -ALRM $(tool)",
         128 + 14, "", &plain, old_kept},
        {"echo '<old/>' >o.gpx", "--read=o.gpx NVPIPE.DAT", "", out_write, "kill -KILL $(tool)",
         128 + 9, "", &plain, old_kept + " && rm .trekdump-*"},
        // During the commit a signal lets it finish: status 0, both new.
        {"echo '<old/>' >o.gpx", "--read=o.gpx --set-contrast=210 NVPIPE.DAT", "", data_write,
         "kill -TERM $(tool)", 0, "", &contrast, "grep -q '</gpx>' o.gpx"},
        {"ulimit -c 0", "--set-contrast=210 NVPIPE.DAT", "", data_write, "kill -QUIT $(tool)", 0,
         "", &contrast, ""},
        {"", "--set-contrast=210 NVPIPE.DAT", "", data_write, "kill -USR1 $(tool)", 0, "",
         &contrast, ""},
        // A signal ignored from the start stays ignored.
        {"trap '' HUP", "--read=o.gpx NVPIPE.DAT", "", out_write, "kill -HUP $(tool)", 0, "",
         &rewrite, "grep -q '</gpx>' o.gpx"},
        // A replaced GPX keeps the older file's permission bits; a link's
        // target is replaced, the link stays.
        {"echo '<old/>' >o.gpx; chmod 640 o.gpx", "--read=o.gpx NVPIPE.DAT", "", "", "", 0, "",
         &rewrite, "[ \"$(stat -c %a o.gpx)\" = 640 ] && grep -q '</gpx>' o.gpx"},
        {"mkdir sub; echo '<old/>' >sub/real.gpx; ln -s sub/real.gpx o.gpx", "--read=o.gpx NVPIPE.DAT",
         "", "", "", 0, "", &rewrite, "[ -L o.gpx ] && grep -q '</gpx>' sub/real.gpx && rm -r sub"},
        // A FIFO beside the data file is written as it is, never synced.
        {"mkfifo f.gpx; cat f.gpx >got &", "--read=f.gpx NVPIPE.DAT", "", "", "", 0, "", &rewrite,
         "wait; grep -q '</gpx>' got && rm f.gpx got"},
        // The data file reached another way: its bytes, a disk, standard
        // output, a standard stream that was closed.
        {"cp NVPIPE.DAT copy.DAT", "--read=copy.DAT NVPIPE.DAT", "", "", "", 1,
         "error: output file 'copy.DAT' is the data file itself, not overwriting it\n", &plain,
         "cmp -s copy.DAT orig.DAT"},
        {"cp NVPIPE.DAT copy.DAT", "--conf NVPIPE.DAT", ">>copy.DAT", "", "", 1,
         "error: standard output is the data file itself, not writing to it\n", &plain,
         "cmp -s copy.DAT orig.DAT"},
        {"cp NVPIPE.DAT copy.DAT", "--bogus NVPIPE.DAT", "2>>copy.DAT", "", "", 1, "", &plain,
         "cmp -s copy.DAT orig.DAT"},
        {"head -c 65536 /dev/zero >disk.img; ln -s \"$(losetup -f --show disk.img)\" disk.gpx || "
         "exit 77",
         "--read=disk.gpx NVPIPE.DAT", "", "", "", 1,
         "error: output file 'disk.gpx' is a disk device, not writing to it\n", &plain,
         "losetup -d \"$(readlink disk.gpx)\"; ! tr -d '\\0' <disk.img | grep -q ."},
        {"", "--read=o.gpx --conf NVPIPE.DAT", ">o.gpx", "", "", 1,
         "error: output file 'o.gpx' is also standard output, not writing to it\n", &plain,
         "! grep -q gpx o.gpx"},
        {"", "--read=/dev/stdout NVPIPE.DAT", ">&-", "", "", 1,
         "error writing to standard output\n", &plain, ""},
        // A GPX document, in whatever form, is never taken for the data file.
        xml("<?xml version=\"1.0\"?>"), xml("\\357\\273\\277<?xml"), xml("\\r\\n \\t<gpx>"),
        xml("\\376\\377\\0\\n\\0<"), xml("\\377\\376<\\0"),
        // A new GPX beside the data file is synced with its folder (on the
        // device); elsewhere neither is.
        {"", "--read=o.gpx NVPIPE.DAT", "", "-e trace=fsync -e inject=fsync:error=EIO:when=1", "", 1,
         "error writing file 'o.gpx'\n", &plain, "[ ! -e o.gpx ]"},
        {"", "--read=o.gpx NVPIPE.DAT", "", "-e trace=fsync", "", 0, "", &rewrite,
         "[ \"$(grep -c fsync trace.log)\" = 3 ]"},
        {"[ \"$(stat -c %d /dev/shm)\" != \"$(stat -c %d .)\" ] || exit 77; "
         "o=/dev/shm/trekdump-$$.gpx; ln -s $o o.gpx",
         "--read=o.gpx NVPIPE.DAT", "", "-e trace=fsync", "", 0, "", &rewrite,
         "[ \"$(grep -c fsync trace.log)\" = 1 ] && [ -s o.gpx ] && rm \"$(readlink o.gpx)\""},
    };
    run_rows({std::begin(rows), std::end(rows)});
}

// The run is one commit: it ends with status 0 and the data file and the
// GPX both new, or with any other status and both exactly as they were,
// whatever fails or arrives at whatever step, with no file of its own left.
TEST_F(DataFileRaces, RunIsOneCommit)
{
    const auto plain = with_many_points().bytes();
    const auto cleared = rewritten(with_setting(with_many_points(), layout::clear_memory, 1));
    const auto contrast = rewritten(with_setting(with_many_points(), layout::contrast, 210));
    const auto poked_car = rewritten(
        with_setting(with_setting(with_many_points(), layout::contrast, 230), layout::log_mode, 3));
    const std::string hold = ":delay_enter=1500000:when=";
    const std::string data = "-P \"$PWD/NVPIPE.DAT\" ";
    const std::string fail = ":error=";
    auto on_data = [&](const std::string& call, const std::string& how) {
        return data + "-e trace=" + call + " -e inject=" + call + how;
    };
    auto any = [](const std::string& call, const std::string& how) {
        return "-e trace=" + call + " -e inject=" + call + how;
    };
    const std::string older = "echo '<old/>' >o.gpx";
    const std::string kept = "[ \"$(cat o.gpx)\" = '<old/>' ]";
    const std::string renewed = "grep -q '</gpx>' o.gpx";
    const std::string clear = "-D --read=o.gpx NVPIPE.DAT";
    const std::string write_error = "error writing file 'o.gpx'\n";
    const std::string data_write_error = "error writing file 'NVPIPE.DAT'\n";
    const std::string replaced = "error: 'o.gpx' was replaced during the run, not writing to it\n";
    const std::string data_replaced =
        "error: 'NVPIPE.DAT' was replaced during the run, not writing to it\n";
    const std::string data_changed =
        "error: 'NVPIPE.DAT' was changed by another program during the run, not writing to it\n";
    const std::string not_gpx = "error: output file 'o.gpx' is not a GPX document, not overwriting it\n";
    // The GPX's first write, held while something happens to the data file.
    const std::string export_held = any("write", hold + "1");
    const std::string poke = "printf '\\346' | dd of=NVPIPE.DAT bs=1 seek=" +
                             std::to_string(layout::contrast.offset) + " conv=notrunc status=none";
    std::vector<row> rows = {
        // An empty name reaches no file.
        {"", "-D --read= NVPIPE.DAT", "", "", "", 1, "error opening file ''\n", &plain, ""},
        // An older GPX the run may write but not replace: refused before the block.
        {older + "; chattr +a o.gpx || exit 77", clear, "", "", "", 1, write_error, &plain,
         "chattr -a o.gpx && " + kept},
        {"mkdir d; echo '<old/>' >d/o.gpx; chattr +a d || exit 77", "-D --read=d/o.gpx NVPIPE.DAT",
         "", "", "", 1, "error opening file 'd/o.gpx'\n", &plain,
         "chattr -a d && [ \"$(ls -A d)\" = o.gpx ] && [ \"$(cat d/o.gpx)\" = '<old/>' ]"},
        {older + "; : >b.gpx; mount --bind b.gpx o.gpx || exit 77", clear, "", "", "", 1,
         write_error, &plain, "umount o.gpx && " + kept},
        {"chmod 755 .; mkdir -m 1777 t; echo '<old/>' >t/o.gpx; chmod 666 NVPIPE.DAT t/o.gpx; "
         "setpriv --reuid=nobody --regid=nogroup --clear-groups test -x " TREKDUMP_BINARY " || exit 77",
         "-D --read=t/o.gpx NVPIPE.DAT", "", "", "", 1, "error writing file 't/o.gpx'\n", &plain,
         "[ \"$(cat t/o.gpx)\" = '<old/>' ] && [ \"$(ls -A t)\" = o.gpx ]",
         "setpriv --reuid=nobody --regid=nogroup --clear-groups"},
        // An error at the rename, at the block's write and at every sync.
        {older, clear, "", any("renameat2", fail + "EIO"), "", 1, write_error, &plain, kept},
        {older, clear, "", any("renameat2", fail + "ENOSPC"), "", 1, write_error, &plain, kept},
        {older, clear, "", on_data("pwrite64", fail + "EIO"), "", 1, data_write_error, &plain, kept},
        {older, clear, "", on_data("pwrite64", fail + "ENOSPC"), "", 1, data_write_error, &plain,
         kept},
        {older, clear, "", any("fsync", fail + "EIO:when=1"), "", 1, write_error, &plain, kept},
        {older, clear, "", any("fsync", fail + "EIO:when=2"), "", 1, data_write_error, &plain, kept},
        {older, clear, "", any("fsync", fail + "EIO:when=3"), "", 1, write_error, &plain, kept},
        {"", "-D --read=o.gpx NVPIPE.DAT", "", any("fsync", fail + "EIO:when=3"), "", 1, write_error,
         &plain, "[ ! -e o.gpx ]"},
        // A file size limit inside the block: the write comes up short.
        {"", "-l car --set-password=neu1immer NVPIPE.DAT", "", "", "", 1, data_write_error, &plain,
         "", "prlimit --fsize=520"},
        // Killed while the block is written: the older GPX is in the run's file.
        {older, clear, "", on_data("pwrite64", hold + "1"), "kill -KILL $(tool)", 128 + 9, "",
         &plain,
         renewed + " && [ \"$(cat .trekdump-*)\" = '<old/>' ] && rm .trekdump-*"},
        // A file moved onto the output's name while the rename is held; a
        // second run to the same new name.
        {"", clear, "", any("renameat2", hold + "1"), "echo '<theirs/>' >o.gpx", 1, replaced,
         &plain, "[ \"$(cat o.gpx)\" = '<theirs/>' ]"},
        {older, clear, "", any("renameat2", hold + "1"),
         "echo '<theirs/>' >t.gpx && mv t.gpx o.gpx", 1, replaced, &plain,
         "[ \"$(cat o.gpx)\" = '<theirs/>' ]"},
        {"cp NVPIPE.DAT B.DAT", clear, "", any("renameat2", hold + "1"),
         TREKDUMP_BINARY " --read=o.gpx B.DAT", 1, replaced, &plain,
         renewed + " && rm B.DAT"},
        // A file system that renames only one way (FAT, NFS, FUSE): the older
        // file moved aside first, with a second name or a look where links
        // are missing too; undone the same way.
        {older, clear, "", any("renameat2", fail + "EINVAL"), "", 0, "", &cleared, renewed},
        {"", clear, "", any("renameat2", fail + "EINVAL"), "", 0, "", &cleared, renewed},
        {older, clear, "",
         "-e trace=renameat2,link -e inject=renameat2:error=EINVAL -e inject=link:error=EPERM", "",
         0, "", &cleared, renewed},
        {older, clear, "",
         "-e trace=renameat2,fsync -e inject=renameat2:error=EINVAL -e inject=fsync:error=EIO:when=2",
         "", 1, data_write_error, &plain, kept},
        // A signal during the commit lets it finish.
        {older, clear, "", on_data("pwrite64", hold + "1"), "kill -PWR $(tool)", 0, "", &cleared,
         renewed},
        // The data file renamed away, deleted, cut short or grown during the export.
        {older, clear, "", export_held, "mv NVPIPE.DAT moved.DAT", 1, data_replaced, nullptr,
         kept + " && cmp -s moved.DAT orig.DAT"},
        {older, clear, "", export_held, "rm NVPIPE.DAT", 1, data_replaced, nullptr,
         kept + " && [ ! -e NVPIPE.DAT ]"},
        {older, clear, "", export_held, "truncate -s 2000 NVPIPE.DAT", 1, data_changed, nullptr,
         kept + " && [ \"$(stat -c %s NVPIPE.DAT)\" = 2000 ]"},
        {older, clear, "", export_held, "echo >>NVPIPE.DAT", 1, data_changed, nullptr,
         kept + " && [ \"$(stat -c %s NVPIPE.DAT)\" = $(($(stat -c %s orig.DAT) + 1)) ]"},
        // Another program's write into the block while a reading of it is held:
        // the first reading takes its bytes whole, the second refuses.
        {"", "--log-mode-car NVPIPE.DAT", "", on_data("pread64", hold + "1"), poke, 0, "",
         &poked_car, ""},
        {older, "--read=o.gpx --set-contrast=210 NVPIPE.DAT", "", on_data("pread64", hold + "2"),
         poke, 1, data_changed, nullptr, kept},
        // A read error while the older file is told to be a GPX document.
        {older, clear, "", "-P \"$PWD/o.gpx\" " + any("pread64", fail + "EIO"), "", 1,
         "error reading file 'o.gpx'\n", &plain, kept},
        // Only an empty file or an XML document is replaced.
        {"cp NVPIPE.DAT o.gpx; echo >>o.gpx; cp o.gpx o.orig", clear, "", "", "", 1, not_gpx,
         &plain, "cmp -s o.gpx o.orig"},
        {"echo notes >o.gpx", clear, "", "", "", 1, not_gpx, &plain, "[ \"$(cat o.gpx)\" = notes ]"},
        {": >o.gpx", clear, "", "", "", 0, "", &cleared, renewed},
        // A program that locks with fcntl is waited for.
        {"command -v python3 >/dev/null || exit 77; python3 -c \"import fcntl, time; "
         "f = open('NVPIPE.DAT', 'r+'); fcntl.lockf(f, fcntl.LOCK_EX); open('locked', 'w'); "
         "time.sleep(2)\" & until [ -e locked ]; do sleep 0.01; done",
         "--set-contrast=210 NVPIPE.DAT", "", "", "", 0,
         "waiting for another program to release 'NVPIPE.DAT'...\n", &contrast, ""},
        // The older file's access list and notes are kept; the new file is
        // made for its owner alone, then given the older file's mode or a
        // new file's.
        {older + "; setfacl -m u:nobody:r o.gpx && setfattr -n user.note -v kept o.gpx || exit 77",
         clear, "", "", "", 0, "", &cleared,
         renewed + " && getfacl -cp o.gpx | grep -qx 'user:nobody:r--' && "
                   "[ \"$(getfattr --only-values -n user.note o.gpx)\" = kept ]"},
        {"umask 027", clear, "", "-e trace=openat", "", 0, "", &cleared,
         renewed + " && grep -q 'trekdump-.*O_EXCL.*0600) = ' trace.log && "
                   "[ \"$(stat -c %a o.gpx)\" = 640 ]"},
    };
    // Every signal whose default action ends the process, during the export.
    for (const char* signal : {"PWR", "IO", "STKFLT", "RTMIN", "RTMIN+5", "RTMAX", "ABRT", "BUS",
                               "FPE", "ILL", "SEGV", "SYS", "TRAP"}) {
        int number = run_bash(std::string("kill -l ") + signal).status == 0
                         ? std::stoi(run_bash(std::string("kill -l ") + signal).out)
                         : 0;
        rows.push_back({older + "; ulimit -c 0", clear, "", export_held,
                        std::string("kill -s ") + signal + " $(tool)", 128 + number, "", &plain,
                        kept});
    }
    run_rows(rows);
}

}  // namespace
