// The manual page renders without a single warning and names every option of
// the option table, with its short form and the form of its value.
#include <cctype>
#include <string>

#include <gtest/gtest.h>

#include "cli/options.h"
#include "tools/shell.h"

namespace {

// The page as the build writes it, with the version filled in.
std::string man_page()
{
    return TREKDUMP_MAN_PAGE;
}

// The page as plain text, without bold, underline or hyphenation marks.
std::string rendered()
{
    shell_result r = run_bash("groff -man -Tascii -P-cbou " + quoted(man_page()));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// True when text holds word with no further name character after it, so
// --set-shake-mode is not found inside --set-shake-mode-time.
bool contains_word(const std::string& text, const std::string& word)
{
    for (std::size_t at = text.find(word); at != std::string::npos;
         at = text.find(word, at + 1)) {
        char next = at + word.size() < text.size() ? text[at + word.size()] : ' ';
        if (!(std::isalnum(static_cast<unsigned char>(next)) || next == '-'))
            return true;
    }
    return false;
}

class man_page_test : public testing::Test {
protected:
    void SetUp() override
    {
        if (!have_program("groff"))
            GTEST_SKIP() << "groff is not installed (Debian package groff-base)";
    }
};

TEST_F(man_page_test, renders_without_warnings)
{
    shell_result r = run_bash("groff -man -ww -z " + quoted(man_page()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(man_page_test, names_every_option_with_its_short_form_and_value)
{
    std::string text = rendered();
    for (int i = 0; i < option_count; ++i) {
        const option& o = long_options[i];
        std::string name = std::string("--") + o.name;
        SCOPED_TRACE(name);
        EXPECT_TRUE(contains_word(text, name));
        if (o.val < 0x100) {
            EXPECT_NE(text.find(std::string("-") + static_cast<char>(o.val) + ", " + name),
                      std::string::npos);
        }
        if (o.has_arg == required_argument) {
            EXPECT_NE(text.find(name + "="), std::string::npos);
        }
        if (o.has_arg == optional_argument) {
            EXPECT_NE(text.find(name + "[="), std::string::npos);
        }
    }
}

TEST_F(man_page_test, has_the_sections_a_user_looks_for)
{
    std::string text = rendered();
    for (const char* heading : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS",
                                "FILES", "NOTES", "EXAMPLES", "SEE ALSO"}) {
        SCOPED_TRACE(heading);
        EXPECT_NE(text.find(std::string("\n") + heading + "\n"), std::string::npos);
    }
    // FILES names what both installs put on the system, as the README does.
    for (const char* path : {"/usr/local/share/bash-completion/completions/trekdump",
                             "/usr/share/bash-completion/completions/trekdump",
                             "/usr/share/doc/trekdump/copyright"}) {
        SCOPED_TRACE(path);
        EXPECT_NE(text.find(path), std::string::npos);
    }
    EXPECT_NE(text.find("| iconv -f CP850"), std::string::npos);
}

}  // namespace
