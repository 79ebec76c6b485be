// The command line's option table: long names, argument forms and the code
// getopt_long returns for each option.
#pragma once

#include <getopt.h>

#include <string>

#include "datafile/settings_table.h"

// R and D take an optional value that must be attached; l, z, s, t, v and g
// require one.
inline constexpr char short_options[] = "R::CAD::Hl:wbcuz:s:edt:v:g:";

inline constexpr int option_count = 48;
extern const struct option long_options[option_count + 1];  // with terminator

// How messages name an option: "-z" for one with a short form,
// "--set-contrast" for a long-only one.
std::string option_name(int code);
