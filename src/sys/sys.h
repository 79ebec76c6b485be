// The system calls that differ between POSIX and Windows, behind one small
// interface: the command line's words, the standard descriptors, the data
// file's opening and lock, the identity of files, the GPX output's opening
// and cleanup, signals, syncing, huge pages and 64-bit positions. Paths are
// UTF-8 on every system.
// sys_posix.cc and sys_windows.cc implement it; CMake builds one of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace sys {

// What identifies a file on its system, whatever path or link reaches it:
// device and inode, or volume serial number and file index.
struct file_id {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    // A volume of 0 is one the system could not tell (Wine for a redirected
    // standard handle); the index alone decides then.
    bool operator==(const file_id& other) const
    {
        return index == other.index &&
               (volume == other.volume || volume == 0 || other.volume == 0);
    }
};

// Makes argv the command line's words in UTF-8, the form every path and value
// of the run takes. Where the system hands them out in UTF-16 (Windows), they
// are read anew from there; a word with a character that UTF-8 cannot carry
// (an unpaired surrogate) gives false, with that word in refused, U+FFFD in
// the character's place. The words live until the process ends.
bool utf8_arguments(int& argc, char**& argv, std::string& refused);

// Opens each of descriptors 0, 1 and 2 that is closed on the null device, in
// the mode that makes its use fail (0 for writing, 1 and 2 for reading), so no
// file the run opens can take their numbers.
void guard_standard_descriptors();

// What kind of file a stream reaches.
enum class file_kind { regular, disk_device, other };

// What an open file is: its identity, kind and size in bytes.
struct file_info {
    file_id id;
    file_kind kind = file_kind::other;
    std::int64_t size = 0;
};

enum class open_status { ok, cannot_open, not_regular };

// Opens the data file as a binary stream, for reading or for update, and
// tells what it is. Only a regular disk file is handed out; a directory,
// FIFO or device gives not_regular, without waiting for a writer.
open_status open_data_file(const char* path, bool update, std::FILE*& file, file_info& info);

// What the file an open stream is on is; false when the stream has no file
// behind it that could be the data file (a pipe, a terminal).
bool stream_info(std::FILE* stream, file_info& info);

// Reads size bytes at offset from the file stream is open on, also when the
// stream was opened for writing only; the stream's position is left alone.
// False when they cannot be read.
bool read_bytes_at(std::FILE* stream, std::int64_t offset, void* bytes, std::size_t size);

// Takes an exclusive lock on the open data file between runs, waiting while
// another run holds it. True also where the file system has no locks.
bool lock_data_file(std::FILE* stream);

// The GPX output file while it is written: a second handle on it is kept, so
// that it can be emptied and removed even from a signal handler.
class output_file {
public:
    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file();

    file_info info;
    bool created = false;  // the file did not exist before this run
    const char* path = nullptr;
    std::intptr_t keeper = -1;  // the second handle
};

// Opens path for writing as a text stream without emptying it; a missing
// file is created. Nothing of an existing file has changed yet.
open_status open_output(const char* path, std::FILE*& file, output_file& out);

// Empties the opened output file before the document is written into it.
bool truncate_output(const output_file& out);

// Leaves no partial document behind: the output file is emptied, and removed
// when this run created it and the path still names it (a link, a device and
// a FIFO are never removed).
void discard_output(const output_file& out);

// While out is set, an interrupt (SIGINT, SIGTERM, SIGHUP, SIGPIPE; Ctrl+C on
// Windows) discards the output and ends the run with the signal's own status.
// nullptr restores the signals as they were.
void discard_on_interrupt(const output_file* out);

// Holds interrupts back while the configuration block is written and
// synced, so that a run leaves either the old block or the new one; a held
// interrupt takes effect when hold is false again.
void hold_interrupts(bool hold);

// An over-large file is an ordinary write error, not a signal that ends the run.
void ignore_file_size_limit();

// Flushes the stream and waits until its file's bytes are on the device.
bool sync_stream(std::FILE* stream);

// Asks the system to back the untouched memory of [begin, begin + size) with
// huge pages where it has them.
void prefer_huge_pages(void* begin, std::size_t size);

// Positions in a stream as 64-bit byte offsets, whatever the width of long.
int seek(std::FILE* stream, std::int64_t offset, int whence);
std::int64_t tell(std::FILE* stream);

}  // namespace sys
