// The data file's openings as the run holds them, and the checks that keep
// anything the run writes out of the data file.
#pragma once

#include <cstdio>
#include <memory>

#include "sys/sys.h"

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// An opening of the data file and what it is.
struct data_opening {
    file_ptr file;
    sys::file_info info;
    sys::open_status status = sys::open_status::cannot_open;
};

// Opens the data file (a regular file only), for reading or for update.
void open_data_file(const char* path, bool update, data_opening& data);

// True when the regular file stream is on holds exactly the data file's
// bytes: the data file by a route its identity does not show (a second
// mount, a driver that numbers each spelling of a name anew), or a copy of
// it. Bytes that cannot be read (also a file that cannot be opened for
// reading, stream nullptr) count as the same.
bool holds_data_bytes(std::FILE* stream, const sys::file_info& info, const data_opening& data);

// True when what is written to stream would land in the data file, or when
// that cannot be told.
bool writes_to_data_file(std::FILE* stream, const data_opening& data);

// The message for a failed read of the data file: a read error, or else what
// the reader's failure means (a short file, no memory for the log).
const char* read_failure(std::FILE* data, const char* otherwise);
