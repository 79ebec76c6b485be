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
#include <initializer_list>
#include <string>
#include <utility>

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

// Opens each of descriptors 0, 1 and 2 that is closed on a stand-in of the
// run's own whose use fails (reading gives nothing, writing fails), so no
// file the run opens can take their numbers.
void guard_standard_descriptors();

// What kind of file a stream reaches; unknown for a file on a disk whose
// identity the system could not tell.
enum class file_kind { regular, disk_device, other, unknown };

// What an open file is: its identity, kind and size in bytes.
struct file_info {
    file_id id;
    file_kind kind = file_kind::other;
    std::int64_t size = 0;
};

// device: a name the system keeps for a device (Windows: NUL, COM1, \\.\...),
// which is never opened as an output.
enum class open_status { ok, cannot_open, not_regular, device };

// Opens the data file as a binary stream, for reading or for update, and
// tells what it is. Only a regular disk file is handed out; a directory,
// FIFO or device gives not_regular, without waiting for a writer. The
// reading opening is made read-write where the file allows it (it is never
// written through), because some file systems lock only such openings.
open_status open_data_file(const char* path, bool update, std::FILE*& file, file_info& info);

// What the file an open stream is on is; false when the stream has no file
// behind it that could be the data file (a pipe, a terminal).
bool stream_info(std::FILE* stream, file_info& info);

// What the file that path reaches (following links) is; false when there is
// none or it cannot be told.
bool path_info(const char* path, file_info& info);

// True when info is one of the stand-ins for a standard stream that the run
// found closed.
bool is_closed_standard_stream(const file_info& info);

// Reads size bytes at offset from the file stream is open on, also when the
// stream was opened for writing only; the stream's position is left alone.
// False when they cannot be read.
bool read_bytes_at(std::FILE* stream, std::int64_t offset, void* bytes, std::size_t size);

enum class lock_status { locked, busy, failed };

// Takes an exclusive lock on the open data file between runs; locked also
// where the file system has no locks. With wait false, busy when another
// program holds it; with wait true, waits until it is released.
lock_status lock_data_file(std::FILE* stream, bool wait);

// The GPX output. A regular file, or a name that reaches no file yet, is
// never written in place: the document goes into a new file of the run's
// own in the same folder (a link's target's folder), which replaces the
// final name only at commit_output, at the very end of a successful run.
// Anything else (a FIFO, a terminal, a device) is written directly.
class output_file {
public:
    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    // Removes the new file unless it was committed.
    ~output_file();

    // Hands out the FIFO's or device's stream, which the caller then owns.
    std::FILE* take_direct()
    {
        std::FILE* file = direct;
        direct = nullptr;
        return file;
    }
    // Closes the streams on the older file and on a FIFO or device.
    void close_streams()
    {
        for (std::FILE** stream : {&existing, &direct})
            if (*stream)
                std::fclose(std::exchange(*stream, nullptr));
    }

    file_info info;                 // what the final name reaches now
    bool exists = false;            // it reaches a file (the older GPX)
    bool replace = false;           // written into a new file, renamed at commit
    std::FILE* existing = nullptr;  // the older file opened for reading, when it can be
    std::FILE* direct = nullptr;    // a FIFO or device opened for writing
    std::string final_path;         // the name the new file is renamed to
    std::string temp_path;          // the new file's name, while it exists
    file_info temp_info;            // the new file, once created
};

// Finds what path reaches and opens it: an existing regular file read-only,
// for the checks (where it can be read), anything else that exists for
// writing, as it is (a FIFO waits for its reader). Nothing is created,
// emptied or changed.
open_status open_output(const char* path, output_file& out);

// True when another program holds a lock on the existing output file.
bool output_in_use(const output_file& out);

// The stream to write the document into: the new file, created exclusively
// beside the final name (with the older file's permissions and, where the
// run may set it, its owner), or the opened FIFO or device. From its
// creation on, a signal that ends the run removes the new file.
open_status begin_output(output_file& out, std::FILE*& file);

// Removes the new file, if any; the final name is left as it was.
void discard_output(output_file& out);

enum class commit_status { done, replaced, failed };

// Renames the new file over the final name, provided the final name still
// reaches the file that was checked (or still none: else replaced), then
// syncs the folder when sync is true. A direct output has nothing to commit.
commit_status commit_output(output_file& out, bool sync);

// From now until the process ends, every signal whose default action ends
// the process removes the run's new output file first and then ends the run
// with the signal's own status. Signals ignored at the start stay ignored.
// An over-large file is an ordinary write error, not a signal.
void watch_signals();

// Holds every signal back (hold true) while the configuration block is
// written and synced and the output committed, so that a run leaves either
// the old block or the new one; a held signal takes effect when hold is
// false again.
void hold_signals(bool hold);

// Flushes the stream and waits until its file's bytes are on the device;
// a stream on no regular file (a FIFO, a terminal) is flushed only.
bool sync_stream(std::FILE* stream);

// Asks the system to back the untouched memory of [begin, begin + size) with
// huge pages where it has them.
void prefer_huge_pages(void* begin, std::size_t size);

// Positions in a stream as 64-bit byte offsets, whatever the width of long.
int seek(std::FILE* stream, std::int64_t offset, int whence);
std::int64_t tell(std::FILE* stream);

}  // namespace sys
