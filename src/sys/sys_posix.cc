// The system interface on POSIX systems.
#include "sys/sys.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

// The signals that interrupt an export, and what they did before.
constexpr int interrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
struct sigaction previous[std::size(interrupts)];
bool installed[std::size(interrupts)];

// The output the interrupt handler discards (discard_output uses only calls
// that are safe in a signal handler).
const output_file* volatile watched = nullptr;

void on_interrupt(int signal)
{
    if (const output_file* out = watched)
        discard_output(*out);
    // Ends with the signal's own status: the default action, raised again
    // and delivered once the handler returns.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

sigset_t interrupt_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : interrupts)
        sigaddset(&set, signal);
    return set;
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
        // open gives the lowest free number, which is fd itself.
        int guard = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (guard >= 0 && guard != fd)
            ::close(guard);
    }
}

open_status open_data_file(const char* path, bool update, std::FILE*& file, file_info& info)
{
    // Without blocking: a FIFO would wait for a writer forever.
    int fd = ::open(path, (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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

bool lock_data_file(std::FILE* stream)
{
    while (::flock(::fileno(stream), LOCK_EX) != 0) {
        // No locks here; on NFS an exclusive lock also needs a writable
        // opening, which a data file that is only listed may not give.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EBADF)
            return true;
        if (errno != EINTR)
            return false;
    }
    return true;
}

output_file::~output_file()
{
    if (keeper >= 0)
        ::close(static_cast<int>(keeper));
}

open_status open_output(const char* path, std::FILE*& file, output_file& out)
{
    // Created when missing (and then known to be this run's own), else opened
    // as it is: never emptied before it is known not to be the data file. A
    // FIFO waits for its reader, as any writer's opening does.
    constexpr int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 2; ++attempt) {
        fd = ::open(path, flags | O_CREAT | O_EXCL, 0666);
        out.created = fd >= 0;
        if (fd < 0 && errno == EEXIST)
            fd = ::open(path, flags);
        if (fd < 0 && errno != ENOENT)
            break;
    }
    // A link to a missing file: its target is made, not removed again.
    if (fd < 0 && errno == ENOENT)
        fd = ::open(path, flags | O_CREAT, 0666);
    if (fd < 0)
        return open_status::cannot_open;
    out.path = path;
    out.keeper = ::dup(fd);
    if (out.keeper < 0 || !fd_info(fd, out.info) || !(file = ::fdopen(fd, "w"))) {
        ::close(fd);
        return open_status::cannot_open;
    }
    return open_status::ok;
}

bool truncate_output(const output_file& out)
{
    if (out.info.kind != file_kind::regular)
        return true;
    return ::ftruncate(static_cast<int>(out.keeper), 0) == 0;
}

void discard_output(const output_file& out)
{
    if (out.info.kind != file_kind::regular)
        return;
    // Another name of the file (a hard link, a link's target) keeps nothing.
    while (::ftruncate(static_cast<int>(out.keeper), 0) != 0 && errno == EINTR) {
    }
    struct stat st;
    if (out.created && ::lstat(out.path, &st) == 0 && S_ISREG(st.st_mode) &&
        info_of(st).id == out.info.id)
        ::unlink(out.path);
}

void discard_on_interrupt(const output_file* out)
{
    if (out) {
        watched = out;
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        action.sa_mask = interrupt_set();
        for (std::size_t i = 0; i < std::size(interrupts); ++i) {
            // An interrupt the caller ignores (a background job) stays ignored.
            installed[i] = ::sigaction(interrupts[i], nullptr, &previous[i]) == 0 &&
                           previous[i].sa_handler != SIG_IGN &&
                           ::sigaction(interrupts[i], &action, nullptr) == 0;
        }
        return;
    }
    for (std::size_t i = 0; i < std::size(interrupts); ++i)
        if (installed[i])
            ::sigaction(interrupts[i], &previous[i], nullptr);
    watched = nullptr;
}

void hold_interrupts(bool hold)
{
    sigset_t set = interrupt_set();
    ::sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void ignore_file_size_limit()
{
    ::signal(SIGXFSZ, SIG_IGN);
}

bool sync_stream(std::FILE* stream)
{
    return std::fflush(stream) == 0 && ::fsync(::fileno(stream)) == 0;
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
