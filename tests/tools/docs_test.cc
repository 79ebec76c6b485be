// The documentation as a reader meets it: its shell examples run as written,
// the README keeps its quick start and stays short, and every relative link
// resolves.
//
// Every block tagged sh in README.md, CONTRIBUTING.md and docs/*.md runs with
// bash (errexit, pipefail) in a temporary folder that stands for the home
// folder, the blocks of one file one after the other, so that a later one
// sees what an earlier one wrote, with the built tool first on the PATH. The
// logger's drive the examples name, /media/$USER/GPS, is a folder there that
// holds a copy of the sample data file. Commands that cannot run here (a
// build or an install of the tool, Windows, the browser page, a release)
// stand in blocks tagged console, text, bat or js, which are not run.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/shell.h"

namespace {

namespace fs = std::filesystem;

const std::regex drive(R"(/media/\$USER/GPS)");

// The files a reader is sent to: the README, CONTRIBUTING.md and docs/*.md.
std::vector<fs::path> documents()
{
    std::vector<fs::path> files = {source_root() / "README.md", source_root() / "CONTRIBUTING.md"};
    for (const fs::directory_entry& e : fs::directory_iterator(source_root() / "docs"))
        if (e.path().extension() == ".md")
            files.push_back(e.path());
    std::sort(files.begin() + 2, files.end());
    return files;
}

struct code_block {
    int line;  // of the opening fence
    std::string tag;
    std::string text;
};

// The fenced blocks of a Markdown text, also those indented inside a list
// item (their indent taken off).
std::vector<code_block> code_blocks(const std::string& markdown)
{
    std::vector<code_block> blocks;
    std::istringstream in(markdown);
    std::size_t indent = 0;
    bool inside = false;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        std::size_t first = line.find_first_not_of(' ');
        bool fence = first != std::string::npos && line.compare(first, 3, "```") == 0;
        if (fence && !inside) {
            blocks.push_back({number, line.substr(first + 3), ""});
            indent = first;
            inside = true;
        } else if (fence) {
            inside = false;
        } else if (inside) {
            blocks.back().text += line.substr(std::min(indent, line.find_first_not_of(' '))) + "\n";
        }
    }
    return blocks;
}

// A heading's anchor as Markdown renderers make it: lower case, spaces as
// hyphens, other punctuation dropped.
std::string anchor(const std::string& heading)
{
    std::string a;
    for (char c : heading) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')
            a += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (c == ' ')
            a += '-';
    }
    return a;
}

TEST(docs, shell_examples_run_on_the_sample_data_file)
{
    const std::string tool_dir = fs::path(TREKDUMP_BINARY).parent_path().string();
    int readme_examples = 0;
    for (const fs::path& doc : documents()) {
        temp_dir home;
        fs::create_directory(home.file("GPS"));
        fs::copy_file(TREKDUMP_SAMPLE, home.file("GPS/NVPIPE.DAT"));
        for (const code_block& b : code_blocks(read_file(doc))) {
            if (b.tag != "sh")
                continue;
            if (doc.filename() == "README.md")
                ++readme_examples;
            std::string script = "set -eo pipefail\nexport HOME=" + quoted(home.path()) +
                                 " PATH=" + quoted(tool_dir) + ":\"$PATH\"\ncd \"$HOME\"\n" +
                                 std::regex_replace(b.text, drive, home.file("GPS"));
            shell_result r = run_bash(script);
            EXPECT_EQ(r.status, 0) << doc.filename() << ":" << b.line << "\n"
                                   << b.text << r.err;
        }
    }
    // The everyday jobs and the mistakes' right forms: a renamed tag would
    // leave nothing to run.
    EXPECT_GE(readme_examples, 7);
}

TEST(docs, readme_keeps_its_quick_start_and_is_short)
{
    const std::string readme = read_file((source_root() / "README.md").string());
    EXPECT_LE(std::count(readme.begin(), readme.end(), '\n'), 250);
    const std::string lines[] = {
        "\ncmake -B build && cmake --build build --target trekdump sample && build/trekdump "
        "--read=build/sample.gpx --conf build/NVPIPE.DAT | iconv -f CP850 -t UTF-8\n",
        "\ncmake -B build && cmake --build build && ctest --test-dir build --output-on-failure "
        "--no-tests=error\n"};
    std::size_t heading = readme.find("\n## Quick start\n");
    ASSERT_NE(heading, std::string::npos);
    std::size_t first = readme.find(lines[0]);
    std::size_t second = readme.find(lines[1]);
    EXPECT_TRUE(first != std::string::npos && first > heading) << "the first quick start line";
    EXPECT_TRUE(second != std::string::npos && second > first) << "the second quick start line";
}

TEST(docs, relative_links_resolve)
{
    const std::regex link(R"(\]\(([^)\s]+)\))");
    for (const fs::path& doc : documents()) {
        const std::string text = read_file(doc.string());
        std::vector<std::string> anchors;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("#", 0) == 0)
                anchors.push_back(anchor(line.substr(line.find_first_not_of("# "))));
        for (std::sregex_iterator m(text.begin(), text.end(), link), end; m != end; ++m) {
            std::string target = (*m)[1];
            if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0)
                continue;
            SCOPED_TRACE(doc.filename().string() + ": " + target);
            std::size_t hash = target.find('#');
            if (hash == 0)
                EXPECT_NE(std::find(anchors.begin(), anchors.end(), target.substr(1)), anchors.end());
            else
                EXPECT_TRUE(fs::exists(doc.parent_path() / target.substr(0, hash)));
        }
    }
}

}  // namespace
