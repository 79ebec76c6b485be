// Writes the bash completion from its template and the option table: the
// long options, and the words each option's value may take.
// Usage: make_completion TEMPLATE OUTPUT
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "datafile/settings_table.h"

namespace {

// "--name", "--name=" or both, wrapped as the template's other lines are.
std::string long_options()
{
    std::string list, line;
    auto add = [&](const std::string& word) {
        // The first line follows '_trekdump_long_options="'.
        std::size_t room = list.empty() ? 50 : 74;
        if (!line.empty() && line.size() + 1 + word.size() > room) {
            list += line + "\n    ";
            line.clear();
        }
        line.append(line.empty() ? "" : " ").append(word);
    };
    for (const option_row& row : option_table) {
        std::string name = std::string("--") + row.name;
        if (row.argument != takes::value)
            add(name);
        if (row.argument != takes::nothing)
            add(name + "=");
    }
    return list + line;
}

// One case of _trekdump_values per option whose value has words (or is a
// file name): its long form and, where it has one, its letter.
std::string value_cases()
{
    std::string cases;
    for (const option_row& row : option_table) {
        std::string words;
        if (row.kind == form::action && row.argument != takes::nothing)
            words = "@file";
        for (const keyword& k : row.keywords)
            if (k.listed)
                words.append(words.empty() ? "" : " ").append(k.word);
        if (words.empty())
            continue;
        if (!cases.empty())
            cases += '\n';
        cases.append(8, ' ').append("--").append(row.name);
        if (row.code < 0x100)
            cases.append(" | -").push_back(static_cast<char>(row.code));
        cases.append(") echo ").append(words).append(" ;;");
    }
    return cases;
}

void fill(std::string& text, const std::string& mark, const std::string& with)
{
    if (auto at = text.find(mark); at != std::string::npos)
        text.replace(at, mark.size(), with);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    std::ifstream in(argv[1]);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fill(text, "@LONG_OPTIONS@", long_options());
    fill(text, "@VALUE_CASES@", value_cases());
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    return in && out ? 0 : 1;
}
