// Differential test: the Linux build and trekdump.exe under Wine on the same
// data files and command lines must give the same status, the same data file
// bytes and the same texts, the Windows texts with CRLF line ends. Skipped
// unless TREKDUMP_WINDOWS_EXE names the exe.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "datafile_builder.h"
#include "support/listing_fixture.h"
#include "tools/shell.h"

namespace {

// A log with a point before the first track start, push log points and a
// password slot that a rewrite of the block normalises.
datafile_builder with_log()
{
    datafile_builder data = unnormalised();
    data.add_point(0x00, pack_time(2008, 8, 17, 6, 12, 5), 476603413, 91758514, 398)
        .add_point(0x03, pack_time(2008, 8, 17, 6, 12, 10), 476604100, 91759020, 399)
        .add_point(0x01, pack_time(2008, 8, 17, 7, 7, 3), -9999, -15, -3)
        .add_point(0x02, pack_time(2008, 8, 17, 7, 7, 8), -10000, -1, 0);
    return data;
}

// Values for the analysis to report, in the block and in the log.
datafile_builder with_unknown_values()
{
    datafile_builder data = with_log();
    data.set_byte(layout::gps_mode.offset + 1, 1).set_byte(layout::log_mode.offset, 9);
    data.add_point(0x0A, pack_time(2008, 8, 17, 18, 25, 54), 476604000, 91759000, 399, 7);
    return data.add_end_marker();
}

struct diff_case {
    const char* name;
    datafile_builder image;  // written as NVPIPE.DAT beside an empty folder "folder"
    std::vector<std::string> args;
    std::string redirect = "";  // shell redirections added to the command
    // The Windows name of a device that stands as /dev/zero in args.
    std::string device = "";
    // Further files, folders made as needed: the image where the name ends
    // in NVPIPE.DAT, else an older GPX document (one line, no line end).
    std::vector<std::string> files = {};
    std::string setup = "";  // shell commands run in the folder first
};

// The end-to-end cases that both systems can stage. Closed standard
// descriptors are left out: Wine puts handles of its own on them.
const diff_case cases[] = {
    {"export to stdout", with_log().add_end_marker(), {"--read", "NVPIPE.DAT"}},
    {"export to a file", with_log().add_end_marker(), {"--read=out.gpx", "NVPIPE.DAT"}},
    {"log cut short", with_log().append({1, 2, 3}), {"-Rout.gpx", "NVPIPE.DAT"}},
    {"no log area", datafile_builder().resize(1024), {"--read", "NVPIPE.DAT"}},
    {"a file named -", with_log(), {"--read=-", "NVPIPE.DAT"}},
    {"export skipped", with_log(), {"--read", "--conf", "--analyze", "NVPIPE.DAT"}},
    {"export with listing", with_log(), {"--read=out.gpx", "--conf", "NVPIPE.DAT"}},
    {"output is the data file", with_log(), {"--conf", "--read=NVPIPE.DAT", "NVPIPE.DAT"}},
    {"output reaches the data file", with_log(), {"--read=folder/../NVPIPE.DAT", "NVPIPE.DAT"}},
    {"output folder missing", with_log(), {"--read=missing/out.gpx", "NVPIPE.DAT"}},
    {"output is a folder", with_log(), {"--read=folder", "NVPIPE.DAT"}},
    {"output device full", with_log(), {"--read=/dev/full", "NVPIPE.DAT"}},
    {"stdout is the data file", with_log(), {"--read", "NVPIPE.DAT"}, "1<>NVPIPE.DAT"},
    {"stdout appends to it", with_log(), {"--conf", "NVPIPE.DAT"}, ">>NVPIPE.DAT"},
    {"stderr appends to it", with_log(), {"-R", "-C", "NVPIPE.DAT"}, "2>>NVPIPE.DAT"},
    {"stdout full", with_log(), {"--conf", "NVPIPE.DAT"}, ">/dev/full"},
    {"an older output emptied first", with_log(), {"--read=out.gpx", "NVPIPE.DAT"}, "", "",
     {"out.gpx"}},
    {"output holds the data file's bytes", with_log(), {"--read=copy/NVPIPE.DAT", "NVPIPE.DAT"},
     "", "", {"copy/NVPIPE.DAT"}},
    {"stdout appends to a copy", with_log(), {"--conf", "NVPIPE.DAT"}, ">>copy/NVPIPE.DAT", "",
     {"copy/NVPIPE.DAT"}},
    {"output is also stdout", with_log(), {"--read=out.gpx", "-C", "NVPIPE.DAT"}, ">out.gpx"},
    {"listing", every_field_set(), {"-C", "NVPIPE.DAT"}},
    {"listing of this run's settings", with_log(),
     {"--set-contrast=210", "-z", "-3:30", "--log-mode-car", "--conf", "--set-password=neu",
      "--set-pdop-mask=2.5", "--set-fix-mode=2d", "--disable-sbas", "NVPIPE.DAT"}},
    {"analysis after export", with_unknown_values(), {"--read=out.gpx", "-A", "NVPIPE.DAT"}},
    {"help", with_log(), {"--help", "NVPIPE.DAT"}},
    {"usage without a data file", with_log(), {"--conf"}},
    {"settings in order", with_log(),
     {"-w", "-b", "--set-device-zone", "-5", "-Dn", "--clear-memory", "-e", "-s", "off",
      "--set-password=abcdefghijkl", "--set-2d-fix-altitude=1800000", "-gfast", "NVPIPE.DAT"}},
    {"rejected number", with_log(), {"--set-contrast=169", "NVPIPE.DAT"}},
    {"number beyond 32 bits", with_log(), {"--set-2d-fix-altitude=4294967296", "NVPIPE.DAT"}},
    {"rejected zone", with_log(), {"-z", "5:75", "NVPIPE.DAT"}},
    {"rejected decimal", with_log(), {"--set-pdop-mask=-0.1", "NVPIPE.DAT"}},
    {"plain run", with_log(), {"NVPIPE.DAT", "--conf", "ignored-word"}},
    {"unknown option", with_log(), {"NVPIPE.DAT", "--bogus"}},
    {"value where none is taken", with_log(), {"--conf=yes", "NVPIPE.DAT"}},
    {"value missing", with_log(), {"NVPIPE.DAT", "--set-contrast"}},
    {"optional value not attached", with_log(), {"-R", "out.gpx", "NVPIPE.DAT"}},
    {"missing data file", with_log(), {"--conf", "missing.dat"}},
    {"folder as data file", with_log(), {"--conf", "folder"}},
    {"short data file", datafile_builder().resize(1023), {"--conf", "NVPIPE.DAT"}},
    {"block without log", datafile_builder().resize(1024), {"NVPIPE.DAT"}},
    {"null device as data file", with_log(), {"--conf", "/dev/zero"}, "", "NUL"},
    {"console as data file", with_log(), {"--conf", "/dev/zero"}, "", "CON"},
    {"device name with an extension as data file", with_log(), {"-C", "/dev/zero"}, "", "nul .DAT"},
    {"null device by the object namespace as data file", with_log(), {"-C", "/dev/zero"}, "",
     R"(\\?\GLOBALROOT\Device\Null)"},
    {"both streams into one file", with_log(), {"-A", "--read", "NVPIPE.DAT"},
     ">o.txt 2>&1"},
    {"link to a missing file", with_log(), {"--read=link.gpx", "NVPIPE.DAT"}, "", "", {},
     "ln -s folder/new.gpx link.gpx &&"},
    {"link to an older file", with_log(), {"--read=link.gpx", "NVPIPE.DAT"}, "", "",
     {"folder/old.gpx"}, "ln -s folder/old.gpx link.gpx &&"},
    {"an older output that is no GPX", with_log(), {"--read=notes.txt", "-D", "NVPIPE.DAT"}, "", "",
     {}, "printf notes >notes.txt &&"},
    {"an empty output name", with_log(), {"--read=", "-D", "NVPIPE.DAT"}},
    {"a data file name with a colon", with_log(), {"--conf", "+:99"}},
};

std::string repeated(const std::string& part, int times)
{
    std::string text;
    while (times-- > 0)
        text += part;
    return text;
}

// 30 folders, 300 characters: every path through them is beyond 260.
const std::string deep = [] {
    std::string path;
    for (int i = 10; i < 40; ++i)
        path += "Ordner-" + std::to_string(i) + "/";
    return path;
}();

// Names in other scripts, look-alikes and paths beyond 260 characters.
const diff_case name_cases[] = {
    {"look-alike folder", with_log(), {"--set-contrast=201", "α/NVPIPE.DAT"}, "", "",
     {"α/NVPIPE.DAT", "a/NVPIPE.DAT"}},
    {"look-alike output", with_log(), {"--read=Ωmega.gpx", "NVPIPE.DAT"}, "", "", {"Omega.gpx"}},
    {"Cyrillic folder", with_log(), {"-c", "--read=Данные/Трек.gpx", "Данные/NVPIPE.DAT"}, "", "",
     {"Данные/NVPIPE.DAT"}},
    {"Japanese folder", with_log(), {"--set-contrast=180", "-C", "データ/NVPIPE.DAT"}, "", "",
     {"データ/NVPIPE.DAT"}},
    {"Greek folder", with_log(), {"-A", "--read=Ελληνικά/Ίχνος.gpx", "Ελληνικά/NVPIPE.DAT"}, "",
     "", {"Ελληνικά/NVPIPE.DAT"}},
    {"message names the path as typed", with_log(), {"-C", "Ελληνικά/ΛΕΙΠΕΙ.DAT"}, "", "",
     {"Ελληνικά/NVPIPE.DAT"}},
    {"non-ASCII password", with_log(), {"--set-password=Müß", "--conf", "NVPIPE.DAT"}},
    {"password cut inside a letter", with_log(), {"--set-password=Prüfstraße1", "NVPIPE.DAT"}},
    {"rejected non-ASCII value", with_log(), {"--set-fix-mode=3ᴅ", "NVPIPE.DAT"}},
    {"long output path that is the data file", with_log(),
     {"--read=" + repeated("./", 140) + "NVPIPE.DAT", "NVPIPE.DAT"}},
    {"long output path back up to the data file", with_log(),
     {"--read=" + deep + repeated("../", 30) + "NVPIPE.DAT", "-C", "NVPIPE.DAT"}, "", "",
     {deep + "NVPIPE.DAT"}},
    {"data file 30 folders deep", with_log(),
     {"--set-contrast=201", "--read=" + deep + "Spur.gpx", deep + "NVPIPE.DAT"}, "", "",
     {deep + "NVPIPE.DAT"}},
};

// A data file and a command line drawn from seed: any block values, any
// records, cut anywhere, and options with good and bad values.
diff_case random_case(std::uint32_t seed)
{
    std::mt19937 random(seed);
    auto pick = [&random](std::uint32_t n) {
        return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random);
    };
    datafile_builder data;
    for (int i = pick(8); i > 0; --i)
        data.set_byte(pick(1024), static_cast<unsigned char>(pick(256)));
    for (int i = pick(40); i > 0; --i)
        data.add_point(pick(3) == 0 ? pick(256) : pick(4), random(),
                       static_cast<std::int32_t>(random()), static_cast<std::int32_t>(random()),
                       static_cast<std::int16_t>(random()), pick(8) == 0 ? pick(256) : 0);
    if (pick(2))
        data.add_end_marker();
    if (pick(6) == 0)
        data.resize(pick(static_cast<std::uint32_t>(data.bytes().size()) + 1));

    const std::string options[] = {
        "--conf", "--read", "--read=out.gpx", "-A", "--help", "-w", "--log-mode-car",
        "--set-contrast=" + std::to_string(160 + pick(100)),
        "-z" + std::to_string(static_cast<int>(pick(31)) - 15) + ":" + std::to_string(pick(80)),
        "--set-pdop-mask=" + std::to_string(pick(12000) / 10.0),
        "--set-password=" + std::string(pick(14), 'x'),
        std::string("-D") + "ynm"[pick(3)],
        std::string("--set-fix-mode=") + "23x"[pick(3)] + "d",
        std::string("-g") + "hlqu"[pick(4)],
        "--set-2d-fix-altitude=" + std::to_string(random() * 3ull),
    };
    diff_case c{"random", data, {}, ""};
    for (int i = 1 + pick(4); i > 0; --i)
        c.args.push_back(options[pick(std::size(options))]);
    auto data_file_at = pick(static_cast<std::uint32_t>(c.args.size()) + 1);
    c.args.insert(c.args.begin() + data_file_at, "NVPIPE.DAT");
    return c;
}

std::string replace_all(const std::string& text, const std::string& from, const std::string& to)
{
    std::string result;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size())
        result.append(text, start, at - start).append(to);
    return result.append(text, start);
}

// A text as Windows writes it in text mode.
std::string with_crlf(const std::string& text)
{
    return replace_all(text, "\n", "\r\n");
}

// The program name as the system passes it becomes "trekdump", and the lines
// of the platform's own option parser are set aside (only the status counts).
std::string without_program_name(const std::string& text)
{
    auto is_program = [](const std::string& name) {
        return name.ends_with("trekdump") || name.ends_with("trekdump.exe");
    };
    std::string result;
    for (std::size_t start = 0, end; start < text.size(); start = end) {
        end = std::min(text.find('\n', start), text.size() - 1) + 1;
        std::string line = text.substr(start, end - start);
        std::size_t options = line.find(" [OPTION]");
        std::size_t colon = line.find(": ");
        if (line.starts_with("Usage: ") && is_program(line.substr(7, options - 7)))
            line = "Usage: trekdump" + line.substr(options);
        else if (colon != std::string::npos && is_program(line.substr(0, colon)))
            line = line.find(": undefined option") == colon ? "trekdump" + line.substr(colon) : "";
        result += line;
    }
    return result;
}

struct run_result {
    shell_result streams;
    std::map<std::string, std::string> files;  // every file the run left, by name
};

run_result run_in_fresh_folder(const std::string& program, const diff_case& c,
                               const std::vector<std::string>& args)
{
    temp_dir dir;
    EXPECT_TRUE(c.image.write(dir.file("NVPIPE.DAT")));
    std::filesystem::create_directory(dir.file("folder"));
    for (const std::string& file : c.files) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(file)).parent_path());
        if (file.ends_with("NVPIPE.DAT"))
            EXPECT_TRUE(c.image.write(dir.file(file)));
        else
            std::ofstream(dir.file(file)) << "<?xml version=\"1.0\"?><gpx>an older file</gpx>";
    }
    std::string command = "cd " + quoted(dir.path()) + " && " + c.setup + " exec " + program;
    for (const std::string& arg : args)
        command.append(" ").append(quoted(arg));
    run_result result{run_bash(command.append(" ").append(c.redirect)), {}};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
        if (entry.is_regular_file())
            result.files[entry.path().lexically_relative(dir.path()).string()] =
                read_file(entry.path().string());
    return result;
}

void expect_same(const diff_case& c)
{
    SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.redirect);
    run_result linux = run_in_fresh_folder("-a trekdump " + quoted(TREKDUMP_BINARY), c, c.args);
    std::vector<std::string> windows_args = c.args;
    for (std::string& arg : windows_args)
        if (!c.device.empty() && arg == "/dev/zero")
            arg = c.device;
    // A UTF-8 locale, with which Wine passes non-ASCII words and names on.
    run_result windows = run_in_fresh_folder(
        "env LC_ALL=C.UTF-8 WINEDEBUG=-all wine " + quoted(TREKDUMP_WINDOWS_EXE), c, windows_args);
    if (!c.device.empty())
        windows.streams.err = replace_all(windows.streams.err, "'" + c.device + "'", "'/dev/zero'");

    EXPECT_EQ(windows.streams.status, linux.streams.status) << c.name;
    EXPECT_EQ(without_program_name(windows.streams.out),
              with_crlf(without_program_name(linux.streams.out)))
        << c.name;
    EXPECT_EQ(without_program_name(windows.streams.err),
              with_crlf(without_program_name(linux.streams.err)))
        << c.name;
    ASSERT_EQ(windows.files.size(), linux.files.size()) << c.name;
    for (const auto& [name, bytes] : linux.files)
        EXPECT_TRUE(windows.files[name] ==
                    (name.ends_with("NVPIPE.DAT") ? bytes : with_crlf(bytes)))
            << c.name << ": " << name << " differs";
}

// What Windows alone does with names it keeps for devices as the output:
// the status and standard error, and the folder left as it was (NUL alone
// discards the document).
struct windows_case {
    std::string output;
    int status;
    std::string err;
};

std::string device_refused(const std::string& output)
{
    return "error: output file '" + output + "' is a device, not writing to it\r\n";
}

const windows_case device_outputs[] = {
    {"nul.gpx", 1, device_refused("nul.gpx")},
    {"NUL.gpx", 1, device_refused("NUL.gpx")},
    {R"(folder\nul.gpx)", 1, device_refused(R"(folder\nul.gpx)")},
    {"nul .gpx", 1, device_refused("nul .gpx")},
    {"aux.gpx", 1, device_refused("aux.gpx")},
    {"COM1", 1, device_refused("COM1")},
    {"lpt\u00B9.gpx. ", 1, device_refused("lpt\u00B9.gpx. ")},
    {"CONOUT$", 1, device_refused("CONOUT$")},
    {R"(\\?\NUL)", 1, device_refused(R"(\\?\NUL)")},
    {R"(\\.\pipe\trekdump)", 1, device_refused(R"(\\.\pipe\trekdump)")},
    {"NUL", 0, ""},
    {"nul", 0, ""},
};

// A log long enough that an export takes a while under Wine, with a setting
// for the block to be written.
datafile_builder large_log()
{
    datafile_builder data;
    for (std::int32_t i = 0; i < 500000; ++i)
        data.add_point(i % 2000 == 0 ? 1 : 0, pack_time(2008, 8, 17, 6, 0, 0) + i,
                       476603413 + i, 91758514 - i, 398);
    return data.add_end_marker();
}

// The moments of a Ctrl+C during an export, as bash that returns once the
// moment has come or the run ($pid) has ended; SIZE stands for the size of
// the complete document.
const std::pair<const char*, const char*> interrupt_moments[] = {
    {"the exe loaded", "grep -qi trekdump /proc/$pid/maps"},
    {"the new file made", "compgen -G '.trekdump-*'"},
    {"the new file half written", "(( $(stat -c %s .trekdump-* 2>/dev/null || echo 0) >= SIZE / 2 ))"},
    {"the new file written", "(( $(stat -c %s .trekdump-* 2>/dev/null || echo 0) >= SIZE ))"},
    {"the new file renamed", "(( $(stat -c %s out.gpx 2>/dev/null || echo 0) >= SIZE ))"},
};

class Differential : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::string(TREKDUMP_WINDOWS_EXE).empty() || !have_program("wine"))
            GTEST_SKIP() << "needs wine and -DTREKDUMP_WINDOWS_EXE=path/to/trekdump.exe";
    }
};

TEST_F(Differential, EndToEndCases)
{
    for (const diff_case& c : cases)
        expect_same(c);
}

TEST_F(Differential, NamesAndLongPaths)
{
    for (const diff_case& c : name_cases)
        expect_same(c);
}

TEST_F(Differential, RandomCases)
{
    for (std::uint32_t seed = 1; seed <= 200; ++seed)
        expect_same(random_case(seed));
}

}  // namespace

TEST_F(Differential, DeviceNamesAsOutput)
{
    for (const windows_case& w : device_outputs) {
        diff_case c{"device name", with_log(), {"--read=" + w.output, "NVPIPE.DAT"}};
        run_result windows = run_in_fresh_folder(
            "env LC_ALL=C.UTF-8 WINEDEBUG=-all wine " + quoted(TREKDUMP_WINDOWS_EXE), c, c.args);
        EXPECT_EQ(windows.streams.status, w.status) << w.output;
        EXPECT_EQ(windows.streams.err, w.err) << w.output;
        EXPECT_EQ(windows.files.size(), 1u) << w.output;  // the data file alone
        if (w.status != 0) {
            EXPECT_TRUE(windows.files == run_in_fresh_folder("true", c, {}).files) << w.output;
        }
    }
}

// Ctrl+C (SIGINT to Wine, which runs the console handler on a thread of its
// own while the main thread writes) at each moment of an export that also
// changes a setting: status 0 with the new GPX and the new block (a Ctrl+C
// during the commit lets it finish), or any other status with the older GPX
// (or none) and the old block; never a fragment or a file of the run's own.
TEST_F(Differential, CtrlCAtAnyMoment)
{
    constexpr int control_c_exit = 0xC000013A & 0xFF, sigint = 128 + 2;
    for (bool older : {false, true}) {
        diff_case c{"Ctrl+C", large_log(), {"--read=out.gpx", "--set-contrast=201", "NVPIPE.DAT"}};
        if (older)
            c.files = {"out.gpx"};
        std::map<std::string, std::string> before = run_in_fresh_folder("true", c, {}).files;
        std::map<std::string, std::string> complete =
            run_in_fresh_folder("-a trekdump " + quoted(TREKDUMP_BINARY), c, c.args).files;
        complete["out.gpx"] = with_crlf(complete["out.gpx"]);
        c.setup = "set -m;";  // the run in the background, SIGINT not ignored
        for (const auto& [moment, wait] : interrupt_moments) {
            c.redirect = "& pid=$!; until " +
                         replace_all(wait, "SIZE", std::to_string(complete["out.gpx"].size())) +
                         " || ! kill -0 $pid 2>/dev/null; do :; done; kill -INT $pid; wait $pid";
            run_result windows = run_in_fresh_folder(
                "env WINEDEBUG=-all wine " + quoted(TREKDUMP_WINDOWS_EXE), c, c.args);
            int status = windows.streams.status;
            bool whole = windows.files == complete, untouched = windows.files == before;
            EXPECT_TRUE(status == 0 ? whole
                                    : (status == control_c_exit || status == sigint) && untouched)
                << moment << (older ? ", an older GPX" : "") << ": status " << status
                << (whole ? ", complete" : untouched ? ", untouched" : ", neither");
        }
    }
}

// The older GPX's attributes, as attrib shows them, are the new GPX's; the
// run leaves no file of its own beside it.
TEST_F(Differential, AttributesOfAnOlderGpxKept)
{
    const std::string wine = "env WINEDEBUG=-all wine ";
    const std::string attrib = wine + "cmd /c attrib out.gpx";
    // attrib's letters, without the path that follows them.
    auto letters = [](const std::string& shown) { return shown.substr(0, shown.find(":\\") - 1); };
    for (const char* change : {"-h", "+h", "+s"}) {
        diff_case c{"attributes", with_log(), {}};
        c.files = {"out.gpx"};
        c.setup = wine + "cmd /c attrib " + change + " out.gpx >/dev/null &&";
        run_result before = run_in_fresh_folder("bash -c " + quoted(attrib), c, {});
        std::string run = wine + quoted(TREKDUMP_WINDOWS_EXE) + " --read=out.gpx NVPIPE.DAT";
        run_result after = run_in_fresh_folder("bash -c " + quoted(run + " && " + attrib), c, {});
        EXPECT_EQ(after.streams.status, 0) << change;
        EXPECT_EQ(letters(after.streams.out), letters(before.streams.out)) << change;
        EXPECT_NE(after.files["out.gpx"].find("<trkpt "), std::string::npos) << change;
        EXPECT_EQ(after.files.size(), 2u) << change;  // the data file and the GPX
    }
}
