// The system calls that differ between POSIX and Windows, behind one small
// interface: the command line's words, the standard descriptors, the data
// file's opening, the identity of files, syncing, removal of a partial output
// file, huge pages and 64-bit positions. Paths are UTF-8 on every system.
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

enum class open_status { ok, cannot_open, not_regular };

// Opens the data file as a binary stream, for reading or for update, and
// gives its identity. Only a regular disk file is handed out; a directory,
// FIFO or device gives not_regular, without waiting for a writer.
open_status open_data_file(const char* path, bool update, std::FILE*& file, file_id& id);

// The identity of the file an open stream writes to; false when the stream
// has no file behind it that could be the data file.
bool stream_id(std::FILE* stream, file_id& id);

// The identity of the file path names (links followed); false when there is none.
bool path_id(const char* path, file_id& id);

// Flushes the stream and waits until its file's bytes are on the device.
bool sync_stream(std::FILE* stream);

// Removes path when it names the regular file id itself, not through a link:
// a device, a FIFO, a link and what it points to are never removed.
void remove_regular_file(const char* path, const file_id& id);

// Asks the system to back the untouched memory of [begin, begin + size) with
// huge pages where it has them.
void prefer_huge_pages(void* begin, std::size_t size);

// Positions in a stream as 64-bit byte offsets, whatever the width of long.
int seek(std::FILE* stream, std::int64_t offset, int whence);
std::int64_t tell(std::FILE* stream);

}  // namespace sys
