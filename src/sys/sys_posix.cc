// The system interface on POSIX systems: Linux, where the tool runs natively,
// and emscripten's POSIX layer, under which the page runs the tool. Linux
// alone has /proc/self/fd, which reads a stream opened for writing only;
// elsewhere such a stream's bytes count as unreadable.
#include "sys/sys.h"

#include <fcntl.h>
#ifdef __linux__
#include <linux/fs.h>
#endif
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
    info.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.links = static_cast<std::uint64_t>(st.st_nlink);
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

// The signals whose default action ends the process (the real-time ones
// are added at the start); SIGXFSZ is ignored instead, so an over-large file
// is a write error. Those that report a fault of the program are caught too:
// a run's files are removed before the default action ends it.
constexpr int fixed_ending_signals[] = {
    SIGINT,  SIGTERM, SIGHUP,  SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
    SIGPROF, SIGXCPU, SIGPWR,  SIGIO,   SIGABRT, SIGBUS,  SIGFPE,  SIGILL,  SIGSEGV,
    SIGSYS,  SIGTRAP,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// Which signals this run catches (those not ignored at the start).
bool watched[NSIG];

// The files a signal removes (unlink is safe in a signal handler). Changed
// only while every signal is blocked.
constexpr std::size_t removal_slots = 4;
std::string removal_paths[removal_slots];
const char* volatile removing[removal_slots];

// Nesting of signals_held, and the mask before the outermost.
int held_depth = 0;
sigset_t mask_before;

void on_ending_signal(int signal)
{
    for (const char* volatile& path : removing)
        if (const char* name = path)
            ::unlink(name);
    // Ends with the signal's own status: the default action, raised again
    // and delivered once the handler returns (a fault raises itself again
    // as the instruction is retried).
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// The stand-ins for the standard descriptors that were closed at the start.
file_id closed_standard[3];
bool standard_closed[3];

}  // namespace

std::string folder_of(const std::string& path)
{
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string beside(const std::string& path, const std::string& file_name)
{
    return folder_of(path) + "/" + file_name;
}

namespace {

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

read_result read_bytes_at(std::FILE* stream, std::int64_t offset, void* bytes, std::size_t size)
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
            return read_result::failed;
        }
        fd = reader;
    }
    auto* at = static_cast<unsigned char*>(bytes);
    read_result result = read_result::whole;
    while (size > 0) {
        ssize_t got = ::pread(fd, at, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            result = got < 0 ? read_result::failed : read_result::short_read;
            break;
        }
        at += got;
        offset += got;
        size -= static_cast<std::size_t>(got);
    }
    if (reader >= 0)
        ::close(reader);
    return result;
}

bool write_bytes_at(std::FILE* stream, std::int64_t offset, const void* bytes, std::size_t size,
                    std::size_t& written)
{
    written = 0;
    const auto* at = static_cast<const unsigned char*>(bytes);
    while (written < size) {
        ssize_t put = ::pwrite(::fileno(stream), at + written, size - written,
                               static_cast<off_t>(offset) + static_cast<off_t>(written));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        written += static_cast<std::size_t>(put);
    }
    return true;
}

namespace {

// A record lock over the whole file, owned by the opening (not by the
// process), so it conflicts with the record locks of other programs and of
// other runs alike. Where the system has no such locks, a process's own.
bool record_lock(int fd, bool wait, bool& busy)
{
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
    const int set = wait ? F_OFD_SETLKW : F_OFD_SETLK;
#else
    const int set = wait ? F_SETLKW : F_SETLK;
#endif
    busy = false;
    while (::fcntl(fd, set, &whole) != 0) {
        if (errno == EAGAIN || errno == EACCES) {
            busy = true;
            return false;
        }
        if (errno != EINTR)
            return errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EBADF ||
                   errno == EINVAL;
    }
    return true;
}

}  // namespace

lock_status lock_data_file(std::FILE* stream, bool wait)
{
    int fd = ::fileno(stream);
    while (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EWOULDBLOCK)
            return lock_status::busy;
        // No locks here; on NFS an exclusive lock also needs a writable
        // opening, which a data file that is only listed may not give.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EBADF)
            break;
        if (errno != EINTR)
            return lock_status::failed;
    }
    bool busy;
    if (record_lock(fd, wait, busy))
        return lock_status::locked;
    return busy ? lock_status::busy : lock_status::failed;
}

open_status open_output_target(const char* path, output_target& target)
{
    struct stat st;
    if (*path == '\0')
        return open_status::cannot_open;
    if (::stat(path, &st) != 0) {
        // A name that reaches no file yet (also a link to a missing file):
        // the new file is made under the name the link ends in.
        if (errno != ENOENT || !final_name(path, target.final_path))
            return open_status::cannot_open;
        target.regular = true;
        return open_status::ok;
    }
    if (!S_ISREG(st.st_mode)) {
        // A FIFO, a terminal or a device is written as it is; a FIFO waits
        // for its reader, as any writer's opening does. A folder fails here.
        int fd = ::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 || !fd_info(fd, target.info) || target.info.kind == file_kind::regular) {
            if (fd >= 0)
                ::close(fd);
            return open_status::cannot_open;
        }
        target.exists = true;
        target.direct = stream_on(fd, "w");
        return target.direct ? open_status::ok : open_status::cannot_open;
    }
    // An older regular file: opened for reading only, for the checks, and
    // replaced at the end; what is open decides what it is. The name the
    // rename replaces must reach it too. One the run may not write (a file
    // kept read-only) is not replaced either.
    if (::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0)
        return open_status::cannot_open;
    target.exists = target.regular = true;
    target.info = info_of(st);
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        if (!fd_info(fd, target.info) || target.info.kind != file_kind::regular) {
            ::close(fd);
            return open_status::cannot_open;
        }
        target.reader = stream_on(fd, "rb");
    }
    file_info named;
    if (!final_name(path, target.final_path) || !path_info(target.final_path.c_str(), named) ||
        !(named.id == target.info.id))
        return open_status::cannot_open;
    return open_status::ok;
}

bool output_in_use(const std::string&, std::FILE* reader)
{
    if (!reader)
        return false;
    int fd = ::fileno(reader);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK;
    ::flock(fd, LOCK_UN);
    // A record lock of a program that does not use flock.
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    return ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

unsigned long run_number()
{
    return static_cast<unsigned long>(::getpid());
}

namespace {

// True when the folder takes new names but lets none be removed or renamed
// (append-only or immutable): a file made there could never be taken away.
bool folder_keeps_every_name([[maybe_unused]] const std::string& folder)
{
#ifdef FS_IOC_GETFLAGS
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool keeps = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                 (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
    ::close(fd);
    return keeps;
#else
    return false;
#endif
}

}  // namespace

create_status create_new_file(const std::string& path, std::FILE*& file)
{
    if (folder_keeps_every_name(folder_of(path)))
        return create_status::failed;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST ? create_status::exists : create_status::failed;
    file = stream_on(fd, "w");
    if (!file) {
        ::unlink(path.c_str());
        return create_status::failed;
    }
    return create_status::created;
}

namespace {

#ifdef __linux__
// The extended attributes that carry a file's access rules and its user's
// notes: its access list and the user.* ones.
bool carried_attribute(const char* name)
{
    return std::strcmp(name, "system.posix_acl_access") == 0 ||
           std::strncmp(name, "user.", 5) == 0;
}
#endif

// Copies the carried attributes of from onto to; false when the access list
// could not be copied (others are best effort).
bool copy_attributes([[maybe_unused]] int from, [[maybe_unused]] int to)
{
#ifndef __linux__
    // Elsewhere (the page's file system) files have no such attributes.
    return true;
#else
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0)
        return size == 0 || errno == ENOTSUP || errno == ENOSYS;
    std::vector<char> names(static_cast<std::size_t>(size));
    size = ::flistxattr(from, names.data(), names.size());
    if (size < 0)
        return false;
    bool access_list_kept = true;
    for (const char* name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
        if (!carried_attribute(name))
            continue;
        ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        std::vector<char> value(length > 0 ? static_cast<std::size_t>(length) : 0);
        bool copied = length >= 0 &&
                      (length = ::fgetxattr(from, name, value.data(), value.size())) >= 0 &&
                      ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0) == 0;
        if (!copied && std::strncmp(name, "system.", 7) == 0)
            access_list_kept = false;
    }
    return access_list_kept;
#endif
}

}  // namespace

bool copy_access_rules(const std::string& older_path, std::FILE* older, std::FILE* made)
{
    int fd = ::fileno(made);
    struct stat st;
    if (::stat(older_path.c_str(), &st) != 0)
        return false;
    // The older file's owner where this run may set it.
    (void)!::fchown(fd, st.st_uid, st.st_gid);
    if (older)
        return copy_attributes(::fileno(older), fd);
    // An older file that cannot be read: its attributes cannot be told, so
    // an access list cannot be ruled out.
#ifdef __linux__
    return ::listxattr(older_path.c_str(), nullptr, 0) <= 0;
#else
    return true;
#endif
}

bool copy_mode(const std::string& older_path, bool older_exists, std::FILE* made)
{
    mode_t mode;
    if (older_exists) {
        struct stat st;
        if (::stat(older_path.c_str(), &st) != 0)
            return false;
        mode = st.st_mode & 07777;
    } else {
#ifdef __EMSCRIPTEN__
        // The page's in-memory files have no users and no mask of new
        // files' bits (its umask reports every bit masked): a new file there
        // is readable and writable, as when it was made with 0666.
        mode = 0666;
#else
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
#endif
    }
    return ::fchmod(::fileno(made), mode) == 0;
}

namespace {

#ifdef RENAME_NOREPLACE
// A rename the file system cannot do in one step: no such call, or not on
// this file system (FAT, NFS, FUSE).
bool unsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == ENOTSUP;
}

place_status failed_as(int error)
{
    return error == EEXIST ? place_status::taken : place_status::failed;
}
#endif

}  // namespace

place_status replace_keeping(const std::string& new_path, const std::string& final_path,
                             const std::string&, std::string& older_now)
{
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, new_path.c_str(), AT_FDCWD, final_path.c_str(), RENAME_EXCHANGE) ==
        0) {
        older_now = new_path;
        return place_status::done;
    }
    return unsupported(errno) ? place_status::unsupported : failed_as(errno);
#else
    (void)new_path, (void)final_path, (void)older_now;
    return place_status::unsupported;
#endif
}

place_status rename_file(const std::string& from, const std::string& to, bool replace)
{
    if (replace)
        return ::rename(from.c_str(), to.c_str()) == 0 ? place_status::done : place_status::failed;
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return place_status::done;
    if (!unsupported(errno))
        return failed_as(errno);
#endif
    // A second name that fails where one is there, then the first removed;
    // without links (FAT), the rename after a look.
    if (::link(from.c_str(), to.c_str()) == 0)
        return ::unlink(from.c_str()) == 0 ? place_status::done : place_status::failed;
    if (errno == EEXIST)
        return place_status::taken;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0)
        return place_status::taken;
    return ::rename(from.c_str(), to.c_str()) == 0 ? place_status::done : place_status::failed;
}

bool remove_file(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool sync_folder(const std::string& path)
{
    int folder = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool synced = folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0)
        ::close(folder);
    return synced;
}

void watch_signals()
{
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = on_ending_signal;
    sigfillset(&action.sa_mask);
    auto watch = [&action](int signal) {
        // A signal the caller ignores (nohup, a background job) stays ignored.
        struct sigaction before;
        watched[signal] = ::sigaction(signal, nullptr, &before) == 0 &&
                          before.sa_handler != SIG_IGN &&
                          ::sigaction(signal, &action, nullptr) == 0;
    };
    for (int signal : fixed_ending_signals)
        watch(signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        watch(signal);
}

void remove_on_signal(const std::string& path)
{
    for (std::size_t i = 0; i < removal_slots; ++i)
        if (!removing[i]) {
            removal_paths[i] = path;
            removing[i] = removal_paths[i].c_str();
            return;
        }
}

void keep_on_signal(const std::string& path)
{
    for (std::size_t i = 0; i < removal_slots; ++i)
        if (removing[i] && removal_paths[i] == path) {
            removing[i] = nullptr;
            removal_paths[i].clear();
        }
}

signals_held::signals_held()
{
    sigset_t all, before;
    sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, &before);
    if (held_depth++ == 0)
        mask_before = before;
}

signals_held::~signals_held()
{
    if (--held_depth == 0)
        ::sigprocmask(SIG_SETMASK, &mask_before, nullptr);
}

bool ending_signal_pending()
{
    sigset_t pending;
    if (::sigpending(&pending) != 0)
        return false;
    for (int signal = 1; signal < NSIG; ++signal)
        if (watched[signal] && sigismember(&pending, signal) == 1)
            return true;
    return false;
}

void finish_run()
{
    for (int signal = 1; signal < NSIG; ++signal)
        if (watched[signal])
            ::signal(signal, SIG_IGN);
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
