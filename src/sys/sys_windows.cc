// The system interface on Windows (MinGW-w64): files are identified by the
// volume serial number and file index of an open handle, since st_ino is 0
// for every file there.
#include "sys/sys.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>
#include <memory>

namespace sys {

namespace {

struct handle_closer {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using handle_ptr = std::unique_ptr<void, handle_closer>;

// What the handle's file is: its identity and its attributes. False for
// anything but a file or folder on a disk (a device, the console, a pipe).
bool disk_file_info(HANDLE handle, file_id& id, DWORD& attributes)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(handle, &info))
        return false;
    id = {info.dwVolumeSerialNumber,
          std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
    attributes = info.dwFileAttributes;
    return true;
}

// The identity of a handle the system cannot name, as Wine makes of a
// redirected standard handle: its file id is known, its volume may be 0.
bool unnamed_file_id(HANDLE handle, file_id& id)
{
    FILE_ID_INFO info;
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandleEx(handle, FileIdInfo, &info, sizeof info))
        return false;
    std::uint64_t index;
    std::memcpy(&index, info.FileId.Identifier, sizeof index);
    id = {info.VolumeSerialNumber, index};
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

open_status open_data_file(const char* path, bool update, std::FILE*& file, file_id& id)
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
    if (!disk_file_info(handle, id, attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
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

bool stream_id(std::FILE* stream, file_id& id)
{
    HANDLE handle = handle_of(stream);
    DWORD attributes;
    return disk_file_info(handle, id, attributes) || unnamed_file_id(handle, id);
}

bool path_id(const char* path, file_id& id)
{
    handle_ptr handle = open_for_info(path, 0);
    DWORD attributes;
    return handle && disk_file_info(handle.get(), id, attributes);
}

bool sync_stream(std::FILE* stream)
{
    return std::fflush(stream) == 0 && ::_commit(::_fileno(stream)) == 0;
}

void remove_regular_file(const char* path, const file_id& id)
{
    file_id found;
    DWORD attributes = 0;
    {
        handle_ptr handle = open_for_info(path, FILE_FLAG_OPEN_REPARSE_POINT);
        if (!handle || !disk_file_info(handle.get(), found, attributes))
            return;
    }
    if (!(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) && found == id)
        ::DeleteFileA(path);
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
