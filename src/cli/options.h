// The command line's option table: long names, argument forms and the code
// getopt_long returns for each option.
#pragma once

#include <getopt.h>

#include <array>
#include <string>

#include "datafile/settings_table.h"

// R and D take an optional value that must be attached; l, z, s, t, v and g
// require one.
inline constexpr char short_options[] = "R::CAD::Hl:wbcuz:s:edt:v:g:";

// The parser's table, made from the option table, with its terminator.
extern const std::array<struct option, option_count + 1> long_options;

// How messages name an option: "-z" for one with a short form,
// "--set-contrast" for a long-only one.
std::string option_name(int code);
