// End to end: the GPX export to standard output and to files, the warning, the
// refusal of the data file as output, write failures and memory shortage.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "support/gpx_reference.h"
#include "support/gpx_schema.h"
#include "support/run_tool.h"

namespace {

// A point before the first track start, two tracks, two push log points.
const std::vector<track_point> log_points = {
    {0x00, 0, pack_time(2008, 8, 17, 6, 12, 5), 476603413, 91758514, 398},
    {0x03, 0, pack_time(2008, 8, 17, 6, 12, 10), 476604100, 91759020, 399},
    {0x00, 0, pack_time(2008, 8, 17, 6, 12, 15), 476605012, 91760101, 401},
    {0x01, 0, pack_time(2008, 8, 17, 7, 7, 3), -9999, -15, -3},
    {0x02, 0, pack_time(2008, 8, 17, 7, 7, 8), -10000, -1, 0},
};

// The points as records of a data file whose password slot is not in its
// normalised form, so that a rewrite of the configuration block shows.
datafile_builder data_file(const std::vector<track_point>& points)
{
    datafile_builder data = unnormalised();
    for (const track_point& p : points)
        data.add_point(p.flags, p.timestamp, p.latitude, p.longitude, p.altitude);
    return data;
}

class Export : public ::testing::Test {
protected:
    void SetUp() override { write_data(data); }
    void write_data(const datafile_builder& image) { ASSERT_TRUE(image.write(file("NVPIPE.DAT"))); }
    std::string file(const std::string& name) { return dir.file(name); }
    std::vector<unsigned char> data_bytes() { return read_bytes(file("NVPIPE.DAT")); }
    tool_result run(const std::vector<std::string>& args, const std::string& stdout_path = "")
    {
        return run_tool(args, dir.path(), {}, stdout_path);
    }

    temp_dir dir;
    datafile_builder data = data_file(log_points).add_end_marker();
    std::string expected = reference_gpx(log_points);
};

TEST_F(Export, ToStandardOutput)
{
    struct {
        const char* name;
        datafile_builder image;
        std::vector<track_point> points;
    } cases[] = {
        {"a log with an end marker", data_file(log_points).add_end_marker(), log_points},
        {"a log cut short by the file's end",
         data_file(log_points).append(std::vector<unsigned char>(9, 0)), log_points},
        {"an empty log", data_file({}).add_end_marker(), {}},
        {"a file without a log area", data_file({}).resize(1024), {}},
    };
    for (const auto& c : cases) {
        write_data(c.image);
        tool_result r = run({"--read", "NVPIPE.DAT"});
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(r.err, "") << c.name;
        EXPECT_EQ(r.out, reference_gpx(c.points)) << c.name;
        EXPECT_EQ(data_bytes(), rewritten(c.image)) << c.name;
        expect_valid_gpx(r.out);
    }
}

TEST_F(Export, ToANamedFile)
{
    struct {
        std::vector<std::string> args;
        const char* output;
    } cases[] = {
        {{"--read=out.gpx"}, "out.gpx"},
        {{"-Rout.gpx"}, "out.gpx"},
        {{"--read=-"}, "-"},  // a file named -, not standard output
        {{"--read=gone.gpx", "--read=out.gpx"}, "out.gpx"},
        {{"--read=out.gpx", "--read"}, "out.gpx"},
    };
    for (const auto& c : cases) {
        write_data(data);
        // An older, longer GPX document is replaced whole.
        std::ofstream(file(c.output)) << "<?xml version=\"1.0\"?>\n<gpx>" << std::string(200000, ' ') << "</gpx>\n";
        std::vector<std::string> args = c.args;
        args.push_back("NVPIPE.DAT");
        tool_result r = run(args);
        EXPECT_EQ(r.status, 0) << c.output;
        EXPECT_EQ(r.out, "") << c.output;
        EXPECT_EQ(r.err, "") << c.output;
        EXPECT_EQ(read_file(file(c.output)), expected) << c.output;
        EXPECT_EQ(data_bytes(), rewritten(data)) << c.output;
        expect_valid_gpx_file(file(c.output));
        ::unlink(file(c.output).c_str());
    }
    EXPECT_NE(::access(file("gone.gpx").c_str(), F_OK), 0);
}

TEST_F(Export, StandardOutputIsSkippedWithConfOrAnalyze)
{
    for (const auto& action : std::vector<std::vector<std::string>>{
             {"--conf"}, {"-A"}, {"--analyze", "--conf"}}) {
        std::vector<std::string> args = action;
        args.insert(args.begin(), "--read");
        args.push_back("NVPIPE.DAT");
        tool_result r = run(args);
        EXPECT_EQ(r.status, 0) << action[0];
        EXPECT_EQ(r.err,
                  "warning: cannot print tracks to stdout when conf or analyze is active, "
                  "skipping\n")
            << action[0];
        EXPECT_EQ(data_bytes(), rewritten(data)) << action[0];
        // Standard output holds the listing or analysis alone.
        std::vector<std::string> without_read(args.begin() + 1, args.end());
        EXPECT_EQ(r.out, run(without_read).out) << action[0];
    }
}

TEST_F(Export, NamedFileGoesWithTheListing)
{
    tool_result r = run({"--read=out.gpx", "--conf", "NVPIPE.DAT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, run({"--conf", "NVPIPE.DAT"}).out);
    EXPECT_EQ(read_file(file("out.gpx")), expected);
    expect_valid_gpx_file(file("out.gpx"));
}

TEST_F(Export, RefusesTheDataFileAsOutput)
{
    ASSERT_EQ(::symlink("NVPIPE.DAT", file("link.DAT").c_str()), 0);
    ASSERT_EQ(::link(file("NVPIPE.DAT").c_str(), file("hard.DAT").c_str()), 0);
    struct {
        std::string output, data_path;
    } cases[] = {
        {"NVPIPE.DAT", "NVPIPE.DAT"},
        {"./NVPIPE.DAT", "NVPIPE.DAT"},
        {file("NVPIPE.DAT"), "NVPIPE.DAT"},
        {"link.DAT", "NVPIPE.DAT"},
        {"hard.DAT", "NVPIPE.DAT"},
        {"NVPIPE.DAT", "link.DAT"},
    };
    std::vector<std::string> listings;
    for (const auto& c : cases) {
        tool_result r = run({"--conf", "--read=" + c.output, c.data_path});
        EXPECT_EQ(r.status, 1) << c.output;
        EXPECT_EQ(r.err, "error: output file '" + c.output +
                             "' is the data file itself, not overwriting it\n")
            << c.output;
        EXPECT_EQ(data_bytes(), data.bytes()) << c.output;
        // The listing comes before the export, so it has been printed.
        listings.push_back(r.out);
    }
    std::string conf_alone = run({"--conf", "NVPIPE.DAT"}).out;
    for (const std::string& out : listings)
        EXPECT_EQ(out, conf_alone);
}

TEST_F(Export, FailuresLeaveTheDataFileAlone)
{
    datafile_builder long_log = data_file({});
    for (int i = 0; i < 5000; ++i)
        long_log.add_point(i == 0, pack_time(2008, 8, 17, 6, i / 60 % 60, i % 60), 476603000 + i,
                           91758000 + i, 400);
    struct {
        const char* name;
        datafile_builder image;
        std::vector<std::string> args;
        std::string stdout_path, err;
    } cases[] = {
        {"a short GPX to /dev/full", data, {"--read=/dev/full"}, "",
         "error writing file '/dev/full'\n"},
        {"a long GPX to /dev/full", long_log, {"--read=/dev/full"}, "",
         "error writing file '/dev/full'\n"},
        {"standard output on /dev/full", data, {"--read"}, "/dev/full",
         "error writing to standard output\n"},
        {"a folder that does not exist", data, {"--read=missing/out.gpx"}, "",
         "error opening file 'missing/out.gpx'\n"},
        {"a folder as output", data, {"--read=."}, "", "error opening file '.'\n"},
    };
    for (const auto& c : cases) {
        write_data(c.image);
        std::vector<std::string> args = c.args;
        args.push_back("NVPIPE.DAT");
        tool_result r = run(args, c.stdout_path);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(data_bytes(), c.image.bytes()) << c.name;
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define TREKDUMP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TREKDUMP_ASAN 1
#endif
#endif

TEST_F(Export, MemoryForTheLogThatCannotBeHad)
{
#ifdef TREKDUMP_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
    // A sparse gigabyte of zero bytes: some 67 million points of flags 0,
    // read under an address-space limit of 64 MiB.
    datafile_builder no_log = data_file({});
    write_data(no_log);
    ASSERT_EQ(::truncate(file("NVPIPE.DAT").c_str(), 1L << 30), 0);
    std::string command = "cd '" + dir.path() + "' && ulimit -v 65536 && exec " +
                          TREKDUMP_BINARY + " --read=out.gpx NVPIPE.DAT >out 2>err";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(read_file(file("err")), "error: not enough memory for the log of 'NVPIPE.DAT'\n");
    EXPECT_FALSE(std::filesystem::exists(file("out.gpx")));
    // The configuration block was not rewritten.
    std::string head(layout::log_start, '\0');
    std::ifstream(file("NVPIPE.DAT"), std::ios::binary).read(head.data(), layout::log_start);
    EXPECT_EQ(head, std::string(no_log.bytes().begin(), no_log.bytes().end()));
#endif
}

}  // namespace
