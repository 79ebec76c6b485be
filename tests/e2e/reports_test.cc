// End to end: the listing, the help text and the analysis as the tool prints
// them, and what each does to the data file.
#include <unistd.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "support/listing_fixture.h"
#include "support/run_tool.h"

namespace {

class Reports : public ::testing::Test {
protected:
    tool_result run(const std::vector<std::string>& args, const std::string& stdout_path = "")
    {
        return run_tool(args, dir.path(), {}, stdout_path);
    }
    std::string path(const std::string& name) const { return dir.file(name); }

    temp_dir dir;
};

TEST_F(Reports, ConfListsEveryField)
{
    datafile_builder data = every_field_set();
    ASSERT_TRUE(data.write(path("NVPIPE.DAT")));
    tool_result r = run({"--conf", "NVPIPE.DAT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, every_field_set_listing);
    EXPECT_EQ(r.err, "");
    // A ten-character password has no fill, so the rewrite changes nothing.
    EXPECT_EQ(read_bytes(path("NVPIPE.DAT")), data.bytes());
}

TEST_F(Reports, ListingReadsAsGermanInCodePage850)
{
    ASSERT_TRUE(every_field_set().write(path("NVPIPE.DAT")));
    ASSERT_EQ(run({"-C", "NVPIPE.DAT"}, path("listing.txt")).status, 0);
    std::string command = "iconv -f CP850 -t UTF-8 < '" + path("listing.txt") + "' 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string decoded;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        decoded.append(buffer, n);
    if (::pclose(pipe) != 0)
        GTEST_SKIP() << "iconv with code page 850 is not available here";
    for (const char* words : {"Ger\u00e4teeinstellungen\n-------------------\n",
                              "Ma\u00dfeinheiten: imperiales System\n",
                              "Richtungswechsel: 45\u00b0\n",
                              "h\u00f6chste Geschwindigkeit: 130km/h\n",
                              "initiale Signalmindestst\u00e4rke: 32dBHz\n",
                              "2D-H\u00f6he: 1800000cm\n"})
        EXPECT_NE(decoded.find(words), std::string::npos) << words;
}

TEST_F(Reports, ReportThatCannotBeWrittenLeavesTheFileUntouched)
{
    datafile_builder data = unnormalised();
    data.set_byte(layout::log_mode.offset, 0);  // something for the analysis to report
    ASSERT_TRUE(data.write(path("NVPIPE.DAT")));
    for (const char* action : {"--conf", "--analyze", "--help"}) {
        tool_result r = run({action, "NVPIPE.DAT"}, "/dev/full");
        EXPECT_EQ(r.status, 1) << action;
        EXPECT_EQ(r.err, "error writing to standard output\n") << action;
        EXPECT_EQ(read_bytes(path("NVPIPE.DAT")), data.bytes()) << action;
    }
}

TEST_F(Reports, HelpWithDataFileSucceedsAndWritesNothing)
{
    datafile_builder data = unnormalised();
    ASSERT_TRUE(data.write(path("NVPIPE.DAT")));
    tool_result help = run({"--help", "NVPIPE.DAT"});
    tool_result with_settings = run({"--set-contrast=200", "-H", "--conf", "NVPIPE.DAT"});
    tool_result no_file = run({"--conf"});
    for (const tool_result* r : {&help, &with_settings}) {
        EXPECT_EQ(r->status, 0);
        EXPECT_EQ(r->err, "");
        EXPECT_EQ(r->out, no_file.out);
    }
    EXPECT_EQ(read_bytes(path("NVPIPE.DAT")), data.bytes());

    EXPECT_EQ(no_file.status, 1);
    EXPECT_EQ(no_file.err, "");
    EXPECT_EQ(no_file.out.rfind("Usage: trekdump [OPTION]... FILE\n\n", 0), 0u);
    std::size_t lines = 0;
    for (char c : no_file.out)
        lines += c == '\n';
    EXPECT_EQ(lines, 54u);
}

TEST_F(Reports, ConfShowsTheSettingsOfThisRun)
{
    ASSERT_TRUE(unnormalised().write(path("NVPIPE.DAT")));
    tool_result r = run({"--set-contrast=210", "-z", "-3:30", "--log-mode-car", "--conf",
                         "--set-password=neu", "--set-pdop-mask=2.5", "--set-fix-mode=2d",
                         "--disable-sbas", "NVPIPE.DAT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* line :
         {"\nKontrast: 210\n", "\nZeitzone: UTC-03:30\n", "\nLog-Modus: Auto\n",
          "\nPasswort: neu\n", "\nPDOP-Mask: 2.5\n", "\nFix-Modus: nur 2D\n", "\nSBAS: aus\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
}

TEST_F(Reports, AnalysisFollowsTheExport)
{
    datafile_builder data;
    data.set_byte(layout::gps_mode.offset + 1, 0)
        .add_point(0x01, pack_time(2008, 8, 17, 18, 25, 49), 476603000, 91758000, 398)
        .add_point(0x0A, pack_time(2008, 8, 17, 18, 25, 54), 476604000, 91759000, 399)
        .add_end_marker();
    ASSERT_TRUE(data.write(path("NVPIPE.DAT")));
    ASSERT_EQ(run({"--read=alone.gpx", "NVPIPE.DAT"}).status, 0);

    tool_result r = run({"--read=out.gpx", "--analyze", "NVPIPE.DAT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "unknown value '10' at offset 0x00001010\n"
              "time = 2008-08-17T18:25:54Z\n"
              "lat = 47.6604000, lon = 9.1759000, alt = 399\n");
    // The export is written, as it is without the analysis.
    EXPECT_EQ(::access(path("out.gpx").c_str(), F_OK), 0);
    EXPECT_EQ(read_file(path("out.gpx")), read_file(path("alone.gpx")));

    // An export that fails ends the run before the analysis prints anything.
    tool_result refused = run({"--read=NVPIPE.DAT", "--analyze", "NVPIPE.DAT"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
}

}  // namespace
