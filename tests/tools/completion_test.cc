// The bash completion, driven as bash drives it: COMP_WORDS and COMP_CWORD
// set, the completion function called, COMPREPLY read back.
#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/options.h"
#include "tools/shell.h"

namespace {

struct completion {
    std::vector<std::string> replies;  // sorted
    std::string options;               // what the function passed to compopt
    std::string registered;            // complete -p for the tool
};

// Completes the last of words (the tool's name goes first) in a folder
// holding NVPIPE.DAT, notes.txt and a folder tracks. breaks_at_equals
// chooses whether bash has split --name=value at the "=" (its default).
completion complete_words(const std::vector<std::string>& words, bool breaks_at_equals = true)
{
    temp_dir dir;
    std::string script = "cd " + quoted(dir.path()) +
                         " && touch NVPIPE.DAT notes.txt && mkdir tracks || exit 1\n"
                         "compopt() { printf '%s\\n' \"$*\" >&2; }\n"
                         "source " +
                         quoted(TREKDUMP_COMPLETION) +
                         "\ncomplete -p trekdump >&2\n";
    if (!breaks_at_equals)
        script += "COMP_WORDBREAKS=${COMP_WORDBREAKS//=}\n";
    script += "COMP_WORDS=(trekdump";
    for (const std::string& w : words) {
        script += ' ';
        script += quoted(w);
    }
    script += ")\nCOMP_CWORD=" + std::to_string(words.size()) +
              "\n_trekdump\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";

    shell_result r = run_bash(script);
    EXPECT_EQ(r.status, 0) << r.err;
    completion c;
    std::istringstream out(r.out);
    for (std::string line; std::getline(out, line);)
        if (!line.empty())
            c.replies.push_back(line);
    std::sort(c.replies.begin(), c.replies.end());
    std::istringstream err(r.err);
    std::getline(err, c.registered);
    for (std::string line; std::getline(err, line);)
        c.options += line + "\n";
    return c;
}

using replies = std::vector<std::string>;

struct completion_case {
    std::vector<std::string> words;
    replies expected;  // sorted
};

void PrintTo(const completion_case& c, std::ostream* out)
{
    for (const std::string& w : c.words)
        *out << "'" << w << "' ";
}

class completes : public testing::TestWithParam<completion_case> {};

TEST_P(completes, as_expected)
{
    EXPECT_EQ(complete_words(GetParam().words).replies, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    values, completes,
    testing::Values(
        // --name=value arrives split at "="; only the value is replaced.
        completion_case{{"--set-gps-mode", "=", ""},
                        {"default", "fast", "high", "low", "middle", "user"}},
        completion_case{{"--set-gps-mode", "=", "l"}, {"low"}},
        completion_case{{"--set-g", "=", "f"}, {"fast"}},  // a unique abbreviation
        completion_case{{"--set-s", "=", ""}, {}},         // an ambiguous one
        completion_case{{"--set-fix-mode", "=", ""}, {"2d", "2d3d", "3d"}},
        completion_case{{"--set-fix-mode", "=", "2d"}, {"2d", "2d3d"}},
        completion_case{{"--set-shake-mode", "=", ""}, {"off", "on"}},
        completion_case{{"--set-sbas", "=", "o"}, {"off", "on"}},
        completion_case{{"--clear-memory", "=", ""}, {"no", "yes"}},
        completion_case{{"--set-log-mode", "=", "b"}, {"bicycle"}},
        completion_case{{"--set-userdefined-log-mode", "=", "d"}, {"distance"}},
        completion_case{{"--set-system-unit", "=", ""}, {"imperial", "metric"}},
        // A required value may be the next word; numbers get no proposals.
        completion_case{{"--set-shake-mode", ""}, {"off", "on"}},
        completion_case{{"-g", "h"}, {"high"}},
        completion_case{{"-v", "s"}, {"speed"}},
        completion_case{{"--set-contrast", ""}, {}},
        completion_case{{"-z", ""}, {}},
        completion_case{{"--set-contrast", "=", ""}, {}},
        // Values attached to a short option.
        completion_case{{"-gf"}, {"-gfast"}},
        completion_case{{"-Dy"}, {"-Dyes"}}));

INSTANTIATE_TEST_SUITE_P(
    files, completes,
    testing::Values(completion_case{{""}, {"NVPIPE.DAT", "notes.txt", "tracks"}},
                    completion_case{{"N"}, {"NVPIPE.DAT"}},
                    completion_case{{"--read", "=", "t"}, {"tracks"}},
                    // An optional value must be attached: after --read
                    // comes the data file.
                    completion_case{{"--read", "N"}, {"NVPIPE.DAT"}},
                    completion_case{{"-Rn"}, {"-Rnotes.txt"}},
                    completion_case{{"--", "--c"}, {}}));

INSTANTIATE_TEST_SUITE_P(
    options, completes,
    testing::Values(completion_case{{"--set-gps"}, {"--set-gps-mode="}},
                    completion_case{{"--re"}, {"--read", "--read="}},
                    completion_case{{"--set-shake-mode"},
                                    {"--set-shake-mode-time=", "--set-shake-mode="}},
                    completion_case{{"NVPIPE.DAT", "--co"}, {"--conf"}}));

TEST(completion, is_registered_for_the_tool)
{
    EXPECT_EQ(complete_words({""}).registered, "complete -F _trekdump trekdump");
}

TEST(completion, offers_every_long_option_with_equals_where_a_value_follows)
{
    std::set<std::string> expected;
    for (int i = 0; i < option_count; ++i) {
        std::string name = std::string("--") + long_options[i].name;
        if (long_options[i].has_arg != required_argument)
            expected.insert(name);
        if (long_options[i].has_arg != no_argument)
            expected.insert(name + "=");
    }
    replies got = complete_words({"--"}).replies;
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), expected);
    EXPECT_EQ(got.size(), expected.size());
}

TEST(completion, leaves_no_space_after_a_lone_option_that_takes_a_value)
{
    EXPECT_EQ(complete_words({"--set-gps"}).options, "-o nospace\n");
    EXPECT_EQ(complete_words({"--con"}).options, "");
}

TEST(completion, keeps_the_option_where_equals_does_not_break_words)
{
    EXPECT_EQ(complete_words({"--set-gps-mode=de"}, false).replies, replies{"--set-gps-mode=default"});
    EXPECT_EQ(complete_words({"--read=N"}, false).replies, replies{"--read=NVPIPE.DAT"});
}

}  // namespace
