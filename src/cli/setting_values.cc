// Readers for the value texts of the setting options. Numbers are read from
// their decimal digits in integer arithmetic, never through binary floating
// point, so 2.3 tenfold is exactly 23.
#include "cli/setting_values.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The blanks atoi skips in the C locale.
bool is_blank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

char fold_case(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_one_byte(const char* text)
{
    return text[0] != '\0' && text[1] == '\0';
}

// Skips leading blanks and an optional sign.
const char* skip_blanks_and_sign(const char* p, bool& negative)
{
    while (is_blank(*p))
        ++p;
    negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    return p;
}

// The largest magnitude a signed 32-bit number can have with this sign.
constexpr std::int64_t int32_limit(bool negative)
{
    return negative ? 2147483648LL : 2147483647LL;
}

std::optional<std::int32_t> with_sign(std::int64_t magnitude, bool negative)
{
    if (magnitude > int32_limit(negative))
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// Any exponent beyond this moves every digit out of the 32-bit range or
// below the units, so larger ones are held at it.
constexpr std::int64_t exponent_cap = 1'000'000'000'000LL;

// Reads an exponent ("e" or "E", optional sign, digits) at p; 0 when there is
// none, as an "e" without digits is not part of the number.
std::int64_t read_exponent(const char* p)
{
    if (*p != 'e' && *p != 'E')
        return 0;
    ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    std::int64_t exponent = 0;
    for (; is_digit(*p) && exponent < exponent_cap; ++p)
        exponent = exponent * 10 + (*p - '0');
    return negative ? -exponent : exponent;
}

// The digits of a decimal number read in order across its point, with
// zeros after the last one.
class digit_cursor {
public:
    digit_cursor(const char* at, const char* int_end, const char* frac_begin, const char* frac_end)
        : at_(at), int_end_(int_end), frac_begin_(frac_begin), frac_end_(frac_end)
    {
    }
    int next()
    {
        if (at_ == int_end_)
            at_ = frac_begin_;
        return at_ == frac_end_ ? 0 : *at_++ - '0';
    }

private:
    const char* at_;
    const char* int_end_;
    const char* frac_begin_;
    const char* frac_end_;
};

struct answer {
    const char* letters;  // the one-byte forms
    const char* words[2];
    int value;
};

constexpr answer on_off_answers[] = {
    {"0dD", {"off", nullptr}, 0},
    {"1eE", {"on", nullptr}, 1},
};

constexpr answer yes_no_answers[] = {
    {"0nNdD", {"no", "off"}, 0},
    {"1yYeE", {"yes", "on"}, 1},
};

std::optional<int> read_answer(const char* text, std::span<const answer> answers)
{
    for (const answer& a : answers) {
        if (is_one_byte(text) && std::strchr(a.letters, text[0]))
            return a.value;
        for (const char* word : a.words)
            if (word && equals_ignoring_case(text, word))
                return a.value;
    }
    return std::nullopt;
}

}  // namespace

bool equals_ignoring_case(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (fold_case(*a) != fold_case(*b))
            return false;
    return *a == *b;
}

std::optional<int> read_keyword(const char* text, std::span<const keyword> keywords)
{
    for (const keyword& k : keywords)
        if ((is_one_byte(text) && fold_case(text[0]) == fold_case(k.word[0])) ||
            equals_ignoring_case(text, k.word))
            return k.value;
    return std::nullopt;
}

std::optional<int> read_word(const char* text, std::span<const keyword> words)
{
    for (const keyword& w : words)
        if (equals_ignoring_case(text, w.word))
            return w.value;
    return std::nullopt;
}

std::optional<int> read_on_off(const char* text)
{
    return read_answer(text, on_off_answers);
}

std::optional<int> read_yes_no(const char* text)
{
    return read_answer(text, yes_no_answers);
}

std::optional<std::int32_t> read_integer(const char* text)
{
    bool negative = false;
    const char* p = skip_blanks_and_sign(text, negative);
    std::int64_t magnitude = 0;
    for (; is_digit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > int32_limit(true))
            return std::nullopt;
    }
    return with_sign(magnitude, negative);
}

std::optional<std::int32_t> read_decimal(const char* text, int scale_digits, char point)
{
    bool negative = false;
    const char* p = skip_blanks_and_sign(text, negative);
    const char* int_begin = p;
    while (is_digit(*p))
        ++p;
    const char* int_end = p;
    const char* frac_begin = p;
    const char* frac_end = p;
    if (*p == point) {
        frac_begin = ++p;
        while (is_digit(*p))
            ++p;
        frac_end = p;
    }
    if (int_begin == int_end && frac_begin == frac_end)
        return 0;  // no digits: no number

    // Find the first significant digit and the place of the point after it:
    // the result is made of the first `whole` significant digits.
    const char* first = int_begin;
    while (first != int_end && *first == '0')
        ++first;
    std::int64_t whole = int_end - first;
    if (first == int_end) {
        first = frac_begin;
        while (first != frac_end && *first == '0')
            ++first;
        if (first == frac_end)
            return 0;  // all digits zero
        whole = -(first - frac_begin);
    }
    whole += read_exponent(p) + scale_digits;
    if (whole <= 0)
        return 0;  // below one unit: truncated to zero
    if (whole > 10)
        return std::nullopt;  // at least 10^10

    digit_cursor digits(first, int_end, frac_begin, frac_end);
    std::int64_t magnitude = 0;
    for (std::int64_t i = 0; i < whole; ++i)
        magnitude = magnitude * 10 + digits.next();
    return with_sign(magnitude, negative);
}

zone_value read_zone(const char* text)
{
    std::optional<std::int32_t> v;
    if (std::strchr(text, '.')) {
        v = read_decimal(text, 2, '.');
    } else if (std::strchr(text, ',')) {
        v = read_decimal(text, 2, ',');
    } else {
        // Hours and minutes with a colon read as one number: 5:30 is 530.
        std::string closed(text);
        if (std::size_t colon = closed.find(':'); colon != std::string::npos)
            closed.erase(colon, 1);
        v = read_integer(closed.c_str());
    }
    if (!v || *v < -1400 || *v > 1400)
        return {zone_value::out_of_range, 0};
    if (*v >= -14 && *v <= 14)
        return {zone_value::ok, static_cast<std::int16_t>(*v * 100)};
    // Hours and minutes (hhmm, with the sign of the whole); the minutes are
    // rounded down to a quarter hour, 25 hundredths each.
    int minutes = *v % 100;
    if (std::abs(minutes) > 59)
        return {zone_value::bad_minutes, 0};
    return {zone_value::ok, static_cast<std::int16_t>(*v / 100 * 100 + minutes / 15 * 25)};
}
