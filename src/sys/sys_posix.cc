// The system interface on POSIX systems.
#include "sys/sys.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sys {

namespace {

file_id id_of(const struct stat& info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
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

open_status open_data_file(const char* path, bool update, std::FILE*& file, file_id& id)
{
    // Without blocking: a FIFO would wait for a writer forever.
    int fd = ::open(path, (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return open_status::cannot_open;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return open_status::not_regular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = ::fdopen(fd, update ? "r+b" : "rb");
    if (!file) {
        ::close(fd);
        return open_status::cannot_open;
    }
    id = id_of(info);
    return open_status::ok;
}

bool stream_id(std::FILE* stream, file_id& id)
{
    struct stat info;
    if (::fstat(::fileno(stream), &info) != 0)
        return false;
    id = id_of(info);
    return true;
}

bool path_id(const char* path, file_id& id)
{
    struct stat info;
    if (::stat(path, &info) != 0)
        return false;
    id = id_of(info);
    return true;
}

bool sync_stream(std::FILE* stream)
{
    return std::fflush(stream) == 0 && ::fsync(::fileno(stream)) == 0;
}

void remove_regular_file(const char* path, const file_id& id)
{
    struct stat info;
    if (::lstat(path, &info) == 0 && S_ISREG(info.st_mode) && id_of(info) == id)
        ::unlink(path);
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
