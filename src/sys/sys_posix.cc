// The system interface on POSIX systems: Linux, where the tool runs natively,
// and emscripten's POSIX layer, under which the page runs the tool. Linux
// alone has /proc/self/fd, which reads a stream opened for writing only;
// elsewhere such a stream's bytes count as unreadable.
#include "sys/sys.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

namespace sys {

namespace {

file_info info_of(const struct stat& st)
{
    file_info info;
    info.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    info.kind = S_ISREG(st.st_mode)   ? file_kind::regular
                : S_ISBLK(st.st_mode) ? file_kind::disk_device
                                      : file_kind::other;
    info.size = static_cast<std::int64_t>(st.st_size);
    return info;
}

bool fd_info(int fd, file_info& info)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    info = info_of(st);
    return true;
}

// The signals whose default action ends the process, apart from those
// that report a fault of the program itself; SIGXFSZ is ignored instead.
constexpr int ending_signals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGPIPE, SIGQUIT, SIGUSR1,
                                  SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};

// The run's new output file, removed by the signal handler (unlink is safe
// in a signal handler). Set and cleared only while every signal is blocked.
const char* volatile removing = nullptr;

// Which of them this run catches (those not ignored at the start).
bool watched[std::size(ending_signals)];

bool ending_signal_pending()
{
    sigset_t pending;
    if (::sigpending(&pending) != 0)
        return false;
    for (std::size_t i = 0; i < std::size(ending_signals); ++i)
        if (watched[i] && sigismember(&pending, ending_signals[i]) == 1)
            return true;
    return false;
}

void on_ending_signal(int signal)
{
    if (const char* path = removing)
        ::unlink(path);
    // Ends with the signal's own status: the default action, raised again
    // and delivered once the handler returns.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Blocks every signal for the life of the object.
class signals_blocked {
public:
    signals_blocked()
    {
        sigset_t all;
        sigfillset(&all);
        ::sigprocmask(SIG_BLOCK, &all, &before_);
    }
    ~signals_blocked() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
    signals_blocked(const signals_blocked&) = delete;
    signals_blocked& operator=(const signals_blocked&) = delete;

private:
    sigset_t before_;
};

// The stand-ins for the standard descriptors that were closed at the start.
file_id closed_standard[3];
bool standard_closed[3];

// The folder part of path ("." for a bare name) and the rest.
std::string folder_of(const std::string& path)
{
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name that a rename replaces for path: path itself, or, where it is a
// symbolic link, the name its chain of links ends in (which may not exist
// yet). False for a chain that does not end.
bool final_name(const char* path, std::string& name)
{
    name = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t length = ::readlink(name.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size())
            return false;
        target.resize(static_cast<std::size_t>(length));
        name = target.front() == '/' ? target : folder_of(name) + "/" + target;
    }
    return false;
}

// Opens a FILE stream on fd, closing fd when that fails.
std::FILE* stream_on(int fd, const char* mode)
{
    std::FILE* file = ::fdopen(fd, mode);
    if (!file)
        ::close(fd);
    return file;
}

}  // namespace

// The words arrive as the bytes they were given as.
bool utf8_arguments(int&, char**&, std::string&)
{
    return true;
}

void guard_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The reading end of a pipe that has no writer: reading gives
        // nothing, writing fails, and its identity is the run's alone. pipe
        // gives the lowest free numbers, the reading end first: fd itself.
        int ends[2];
        if (::pipe(ends) != 0)
            continue;
        ::close(ends[1]);
        file_info info;
        if (ends[0] == fd && fd_info(fd, info)) {
            closed_standard[fd] = info.id;
            standard_closed[fd] = true;
        }
    }
}

bool is_closed_standard_stream(const file_info& info)
{
    for (int fd = 0; fd <= 2; ++fd)
        if (standard_closed[fd] && closed_standard[fd] == info.id)
            return true;
    return false;
}

open_status open_data_file(const char* path, bool update, std::FILE*& file, file_info& info)
{
    // Without blocking: a FIFO would wait for a writer forever. The reading
    // opening is read-write where the file allows it, for the lock (NFS
    // gives exclusive locks only to openings that may write).
    constexpr int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path, O_RDWR | flags);
    if (fd < 0 && !update)
        fd = ::open(path, O_RDONLY | flags);
    if (fd < 0)
        return open_status::cannot_open;
    if (!fd_info(fd, info) || info.kind != file_kind::regular) {
        ::close(fd);
        return open_status::not_regular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = ::fdopen(fd, update ? "r+b" : "rb");
    if (!file) {
        ::close(fd);
        return open_status::cannot_open;
    }
    return open_status::ok;
}

bool stream_info(std::FILE* stream, file_info& info)
{
    return fd_info(::fileno(stream), info);
}

bool path_info(const char* path, file_info& info)
{
    struct stat st;
    if (::stat(path, &st) != 0)
        return false;
    info = info_of(st);
    return true;
}

bool read_bytes_at(std::FILE* stream, std::int64_t offset, void* bytes, std::size_t size)
{
    int fd = ::fileno(stream);
    int reader = -1;
    if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY) {
        // A stream opened for writing only (a shell's >>): the same file
        // opened anew for reading, and checked to be that file.
        file_info written, read;
        reader = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
        if (reader < 0 || !fd_info(fd, written) || !fd_info(reader, read) ||
            !(written.id == read.id)) {
            if (reader >= 0)
                ::close(reader);
            return false;
        }
        fd = reader;
    }
    auto* at = static_cast<unsigned char*>(bytes);
    bool whole = true;
    while (size > 0) {
        ssize_t got = ::pread(fd, at, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            whole = false;
            break;
        }
        at += got;
        offset += got;
        size -= static_cast<std::size_t>(got);
    }
    if (reader >= 0)
        ::close(reader);
    return whole;
}

lock_status lock_data_file(std::FILE* stream, bool wait)
{
    while (::flock(::fileno(stream), LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EWOULDBLOCK)
            return lock_status::busy;
        // No locks here; on NFS an exclusive lock also needs a writable
        // opening, which a data file that is only listed may not give.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EBADF)
            return lock_status::locked;
        if (errno != EINTR)
            return lock_status::failed;
    }
    return lock_status::locked;
}

output_file::~output_file()
{
    discard_output(*this);
}

open_status open_output(const char* path, output_file& out)
{
    struct stat st;
    if (::stat(path, &st) != 0) {
        // A name that reaches no file yet (also a link to a missing file):
        // the new file is made under the name the link ends in.
        if (errno != ENOENT || !final_name(path, out.final_path))
            return open_status::cannot_open;
        out.replace = true;
        return open_status::ok;
    }
    if (!S_ISREG(st.st_mode)) {
        // A FIFO, a terminal or a device is written as it is; a FIFO waits
        // for its reader, as any writer's opening does. A folder fails here.
        int fd = ::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 || !fd_info(fd, out.info) || out.info.kind == file_kind::regular) {
            if (fd >= 0)
                ::close(fd);
            return open_status::cannot_open;
        }
        out.exists = true;
        out.direct = stream_on(fd, "w");
        return out.direct ? open_status::ok : open_status::cannot_open;
    }
    // An older regular file: opened for reading only, for the checks, and
    // replaced at the end; what is open decides what it is. The name the
    // rename replaces must reach it too. One the run may not write (a file
    // kept read-only) is not replaced either.
    if (::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0)
        return open_status::cannot_open;
    out.exists = out.replace = true;
    out.info = info_of(st);
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        if (!fd_info(fd, out.info) || out.info.kind != file_kind::regular) {
            ::close(fd);
            return open_status::cannot_open;
        }
        out.existing = stream_on(fd, "rb");
    }
    file_info named;
    if (!final_name(path, out.final_path) || !path_info(out.final_path.c_str(), named) ||
        !(named.id == out.info.id))
        return open_status::cannot_open;
    return open_status::ok;
}

bool output_in_use(const output_file& out)
{
    if (!out.existing)
        return false;
    int fd = ::fileno(out.existing);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK;
    ::flock(fd, LOCK_UN);
    // A record lock of a program that does not use flock.
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    return ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

open_status begin_output(output_file& out, std::FILE*& file)
{
    if (!out.replace) {
        file = out.take_direct();
        return file ? open_status::ok : open_status::cannot_open;
    }
    // Created and named for the signal handler with every signal held, so
    // that no signal can leave it behind; a name of the run's own, hidden.
    signals_blocked held;
    std::string stem = folder_of(out.final_path) + "/.trekdump-" + std::to_string(::getpid()) + "-";
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        out.temp_path = stem + std::to_string(attempt) + ".gpx";
        fd = ::open(out.temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC,
                    0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        out.temp_path.clear();
        return open_status::cannot_open;
    }
    removing = out.temp_path.c_str();
    struct stat older;
    if (out.exists && ::stat(out.final_path.c_str(), &older) == 0 &&
        info_of(older).id == out.info.id) {
        // The older file's owner where this run may set it, then its
        // permission bits (a change of owner may clear set-id bits).
        (void)!::fchown(fd, older.st_uid, older.st_gid);
        ::fchmod(fd, older.st_mode & 07777);
    }
    if (!fd_info(fd, out.temp_info) || !(file = stream_on(fd, "w")))
        return open_status::cannot_open;
    return open_status::ok;
}

void discard_output(output_file& out)
{
    if (!out.temp_path.empty()) {
        signals_blocked held;
        ::unlink(out.temp_path.c_str());
        removing = nullptr;
        out.temp_path.clear();
    }
    out.close_streams();
}

commit_status commit_output(output_file& out, bool sync)
{
    if (!out.replace)
        return commit_status::done;
    // The final name must still reach the file that was checked, or none.
    file_info now;
    bool found = path_info(out.final_path.c_str(), now);
    if (found != out.exists || (found && !(now.id == out.info.id)))
        return commit_status::replaced;
    {
        // A signal that came meanwhile ends the run before the rename (it
        // takes effect once signals are let through again); once the rename
        // is decided, the run is complete and later signals are ignored.
        signals_blocked held;
        if (out.temp_path.empty() || ending_signal_pending())
            return commit_status::failed;
        for (std::size_t i = 0; i < std::size(ending_signals); ++i)
            if (watched[i])
                ::signal(ending_signals[i], SIG_IGN);
        if (::rename(out.temp_path.c_str(), out.final_path.c_str()) != 0)
            return commit_status::failed;
        removing = nullptr;
        out.temp_path.clear();
    }
    if (!sync)
        return commit_status::done;
    int folder = ::open(folder_of(out.final_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool synced = folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0)
        ::close(folder);
    return synced ? commit_status::done : commit_status::failed;
}

void watch_signals()
{
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = on_ending_signal;
    sigfillset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(ending_signals); ++i) {
        // A signal the caller ignores (nohup, a background job) stays ignored.
        struct sigaction before;
        watched[i] = ::sigaction(ending_signals[i], nullptr, &before) == 0 &&
                     before.sa_handler != SIG_IGN &&
                     ::sigaction(ending_signals[i], &action, nullptr) == 0;
    }
}

void hold_signals(bool hold)
{
    static std::optional<signals_blocked> held;
    if (hold)
        held.emplace();
    else
        held.reset();
}

bool sync_stream(std::FILE* stream)
{
    file_info info;
    if (std::fflush(stream) != 0 || !stream_info(stream, info))
        return false;
    return info.kind != file_kind::regular || ::fsync(::fileno(stream)) == 0;
}

void prefer_huge_pages([[maybe_unused]] void* begin, [[maybe_unused]] std::size_t size)
{
#ifdef MADV_HUGEPAGE
    auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    auto first = reinterpret_cast<std::uintptr_t>(begin);
    auto end = (first + size) / page * page;
    first = (first + page - 1) / page * page;
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
}

int seek(std::FILE* stream, std::int64_t offset, int whence)
{
    return ::fseeko(stream, static_cast<off_t>(offset), whence);
}

std::int64_t tell(std::FILE* stream)
{
    return static_cast<std::int64_t>(::ftello(stream));
}

}  // namespace sys
