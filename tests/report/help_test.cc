// The help text: its lines, the program name and the option letters.
#include "report/help.h"

#include <sstream>

#include <gtest/gtest.h>

#include "support/memory_stream.h"

namespace {

std::vector<std::string> help_lines(const char* program)
{
    std::string text = written_by([&](std::FILE* out) { usage(out, program); });
    EXPECT_EQ(text.back(), '\n');
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(Help, FiftyFourLinesWithTheProgramName)
{
    std::vector<std::string> lines = help_lines("trekdump");
    ASSERT_EQ(lines.size(), 54u);
    EXPECT_EQ(lines[0], "Usage: trekdump [OPTION]... FILE");
    EXPECT_EQ(help_lines("/usr/bin/x")[0], "Usage: /usr/bin/x [OPTION]... FILE");
    for (std::size_t empty : {1, 8, 22, 42})
        EXPECT_EQ(lines[empty], "") << empty;
    for (const std::string& line : lines)
        EXPECT_EQ(line.find('%'), std::string::npos) << line;
}

TEST(Help, OptionLettersAndGermanLines)
{
    // Line numbers count from 1, as the help text is read.
    struct {
        std::size_t number;
        std::string line;
    } cases[] = {
        {3, "m\x94gliche Aktionen:"},  // mögliche
        {4, "  -R, --read[=FILE]        Tracks als GPX (nach FILE) ausgeben"},
        {5, "  -C, --conf               aktuelle Konfiguration ausgeben"},
        {6, "  -A, --analyze            nach unbekannten Werten suchen"},
        {7, "  -D, --clear-memory[=y|n] Speicher beim n\x84" "chsten Start leeren"},  // nächsten
        {8, "  -H, --help               diese Hilfe anzeigen"},
        {10, "m\x94gliche Ger\x84te-Einstellungen:"},  // mögliche Geräte-Einstellungen
        {14, "  -z, --set-device-zone <utc offset>"},
        {19, "  -s, --set-shake-mode on|off"},
        {20, "  -e, --enable-shake-mode"},
        {21, "  -d, --disable-shake-mode"},
        {22, "  -t, --set-shake-mode-time <minutes>"},
        {24, "m\x94gliche Log-Einstellungen:"},
        {25, "  -l, --set-log-mode <mode>"},
        {26, "  -w, --log-mode-walk"},
        {27, "  -b, --log-mode-bicycle"},
        {28, "  -c, --log-mode-car"},
        {29, "  -u, --log-mode-user"},
        {30, "  -v, --set-userdefined-log-mode time|distance|heading|speed|mixed"},
        {44, "m\x94gliche GPS-Einstellungen:"},
        {45, "  -g, --set-gps-mode high|middle|default|low|fast|user"},
        {54, "      --set-tdop-mask <value>"},
    };
    std::vector<std::string> lines = help_lines("trekdump");
    ASSERT_EQ(lines.size(), 54u);
    for (const auto& c : cases)
        EXPECT_EQ(lines[c.number - 1], c.line) << c.number;
}

}  // namespace
