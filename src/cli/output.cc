// The GPX output replaced through a new file, with a commit that can be
// undone: prepare (the new file written and closed), put in place (the
// older file kept under a name of the run's own), drop the older file; or
// put back. The same steps on every system, over the pieces in sys.h.
#include "cli/output.h"

#include <string>
#include <utility>

namespace {

// A name of the run's own in the final name's folder, hidden, numbered.
std::string run_file_name(const std::string& final_path, int number)
{
    return sys::beside(final_path, ".trekdump-" + std::to_string(sys::run_number()) + "-" +
                                       std::to_string(number) + ".gpx");
}

constexpr int name_tries = 100;

// The file at path is the one identified by id.
bool reaches(const std::string& path, const sys::file_id& id)
{
    sys::file_info now;
    return sys::path_info(path.c_str(), now) && now.id == id;
}

}  // namespace

output_file::~output_file()
{
    if (!committed_)
        put_back();
    remove_new_file();
    for (std::FILE* stream : {target_.reader, target_.direct})
        if (stream)
            std::fclose(stream);
}

sys::open_status output_file::open(const char* path)
{
    return sys::open_output_target(path, target_);
}

bool output_file::begin(std::FILE*& stream)
{
    if (!target_.regular) {
        stream = target_.direct;
        target_.direct = nullptr;
        return stream != nullptr;
    }
    {
        // Created and registered for removal with every signal held, so
        // that no signal can leave it behind.
        sys::signals_held held;
        for (int number = 0; number < name_tries && new_path_.empty(); ++number) {
            std::string name = run_file_name(target_.final_path, number);
            sys::create_status created = sys::create_new_file(name, stream);
            if (created == sys::create_status::failed)
                return false;
            if (created == sys::create_status::created) {
                new_path_ = name;
                sys::remove_on_signal(new_path_);
            }
        }
    }
    if (new_path_.empty())
        return false;
    // A protected file is never replaced by a more open one.
    if ((target_.exists && !sys::copy_access_rules(target_.final_path, target_.reader, stream)) ||
        !sys::stream_info(stream, new_info_)) {
        std::fclose(stream);
        stream = nullptr;
        remove_new_file();
        return false;
    }
    return true;
}

bool output_file::new_file_on(const sys::file_info& info) const
{
    return !new_path_.empty() && new_info_.id.volume == info.id.volume;
}

bool output_file::finish(std::FILE* stream, bool sync)
{
    // The last block is flushed here, not left to fclose: Wine's C library
    // does not report a failed flush from fclose.
    bool written = std::fflush(stream) == 0 && !std::ferror(stream);
    if (written && sync)
        written = sys::sync_stream(stream);
    if (written && !new_path_.empty())
        written = sys::copy_mode(target_.final_path, target_.exists, stream);
    bool closed = std::fclose(stream) == 0;
    if (!written || !closed) {
        remove_new_file();
        return false;
    }
    return true;
}

output_file::placed output_file::put_in_place()
{
    if (new_path_.empty())
        return target_.regular ? placed::failed : placed::done;
    const std::string& final_path = target_.final_path;
    // The older file closed first: Windows replaces no file that is open.
    if (target_.reader)
        std::fclose(std::exchange(target_.reader, nullptr));
    if (!target_.exists) {
        // No older file: a name taken meanwhile is another program's.
        sys::place_status renamed = sys::rename_file(new_path_, final_path, false);
        if (renamed != sys::place_status::done)
            return renamed == sys::place_status::taken ? placed::replaced : placed::failed;
        sys::keep_on_signal(new_path_);
        new_path_.clear();
        placed_ = true;
        return placed::done;
    }
    // The older file swapped with the new one in one step where the file
    // system can, else moved aside first: either way it can be brought back.
    std::string backup = run_file_name(final_path, name_tries);
    sys::place_status swapped = sys::replace_keeping(new_path_, final_path, backup, older_path_);
    if (swapped == sys::place_status::unsupported) {
        for (int number = name_tries + 1; number < 2 * name_tries && older_path_.empty(); ++number) {
            std::string name = run_file_name(final_path, number);
            sys::place_status moved = sys::rename_file(final_path, name, false);
            if (moved == sys::place_status::failed)
                return placed::failed;
            if (moved == sys::place_status::done)
                older_path_ = name;
        }
        if (older_path_.empty())
            return placed::failed;
        if (sys::rename_file(new_path_, final_path, false) != sys::place_status::done) {
            sys::rename_file(older_path_, final_path, false);
            older_path_.clear();
            return placed::failed;
        }
    } else if (swapped != sys::place_status::done) {
        return placed::failed;
    }
    sys::keep_on_signal(new_path_);
    new_path_.clear();
    placed_ = true;
    // What came out from under the final name must be the file that was
    // checked; a file moved onto the name meanwhile is put back.
    if (!reaches(older_path_, target_.info.id)) {
        put_back();
        return placed::replaced;
    }
    return placed::done;
}

bool output_file::put_back()
{
    if (!placed_)
        return true;
    bool back;
    if (!older_path_.empty()) {
        // The older file renamed over the new one, which goes with it.
        back = sys::rename_file(older_path_, target_.final_path, true) == sys::place_status::done;
        if (back)
            older_path_.clear();
    } else {
        back = reaches(target_.final_path, new_info_.id) && sys::remove_file(target_.final_path);
    }
    placed_ = !back;
    return back;
}

bool output_file::drop_older(bool sync)
{
    if (sync && placed_ && !sys::sync_folder(target_.final_path))
        return false;
    if (!older_path_.empty()) {
        if (!sys::remove_file(older_path_))
            return false;
        older_path_.clear();
    }
    committed_ = true;
    return true;
}

bool output_file::remove_new_file()
{
    if (new_path_.empty())
        return true;
    sys::signals_held held;
    bool removed = sys::remove_file(new_path_);
    sys::keep_on_signal(new_path_);
    new_path_.clear();
    return removed;
}
