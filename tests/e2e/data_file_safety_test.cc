// End to end: nothing the run prints can land in the data file, whatever the
// standard descriptors are; the block is synced before success; a failed
// export leaves no partial GPX file.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/datafile_builder.h"
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

}  // namespace
