// The parser's table, made from the option table, and the names of options
// in messages.
#include "cli/options.h"

namespace {

std::array<struct option, option_count + 1> parser_table()
{
    std::array<struct option, option_count + 1> table{};
    for (int i = 0; i < option_count; ++i) {
        const option_row& row = option_table[i];
        int has_arg = row.argument == takes::nothing ? no_argument
                      : row.argument == takes::value ? required_argument
                                                     : optional_argument;
        table[i] = {row.name, has_arg, nullptr, row.code};
    }
    return table;
}

}  // namespace

const std::array<struct option, option_count + 1> long_options = parser_table();

std::string option_name(int code)
{
    if (code > 0 && code < 0x100)
        return std::string("-") + static_cast<char>(code);
    const option_row* row = find_option(code);
    return row ? std::string("--") + row->name : "-?";
}
