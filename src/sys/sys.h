// The system calls that differ between POSIX and Windows, behind one small
// interface: the command line's words, the standard descriptors, the data
// file's opening and lock, the identity of files, the pieces a replaced GPX
// file is made of (create beside, swap, rename, remove, access rules, sync),
// signals, huge pages and 64-bit positions. Paths are UTF-8 on every system.
// The replacement itself is written once, over these pieces (cli/output.h).
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

// Opens each of descriptors 0, 1 and 2 that is closed on a stand-in of the
// run's own whose use fails (reading gives nothing, writing fails), so no
// file the run opens can take their numbers.
void guard_standard_descriptors();

// What kind of file a stream reaches; unknown for a file on a disk whose
// identity the system could not tell.
enum class file_kind { regular, disk_device, other, unknown };

// What an open file is: its identity, kind, size in bytes, the time of its
// last change (in the system's own units) and its number of names (0 once
// it has been deleted).
struct file_info {
    file_id id;
    file_kind kind = file_kind::other;
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::uint64_t links = 1;
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

enum class read_result { whole, short_read, failed };

// Reads size bytes at offset from the file stream is open on, in one read
// where the system gives them so, also when the stream was opened for
// writing only; the stream's position is left alone. short_read where the
// file ends first, failed on a read error.
read_result read_bytes_at(std::FILE* stream, std::int64_t offset, void* bytes, std::size_t size);

// Writes size bytes at offset into the file stream is open on, in one write,
// past the stream's buffer (which holds nothing written); written tells how
// many of them reached the file, also when it returns false.
bool write_bytes_at(std::FILE* stream, std::int64_t offset, const void* bytes, std::size_t size,
                    std::size_t& written);

enum class lock_status { locked, busy, failed };

// Takes an exclusive lock on the open data file between runs, of both kinds
// that other programs take (a whole-file lock and a record lock); locked
// also where the file system has no locks. With wait false, busy when
// another program holds either; with wait true, waits until both are free.
lock_status lock_data_file(std::FILE* stream, bool wait);


// Flushes the stream and waits until its file's bytes are on the device;
// a stream on no regular file (a FIFO, a terminal) is flushed only.
bool sync_stream(std::FILE* stream);

// --- The pieces a replaced output is made of -----------------------------

// What an output's name reaches, as open_output_target found it.
struct output_target {
    bool exists = false;          // it reaches a file (the older GPX, a FIFO...)
    bool regular = false;         // a regular file or none: replaced through a new file
    file_info info;               // what it reaches
    std::FILE* reader = nullptr;  // the older regular file opened for reading, where it can be
    std::FILE* direct = nullptr;  // a FIFO, terminal or device opened for writing
    std::string final_path;       // the name a rename replaces (a link's end)
};

// Finds what path reaches and opens it: an existing regular file read-only,
// for the checks (where it can be read), anything else that exists for
// writing, as it is (a FIFO waits for its reader). Nothing is created,
// emptied or changed. The caller closes the streams.
open_status open_output_target(const char* path, output_target& target);

// True when another program holds the existing output at path (open through
// reader, where it could be read) locked, or open so that it may not be
// replaced.
bool output_in_use(const std::string& path, std::FILE* reader);


// The folder part of a name, and the name of a file beside it in the same
// folder.
std::string folder_of(const std::string& path);
std::string beside(const std::string& path, const std::string& file_name);

// A number of this run's own for the names of its files.
unsigned long run_number();

enum class create_status { created, exists, failed };

// Creates path as a new file that only its owner may read or write (on
// Windows: with its folder's access rules, until copy_access_rules), for
// writing in text mode, failing where the name is taken. While signals are
// held (signals_held), the caller registers it for removal before they are
// let through again.
create_status create_new_file(const std::string& path, std::FILE*& file);

// Gives made, a new file, the owner and the access rules (the extended
// attributes that carry them, and access lists) of the older file at
// older_path (read through older, where it could be opened); false when an
// access list could not be carried over.
bool copy_access_rules(const std::string& older_path, std::FILE* older, std::FILE* made);

// Gives made the permission bits of the older file, or those a new file of
// this process gets where there is none.
bool copy_mode(const std::string& older_path, bool older_exists, std::FILE* made);

enum class place_status { done, taken, unsupported, failed };

// Puts the file new_path under final_path in one step, keeping the older
// file that was there: under new_path, where the two names are swapped
// (Linux), or under backup_path, a free name of the caller's (Windows);
// older_now tells which. unsupported where the file system cannot do it in
// one step (the caller renames in two steps then).
place_status replace_keeping(const std::string& new_path, const std::string& final_path,
                             const std::string& backup_path, std::string& older_now);

// Renames from to to; with replace false, taken when to exists (in one step
// where the file system can).
place_status rename_file(const std::string& from, const std::string& to, bool replace);

// Removes the name path.
bool remove_file(const std::string& path);

// Waits until the folder's entries are on the device.
bool sync_folder(const std::string& path);

// --- Signals --------------------------------------------------------------

// From now until the process ends, every signal whose default action ends
// the process (and, on Windows, every console event that ends it) removes
// the files registered with remove_on_signal first and then ends the run
// with the signal's own status. Signals ignored at the start stay ignored.
// An over-large file is an ordinary write error, not a signal.
void watch_signals();

// Registers path (held by the caller until it calls keep_on_signal) as a
// file a signal removes; at most a few at once. Call both while signals are
// held.
void remove_on_signal(const std::string& path);
void keep_on_signal(const std::string& path);

// Holds every signal back for the life of the object: a signal that comes
// meanwhile takes effect when the last guard ends, unless finish_run was
// called first.
class signals_held {
public:
    signals_held();
    ~signals_held();
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;
};

// True when a signal that ends the run came while signals were held.
bool ending_signal_pending();

// The run is complete: from now on the signals it caught are ignored, also
// one that came while they were held.
void finish_run();

// Asks the system to back the untouched memory of [begin, begin + size) with
// huge pages where it has them.
void prefer_huge_pages(void* begin, std::size_t size);

// Positions in a stream as 64-bit byte offsets, whatever the width of long.
int seek(std::FILE* stream, std::int64_t offset, int whence);
std::int64_t tell(std::FILE* stream);

}  // namespace sys
