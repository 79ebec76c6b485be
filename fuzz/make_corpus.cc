// Writes the seed corpora of the fuzz targets: data file images made by the
// tests' data file builder, and value texts of every form the options take.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "datafile_builder.h"

namespace {

namespace fs = std::filesystem;

// Writes each seed into folder as seed-1, seed-2, ...
bool write_seeds(const fs::path& folder, const std::vector<std::string>& seeds)
{
    std::error_code error;
    fs::create_directories(folder, error);
    int number = 0;
    for (const std::string& seed : seeds) {
        fs::path path = folder / ("seed-" + std::to_string(++number));
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file)
            return false;
        bool ok = std::fwrite(seed.data(), 1, seed.size(), file) == seed.size();
        if (std::fclose(file) != 0 || !ok)
            return false;
    }
    return true;
}

// A short log: two tracks with a push log point, in the summer of 2008.
datafile_builder with_log()
{
    datafile_builder data;
    std::uint32_t t = pack_time(2008, 8, 17, 18, 25, 49);
    data.add_point(0x01, t, 476603000, 91758000, 398)
        .add_point(0x00, t + 5, 476603500, 91759000, 399)
        .add_point(0x02, t + 10, 476604000, 91760000, 401)
        .add_point(0x01, t + 3600, -338567000, 1512150000, -12)
        .add_point(0x03, t + 3605, -338568000, 1512151000, -11);
    return data;
}

std::vector<datafile_builder> data_files()
{
    std::vector<datafile_builder> files;
    files.push_back(datafile_builder());                       // no log at all
    files.push_back(datafile_builder().resize(1023));          // one byte short
    files.push_back(datafile_builder().resize(1024));          // block only
    files.push_back(datafile_builder().add_end_marker());      // empty log
    files.push_back(with_log().add_end_marker());
    files.push_back(with_log().append({0x01, 0x00, 0x71, 0x26, 0x23, 0x22}));  // cut record
    files.push_back(with_log()
                        .add_point(0x09, pack_time(2009, 1, 1, 0, 0, 0), 0, 0, 0)
                        .add_point(0x08, pack_time(2009, 1, 1, 0, 0, 1), 1, 1, 1, 2)
                        .add_point(0xFE, 0xFFFFFFFF, -900000000, -1800000000, -32768)
                        .add_end_marker());
    files.push_back(datafile_builder()
                        .set_password("abcdefghij")
                        .set(layout::fix_altitude_2d, 1800000)
                        .set_byte(layout::sbas.offset + 1, 0x5A)
                        .set_byte(layout::gps_mode.offset + 1, 1)
                        .add_end_marker());
    datafile_builder nul_in_password;
    nul_in_password.set_password("ab").set_byte(layout::password.offset + 2, 0);
    files.push_back(nul_in_password);
    datafile_builder unknown;  // every checked field outside its known set
    unknown.set(layout::log_mode, 0)
        .set(layout::clear_memory, 7)
        .set(layout::shake_mode, 2)
        .set(layout::user_log_mode, 4)
        .set(layout::system_unit, 9)
        .set(layout::fix_mode, 0)
        .set_byte(layout::sbas.offset, 3)
        .set(layout::gps_mode, 0x0102);
    files.push_back(unknown);
    return files;
}

const char* const values[] = {
    "",          "walk",    "B",         "user",   "MIXED",    "metric",   "i",
    "high",      "d",       "lo",        "2d",     "2d3d",     "auto",     "3D",
    "on",        "off",     "E",         "yes",    "n",        "maybe",    "0",
    "170",       "245",     "200abc",    "  +12",  "-1",       "1800000",  "65535",
    "2147483647", "2147483648", "-2147483649", "99999999999999999999",
    "5:30",      "+5:30",   "-3:30",     "530",    "5.30",     "5,30",     "5,75",
    "0:10",      "14:00",   "14:15",     "15:00",  "-5:75",    "0.5",      "5.5",
    "2.3",       "2.55",    "-0.05",     "-0.1",   "1000.0",   "1e3",      "1E-2",
    ".5",        "5.",      "1e999999999", "inf",  "nan",      "0x1p3",    "abcdefghijkl",
};

// Long texts, so that the fuzzer mutates inputs of every length: the readers
// must answer them in time proportional to their length.
std::vector<std::string> long_values()
{
    constexpr std::size_t n = 60000;
    return {
        std::string(n, '9'),
        "0." + std::string(n, '0') + "1",
        std::string(n, ' ') + "5:30",
        "1e" + std::string(n, '9'),
        "1e-" + std::string(n, '9'),
        std::string(n, '0') + "14.99",
    };
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 1;
    }
    std::vector<std::string> images;
    for (const datafile_builder& data : data_files())
        images.emplace_back(data.bytes().begin(), data.bytes().end());
    std::vector<std::string> texts(std::begin(values), std::end(values));
    for (const std::string& text : long_values())
        texts.push_back(text);

    fs::path root = argv[1];
    if (!write_seeds(root / "datafile", images) || !write_seeds(root / "values", texts)) {
        std::fprintf(stderr, "%s: cannot write into '%s'\n", argv[0], root.c_str());
        return 1;
    }
    return 0;
}
