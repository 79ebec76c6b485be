// End to end: the run sequence's statuses, messages and effects on the data file.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "support/run_tool.h"
#include "tools/shell.h"

namespace {

// An unnormalised data file with one point in its log.
datafile_builder one_point()
{
    return unnormalised()
        .add_point(1, pack_time(2008, 8, 17, 18, 25, 49), 476603000, 91758000, 398)
        .add_end_marker();
}

class RunSequence : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(data.write(dir.file("NVPIPE.DAT"))); }
    std::vector<unsigned char> file_bytes() { return read_bytes(dir.file("NVPIPE.DAT")); }
    tool_result run(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
    {
        return run_tool(args, dir.path(), env);
    }

    temp_dir dir;
    datafile_builder data = one_point();
};

TEST_F(RunSequence, PlainRunRewritesOnlyThePasswordSlotNormalisation)
{
    tool_result r = run({"NVPIPE.DAT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_bytes(), rewritten(data));
}

TEST_F(RunSequence, NoDataFilePrintsHelpAndFails)
{
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--conf"}, {"--help"}}) {
        tool_result r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.rfind("Usage: trekdump [OPTION]... FILE\n", 0), 0u);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(RunSequence, HelpWithDataFileSucceedsWithoutWriting)
{
    tool_result r = run({"--help", "NVPIPE.DAT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: trekdump [OPTION]... FILE\n", 0), 0u);
    EXPECT_EQ(file_bytes(), data.bytes());
}

TEST_F(RunSequence, ParseErrorsEndTheRunBeforeTheFileIsOpened)
{
    for (const auto& bad : {"--bogus", "--conf=yes", "--set", "-x", "--set-contrast"}) {
        tool_result r = run({"NVPIPE.DAT", bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_NE(r.err, "") << bad;
        EXPECT_EQ(file_bytes(), data.bytes()) << bad;
    }
}

TEST_F(RunSequence, DataFileThatCannotBeRead)
{
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    datafile_builder short_file;
    short_file.resize(1023);
    ASSERT_TRUE(short_file.write(dir.file("short.dat")));
    struct {
        std::string path, err;
    } cases[] = {
        {"missing.dat", "error opening file 'missing.dat'\n"},
        {"short.dat", "'short.dat' does not seem to be a valid NVPIPE.DAT\n"},
        {"folder", "'folder' does not seem to be a valid NVPIPE.DAT\n"},
        {"fifo", "'fifo' does not seem to be a valid NVPIPE.DAT\n"},
        {"/dev/zero", "'/dev/zero' does not seem to be a valid NVPIPE.DAT\n"},
    };
    for (const auto& c : cases) {
        tool_result r = run({"--conf", c.path});
        EXPECT_EQ(r.status, 1) << c.path;
        EXPECT_EQ(r.out, "") << c.path;
        EXPECT_EQ(r.err, c.err) << c.path;
    }
    EXPECT_EQ(read_bytes(dir.file("short.dat")), short_file.bytes());
}

TEST_F(RunSequence, BlockOf1024BytesWithoutLogIsValid)
{
    datafile_builder small;
    small.resize(1024);
    ASSERT_TRUE(small.write(dir.file("small.dat")));
    tool_result r = run({"small.dat"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_bytes(dir.file("small.dat")).size(), 1024u);
}

TEST_F(RunSequence, UnwritableDataFileIsRefusedAtTheUpdateOpening)
{
    // File permissions do not bind root: as root the tool runs as nobody.
    std::string as_user;
    if (::geteuid() == 0) {
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        if (run_bash(as_user + "true").status != 0)
            GTEST_SKIP() << "cannot run as an unprivileged user here (setpriv)";
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    }
    ASSERT_EQ(::chmod(dir.file("NVPIPE.DAT").c_str(), 0444), 0);
    shell_result r = run_bash("cd " + quoted(dir.path()) + " && exec " + as_user +
                              TREKDUMP_BINARY + " NVPIPE.DAT");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error opening file 'NVPIPE.DAT'\n");
    EXPECT_EQ(file_bytes(), data.bytes());
}

TEST_F(RunSequence, DataFileMayStandAnywhereAmongTheOptions)
{
    EXPECT_EQ(run({"--conf", "NVPIPE.DAT", "--analyze"}).status, 0);
    EXPECT_EQ(run({"NVPIPE.DAT", "--conf", "ignored-word"}).status, 0);
}

TEST_F(RunSequence, PosixlyCorrectStopsAtTheDataFile)
{
    // The unknown option after the data file is then never parsed.
    tool_result r = run({"NVPIPE.DAT", "--bogus"}, {"POSIXLY_CORRECT=1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_bytes(), rewritten(data));
}

TEST_F(RunSequence, DashIsAnOrdinaryDataFileName)
{
    ASSERT_TRUE(data.write(dir.file("-")));
    tool_result r = run({"-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_bytes(dir.file("-")), rewritten(data));
}

TEST_F(RunSequence, OptionalValueMustBeAttached)
{
    // -R out.gpx takes out.gpx as the data file, which does not exist.
    tool_result r = run({"-R", "out.gpx", "NVPIPE.DAT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error opening file 'out.gpx'\n");
    EXPECT_EQ(file_bytes(), data.bytes());
}

TEST_F(RunSequence, FailedStandardOutputIsAFailureAndNothingIsWritten)
{
    tool_result r = run_tool({"--help", "NVPIPE.DAT"}, dir.path(), {}, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error writing to standard output\n");
    EXPECT_EQ(file_bytes(), data.bytes());
}

}  // namespace
