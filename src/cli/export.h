// The export of the log as a GPX document: the output's checks, the new file
// it is written into, and standard output.
#pragma once

#include <cstdio>

#include "cli/data_file.h"
#include "cli/output.h"

// Flushes standard output and tells whether everything written to it arrived.
bool stdout_ok();

// Writes the log of the update opening as a GPX document to output_path, or
// to standard output when it is nullptr. The log is read before the output
// is opened. A regular file output goes into a new file in out, which
// replaces the final name only at the run's commit. Prints its own
// messages; returns the exit status for a failure, or 0.
int export_tracks(std::FILE* update, const char* output_path, const data_opening& data,
                  const char* data_path, output_file& out);
