// getopt_long for the page: the WebAssembly build's C library (musl) parses
// the command line as the native one (glibc) does but words its diagnostics
// differently. This wrapper lets musl parse in silence and prints each
// diagnostic in glibc's words, so the page shows the tool's own messages.
// Linked with --wrap=getopt_long: the tool's calls arrive here.
#include <getopt.h>

#include <cstdio>
#include <cstring>

extern "C" {
int __real_getopt_long(int argc, char* const* argv, const char* short_options,
                       const struct option* long_options, int* index);
extern int __optpos;  // musl: position inside a cluster of short options
}

namespace {

// The long options the word names, by prefix up to an '=' (glibc lists them
// when there are several).
void print_ambiguous(const char* program, const char* word, const struct option* long_options)
{
    std::size_t length = std::strcspn(word + 2, "=");
    std::fprintf(stderr, "%s: option '%s' is ambiguous; possibilities:", program, word);
    for (const struct option* o = long_options; o->name; ++o)
        if (std::strncmp(o->name, word + 2, length) == 0)
            std::fprintf(stderr, " '--%s'", o->name);
    std::fputc('\n', stderr);
}

int count_prefix_matches(const char* word, const struct option* long_options)
{
    std::size_t length = std::strcspn(word + 2, "=");
    int matches = 0;
    for (const struct option* o = long_options; o->name; ++o)
        matches += std::strncmp(o->name, word + 2, length) == 0;
    return matches;
}

const struct option* find_option(int code, const struct option* long_options)
{
    for (const struct option* o = long_options; o->name; ++o)
        if (o->val == code)
            return o;
    return nullptr;
}

// The diagnostic for the '?' just returned: musl left the offending word just
// before optind (or optind inside it, for a short option within a cluster).
void print_diagnostic(char* const* argv, const char* short_options,
                      const struct option* long_options)
{
    const char* program = argv[0];
    const char* word = optind > 0 ? argv[optind - 1] : nullptr;
    bool long_option = __optpos == 0 && word && std::strncmp(word, "--", 2) == 0 && word[2];
    if (!long_option) {
        bool known = optopt > 0 && optopt != ':' && std::strchr(short_options, optopt);
        std::fprintf(stderr,
                     known ? "%s: option requires an argument -- '%c'\n"
                           : "%s: invalid option -- '%c'\n",
                     program, optopt);
        return;
    }
    const struct option* found = optopt ? find_option(optopt, long_options) : nullptr;
    if (!found && count_prefix_matches(word, long_options) > 1)
        print_ambiguous(program, word, long_options);
    else if (!found)
        std::fprintf(stderr, "%s: unrecognized option '%s'\n", program, word);
    else if (std::strchr(word, '='))
        std::fprintf(stderr, "%s: option '--%s' doesn't allow an argument\n", program, found->name);
    else
        std::fprintf(stderr, "%s: option '--%s' requires an argument\n", program, found->name);
}

}  // namespace

extern "C" int __wrap_getopt_long(int argc, char* const* argv, const char* short_options,
                                  const struct option* long_options, int* index)
{
    int print = opterr;
    opterr = 0;
    int code = __real_getopt_long(argc, argv, short_options, long_options, index);
    opterr = print;
    if (code == '?' && print)
        print_diagnostic(argv, short_options, long_options);
    return code;
}
