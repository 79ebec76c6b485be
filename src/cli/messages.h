// Every message the run prints on standard error, in one place.
#pragma once

namespace msg {

inline constexpr char error_opening[] = "error opening file '%s'\n";
inline constexpr char not_valid[] = "'%s' does not seem to be a valid NVPIPE.DAT\n";
inline constexpr char undefined_option[] = "%s: undefined option -- %s\n";
inline constexpr char invalid_value[] = "error: invalid value '%s' for option '%s'\n";
inline constexpr char stdout_skipped[] =
    "warning: cannot print tracks to stdout when conf or analyze is active, skipping\n";
inline constexpr char output_is_data_file[] =
    "error: output file '%s' is the data file itself, not overwriting it\n";
inline constexpr char stdout_is_data_file[] =
    "error: standard output is the data file itself, not writing to it\n";
inline constexpr char output_is_disk[] =
    "error: output file '%s' is a disk device, not writing to it\n";
inline constexpr char output_not_gpx[] =
    "error: output file '%s' is not a GPX document, not overwriting it\n";
inline constexpr char output_is_device[] =
    "error: output file '%s' is a device, not writing to it\n";
inline constexpr char output_is_stdout[] =
    "error: output file '%s' is also standard output, not writing to it\n";
inline constexpr char replaced[] = "error: '%s' was replaced during the run, not writing to it\n";
inline constexpr char error_reading[] = "error reading file '%s'\n";
inline constexpr char error_writing[] = "error writing file '%s'\n";
inline constexpr char error_writing_stdout[] = "error writing to standard output\n";
inline constexpr char argument_not_unicode[] =
    "error: argument '%s' has a character that is not valid Unicode, not passing it on\n";
inline constexpr char output_in_use[] =
    "error: output file '%s' is in use by another program, not writing to it\n";
inline constexpr char changed[] =
    "error: '%s' was changed by another program during the run, not writing to it\n";
inline constexpr char waiting[] = "waiting for another program to release '%s'...\n";
inline constexpr char out_of_memory[] = "error: not enough memory for the log of '%s'\n";

}  // namespace msg
