// The GPX output of a run, replaced whole or not at all. A regular file, or
// a name that reaches no file yet, is never written in place: the document
// goes into a new file of the run's own beside the final name, which takes
// the final name at the commit, in a way that can be undone until the run
// has succeeded. Anything else (a FIFO, a terminal, a device) is written
// directly and cannot be taken back.
#pragma once

#include <cstdio>
#include <string>

#include "sys/sys.h"

class output_file {
public:
    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    // Undoes whatever is not committed: the older file back under its name,
    // the new file removed.
    ~output_file();

    // Finds what path reaches and opens it for the checks; nothing is
    // created, emptied or changed. An empty name reaches nothing.
    sys::open_status open(const char* path);

    bool exists() const { return target_.exists; }
    const sys::file_info& info() const { return target_.info; }
    // The name a rename replaces (a link's end).
    const std::string& final_path() const { return target_.final_path; }
    // The older regular file opened for reading, where it could be; nullptr
    // for a FIFO or device, or a file that cannot be read.
    std::FILE* older() const { return target_.reader; }

    // The stream to write the document into: the new file, created
    // exclusively beside the final name with the older file's owner and
    // access rules, or the FIFO or device, which the caller then owns. A
    // signal that ends the run removes the new file.
    bool begin(std::FILE*& stream);
    // True when the new file is on the volume info is on.
    bool new_file_on(const sys::file_info& info) const;
    // Flushes the document (and syncs it, when sync is true), gives the new
    // file the older one's permission bits and closes the stream.
    bool finish(std::FILE* stream, bool sync);

    enum class placed { done, replaced, failed };
    // The commit's first step: the new file takes the final name, the older
    // one kept under a name of the run's own; replaced when the final name
    // no longer reaches the file that was checked (or a name was taken
    // meanwhile), and then nothing has changed.
    placed put_in_place();
    // Undoes put_in_place: the older file back under its name, the new one
    // removed.
    bool put_back();
    // The commit's last step: the older file removed, after the folder was
    // synced when sync is true.
    bool drop_older(bool sync);

private:
    bool remove_new_file();

    sys::output_target target_;
    std::string new_path_;    // the new file's name, while the new document is there
    sys::file_info new_info_;
    std::string older_path_;  // where the older file is once the new one has its name
    bool placed_ = false;
    bool committed_ = false;
};
