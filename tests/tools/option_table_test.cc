// The help text and the manual are written by hand; each must name what the
// option table holds: every option's letter, its keywords and its range.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "datafile/settings_table.h"
#include "report/help.h"
#include "support/memory_stream.h"
#include "tools/shell.h"

namespace {

// The words of an option's valid values line: its keywords, or the two
// bounds of its range ("-14:00-14:00" is "-14:00" and "14:00").
std::vector<std::string> valid_words(const option_row& row)
{
    std::string line = valid_values(row);
    if (line.empty())
        return {};
    line = line.substr(std::string("valid values: ").size());
    line.pop_back();
    if (row.keywords.empty()) {
        std::size_t dash = line.find('-', 1);
        return {line.substr(0, dash), line.substr(dash + 1)};
    }
    std::vector<std::string> words;
    for (std::size_t at = 0; at <= line.size();) {
        std::size_t end = std::min(line.find(", ", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end + 2;
    }
    return words;
}

// The lines of text from the first that begins (after blanks) with start up
// to the next empty line.
std::string paragraph(const std::string& text, const std::string& start)
{
    std::istringstream in(text);
    std::string found;
    for (std::string line; std::getline(in, line);) {
        std::size_t first = line.find_first_not_of(' ');
        if (found.empty() && first != std::string::npos && line.compare(first, start.size(), start) == 0)
            found = line + "\n";
        else if (!found.empty() && first == std::string::npos)
            break;
        else if (!found.empty())
            found += line + "\n";
    }
    return found;
}

TEST(OptionTable, HelpTextAndManualNameWhatTheTableHolds)
{
    std::string help = written_by([](std::FILE* out) { usage(out, "trekdump"); });
    if (!have_program("groff"))
        GTEST_SKIP() << "groff is not installed (Debian package groff-base)";
    std::string manual = run_bash("groff -man -Tascii -P-cbou " + quoted(TREKDUMP_MAN_PAGE)).out;
    for (const option_row& row : option_table) {
        std::string name = std::string("--") + row.name;
        SCOPED_TRACE(name);
        // A help line that lists words ("--name a|b|c") lists the table's,
        // in its order; one with a letter names the table's letter.
        std::string letter = row.code < 0x100 ? std::string("-") + char(row.code) + ", " : "";
        if (std::size_t at = help.find(name + " "); at != std::string::npos) {
            std::string rest = help.substr(at + name.size() + 1);
            rest = rest.substr(0, rest.find('\n'));
            if (rest.find('|') != std::string::npos) {
                std::string listed;
                for (const std::string& word : valid_words(row))
                    listed.append(listed.empty() ? "" : "|").append(word);
                EXPECT_EQ(rest, listed);
            }
            EXPECT_EQ(help.compare(at - letter.size(), letter.size(), letter), 0);
        }
        // The manual's paragraph of the option names each word and bound.
        std::string text = paragraph(manual, letter + name);
        EXPECT_FALSE(text.empty());
        for (const std::string& word : valid_words(row))
            EXPECT_NE(text.find(word), std::string::npos) << word << " in\n" << text;
    }
}

}  // namespace
