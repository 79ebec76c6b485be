// Readers for the value texts of the setting options. Each takes any
// NUL-terminated text, answers in time proportional to its length and never
// depends on the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "datafile/settings_table.h"

// Compares two texts, folding the case of the ASCII letters A-Z only.
bool equals_ignoring_case(const char* a, const char* b);

// Tries the keywords in order: a text of exactly one byte matches a keyword's
// first letter in either case, a longer one the whole keyword, case ignored.
std::optional<int> read_keyword(const char* text, std::span<const keyword> keywords);

// Like read_keyword, but only whole words match.
std::optional<int> read_word(const char* text, std::span<const keyword> words);

// 0 for "0", "d", "D" or "off"; 1 for "1", "e", "E" or "on" (case ignored).
std::optional<int> read_on_off(const char* text);

// 0 for "0", "n", "N", "d", "D", "no" or "off"; 1 for "1", "y", "Y", "e",
// "E", "yes" or "on" (case ignored).
std::optional<int> read_yes_no(const char* text);

// Reads the text as atoi does: leading blanks, an optional sign, the leading
// digits; the rest is ignored and text without digits is 0. Empty when the
// number lies beyond the signed 32-bit range (it never wraps).
std::optional<std::int32_t> read_integer(const char* text);

// Reads a decimal number (leading blanks, optional sign, digits with an
// optional point and fraction, optional exponent), multiplies it by
// 10^scale_digits exactly and truncates toward zero. The rest of the text is
// ignored; text without a number is 0. Empty when the result lies beyond the
// signed 32-bit range.
std::optional<std::int32_t> read_decimal(const char* text, int scale_digits,
                                         char point = '.');

// A time zone value: whole hours (-14 to 14) or hours and minutes (530,
// 5:30, 5.30, 5,30), in hundredths of an hour with the minutes rounded down
// to a quarter hour.
struct zone_value {
    enum status { ok, bad_minutes, out_of_range } result;
    std::int16_t hundredths;  // for ok only
};
zone_value read_zone(const char* text);
