// The settings as the page's form shows them: for each option that takes a
// value, its kind, its valid values, its listed keywords and the value the
// configuration block holds, all read from the option table.
#pragma once

#include <string>

#include "datafile/device_conf.h"
#include "datafile/settings_table.h"

// The text that, given to the option, stores the value conf holds: the
// number, tenths with one decimal, the zone as [-]h:mm (minutes rounded
// down), the password's bytes, or the first listed keyword of that value
// ("" when no keyword has it).
std::string current_value(const option_row& row, const device_conf& conf);

// Every setting that takes a value, in table order, as a JSON array of
// {"name", "kind", "valid", "range", "words", "value"}: valid is the "valid
// values" text (null for none), range the bounds of a number ({"min",
// "max"}, else null), words the listed keywords (else null); the password's
// entry also has "bytes", the most its slot keeps. Bytes outside ASCII are
// passed through as they are.
std::string settings_json(const device_conf& conf);
