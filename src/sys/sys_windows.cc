// The system interface on Windows (MinGW-w64): files are identified by the
// volume serial number and file index of an open handle, since st_ino is 0
// for every file there.
#include "sys/sys.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <memory>

namespace sys {

namespace {

struct handle_closer {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using handle_ptr = std::unique_ptr<void, handle_closer>;

// What the handle's file is: its identity, kind, size and attributes. False
// for anything but a file or folder on a disk (a device, the console, a pipe).
bool disk_file_info(HANDLE handle, file_info& info, DWORD& attributes)
{
    BY_HANDLE_FILE_INFORMATION by;
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(handle, &by))
        return false;
    info.id = {by.dwVolumeSerialNumber, std::uint64_t{by.nFileIndexHigh} << 32 | by.nFileIndexLow};
    info.kind = by.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? file_kind::other : file_kind::regular;
    info.size = static_cast<std::int64_t>(std::uint64_t{by.nFileSizeHigh} << 32 | by.nFileSizeLow);
    attributes = by.dwFileAttributes;
    return true;
}

// The identity of a handle the system cannot name, as Wine makes of a
// redirected standard handle: its file id is known, its volume may be 0.
bool unnamed_file_info(HANDLE handle, file_info& info)
{
    FILE_ID_INFO id;
    LARGE_INTEGER size;
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) ||
        !::GetFileSizeEx(handle, &size))
        return false;
    std::uint64_t index;
    std::memcpy(&index, id.FileId.Identifier, sizeof index);
    info.id = {id.VolumeSerialNumber, index};
    info.kind = file_kind::regular;
    info.size = size.QuadPart;
    return true;
}

// True for a name in the device namespace (NUL, CON, COM1, \\.\pipe\x):
// such a file is never opened, since opening some devices already acts on them.
bool names_device(const char* path)
{
    char full[MAX_PATH];
    DWORD length = ::GetFullPathNameA(path, sizeof full, full, nullptr);
    return length >= 4 && length < sizeof full && std::strncmp(full, "\\\\.\\", 4) == 0;
}

HANDLE handle_of(std::FILE* stream)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

// Opens path without asking for any access, folders too; flags may add
// FILE_FLAG_OPEN_REPARSE_POINT to open a link itself.
handle_ptr open_for_info(const char* path, DWORD flags)
{
    HANDLE handle = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags,
                                  nullptr);
    return handle_ptr(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace

void guard_standard_descriptors()
{
    // Without a console or a redirection a standard descriptor has no handle
    // (-1 or -2); it is put on NUL under its own number, in the failing mode.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::_get_osfhandle(fd) >= 0)
            continue;
        int guard = ::_open("NUL", fd == 0 ? _O_WRONLY : _O_RDONLY);
        if (guard >= 0 && guard != fd) {
            ::_dup2(guard, fd);
            ::_close(guard);
        }
    }
}

open_status open_data_file(const char* path, bool update, std::FILE*& file, file_info& info)
{
    // Folders open too (backup semantics), so that they are told apart from
    // missing files as on other systems.
    if (names_device(path))
        return open_status::not_regular;
    DWORD access = GENERIC_READ | (update ? GENERIC_WRITE : 0);
    HANDLE handle = ::CreateFileA(path, access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return open_status::cannot_open;
    DWORD attributes = 0;
    if (!disk_file_info(handle, info, attributes) || info.kind != file_kind::regular) {
        ::CloseHandle(handle);
        return open_status::not_regular;
    }
    int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle),
                               (update ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return open_status::cannot_open;
    }
    file = ::_fdopen(fd, update ? "r+b" : "rb");
    if (!file) {
        ::_close(fd);
        return open_status::cannot_open;
    }
    return open_status::ok;
}

bool stream_info(std::FILE* stream, file_info& info)
{
    HANDLE handle = handle_of(stream);
    DWORD attributes;
    return disk_file_info(handle, info, attributes) || unnamed_file_info(handle, info);
}

bool read_bytes_at(std::FILE* stream, std::int64_t offset, void* bytes, std::size_t size)
{
    // A handle of its own, so that the stream's position stays where it is,
    // also when the stream was opened for writing only.
    HANDLE reader = ::ReOpenFile(handle_of(stream), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (reader == INVALID_HANDLE_VALUE)
        return false;
    handle_ptr owner(reader);
    auto* at = static_cast<unsigned char*>(bytes);
    while (size > 0) {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(offset);
        where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        DWORD got = 0;
        DWORD want = size > 1u << 30 ? 1u << 30 : static_cast<DWORD>(size);
        if (!::ReadFile(reader, at, want, &got, &where) || got == 0)
            return false;
        at += got;
        offset += got;
        size -= got;
    }
    return true;
}

bool lock_data_file(std::FILE* stream)
{
    // A lock on Windows holds every byte it covers against other handles, so
    // the one byte locked lies far past any data file: readers never wait,
    // only other runs do.
    OVERLAPPED where{};
    where.OffsetHigh = 0x40000000;
    if (::LockFileEx(handle_of(stream), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &where))
        return true;
    DWORD error = ::GetLastError();
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

output_file::~output_file()
{
    if (keeper != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(keeper));
}

open_status open_output(const char* path, std::FILE*& file, output_file& out)
{
    // Created when missing (and then known to be this run's own), else opened
    // as it is: never emptied before it is known not to be the data file.
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    bool device = names_device(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE && attempt < 2 && !device; ++attempt) {
        handle = ::CreateFileA(path, GENERIC_WRITE, share, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        out.created = handle != INVALID_HANDLE_VALUE;
        if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
        if (handle == INVALID_HANDLE_VALUE)
            handle = ::CreateFileA(path, GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (device)
        handle = ::CreateFileA(path, GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return open_status::cannot_open;
    out.path = path;
    DWORD attributes;
    if (device)
        out.info.kind = ::GetFileType(handle) == FILE_TYPE_DISK ? file_kind::disk_device
                                                                 : file_kind::other;
    else if (!disk_file_info(handle, out.info, attributes))
        out.info.kind = file_kind::other;
    HANDLE keeper = INVALID_HANDLE_VALUE;
    ::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &keeper, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    out.keeper = keeper == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(keeper);
    int fd = out.keeper == -1 ? -1
                              : ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle),
                                                  _O_WRONLY | _O_TEXT);
    if (fd < 0) {
        ::CloseHandle(handle);
        return open_status::cannot_open;
    }
    file = ::_fdopen(fd, "w");
    if (!file) {
        ::_close(fd);
        return open_status::cannot_open;
    }
    return open_status::ok;
}

bool truncate_output(const output_file& out)
{
    if (out.info.kind != file_kind::regular)
        return true;
    auto handle = reinterpret_cast<HANDLE>(out.keeper);
    return ::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN) &&
           ::SetEndOfFile(handle);
}

void discard_output(const output_file& out)
{
    if (out.info.kind != file_kind::regular)
        return;
    // Another name of the file (a hard link) keeps nothing either.
    truncate_output(out);
    if (!out.created)
        return;
    file_info found;
    DWORD attributes = 0;
    {
        handle_ptr handle = open_for_info(out.path, FILE_FLAG_OPEN_REPARSE_POINT);
        if (!handle || !disk_file_info(handle.get(), found, attributes))
            return;
    }
    if (!(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        found.id == out.info.id)
        ::DeleteFileA(out.path);
}

namespace {

// Ctrl+C and Ctrl+Break: the output being written, and whether they are held.
std::atomic<const output_file*> watched{nullptr};
std::atomic<bool> held{false};
std::atomic<bool> pending{false};

// Ends the run as Ctrl+C does, at once: no exit processing, which would
// flush the document's last block into the emptied file.
[[noreturn]] void end_interrupted()
{
    ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    for (;;) {
    }
}

BOOL WINAPI on_console_event(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (held) {
        pending = true;
        return TRUE;
    }
    if (const output_file* out = watched.load())
        discard_output(*out);
    end_interrupted();
}

void handle_console_events()
{
    static bool installed = ::SetConsoleCtrlHandler(on_console_event, TRUE);
    (void)installed;
}

}  // namespace

void discard_on_interrupt(const output_file* out)
{
    handle_console_events();
    watched = out;
}

void hold_interrupts(bool hold)
{
    handle_console_events();
    held = hold;
    if (!hold && pending)
        end_interrupted();
}

// A file size limit is no part of Windows.
void ignore_file_size_limit() {}

bool sync_stream(std::FILE* stream)
{
    return std::fflush(stream) == 0 && ::_commit(::_fileno(stream)) == 0;
}

// The heap's pages are left to the system.
void prefer_huge_pages(void*, std::size_t) {}

int seek(std::FILE* stream, std::int64_t offset, int whence)
{
    return ::_fseeki64(stream, offset, whence);
}

std::int64_t tell(std::FILE* stream)
{
    return ::_ftelli64(stream);
}

}  // namespace sys
