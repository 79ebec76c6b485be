// The system interface on Windows (MinGW-w64): files are identified by the
// volume serial number and file index of an open handle, since st_ino is 0
// for every file there. The command line is read in UTF-16 and every path
// goes to the system in UTF-16, absolute and with the \\?\ prefix: no name
// passes through the ANSI code page (whose best fit turns α into a) and no
// path stops at 260 characters.
#include "sys/sys.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

// The C runtime's own split of the UTF-16 command line into words, the same
// split that gives main its argv (msvcrt.dll).
extern "C" {
struct msvcrt_startup_info {
    int new_mode;
};
int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand_wildcards,
                   msvcrt_startup_info* info);
}

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

// A word of UTF-16 as UTF-8; nothing when it holds an unpaired surrogate,
// unless lenient, which puts U+FFFD in its place.
std::optional<std::string> to_utf8(const wchar_t* word, bool lenient)
{
    DWORD flags = lenient ? 0 : WC_ERR_INVALID_CHARS;
    int size = ::WideCharToMultiByte(CP_UTF8, flags, word, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(CP_UTF8, flags, word, -1, bytes.data(), size, nullptr, nullptr) !=
        size)
        return std::nullopt;
    bytes.pop_back();  // the terminating NUL
    return bytes;
}

constexpr wchar_t device_prefix[] = LR"(\\.\)";

// The path as the system takes it: UTF-16, made absolute, and with the prefix
// \\?\ (\\?\UNC\ for a share), which lifts the 260-character limit and
// passes the name on as it is. A name in the device namespace (NUL, CON,
// COM1, \\.\pipe\x) comes back as the system names it, \\.\NUL. Nothing
// when path is not valid UTF-8 or the system cannot make it absolute.
std::optional<std::wstring> system_path(const char* path)
{
    int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), size) != size)
        return std::nullopt;
    DWORD full_size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (full_size == 0)
        return std::nullopt;
    std::wstring full(full_size, L'\0');
    DWORD length = ::GetFullPathNameW(wide.c_str(), full_size, full.data(), nullptr);
    if (length == 0 || length >= full_size)
        return std::nullopt;
    full.resize(length);
    if (full.starts_with(LR"(\\?\)") || full.starts_with(device_prefix))
        return full;
    if (full.starts_with(LR"(\\)"))
        return LR"(\\?\UNC\)" + full.substr(2);
    return LR"(\\?\)" + full;
}

// True for a name in the device namespace: such a file is never opened, since
// opening some devices already acts on them.
bool names_device(const std::wstring& path)
{
    return path.starts_with(device_prefix);
}

// Whether the handle is a regular file on a disk, and what it is: not_regular
// for a folder, a device, the console or a pipe; cannot_open when the system
// cannot tell, which is never taken for "not the data file".
open_status regular_file_info(HANDLE handle, file_info& info)
{
    DWORD type = ::GetFileType(handle);
    if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR)
        return open_status::cannot_open;
    if (type != FILE_TYPE_DISK)
        return open_status::not_regular;
    DWORD attributes;
    if (!disk_file_info(handle, info, attributes))
        return open_status::cannot_open;
    return info.kind == file_kind::regular ? open_status::ok : open_status::not_regular;
}

HANDLE handle_of(std::FILE* stream)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

// Opens path without asking for any access, folders too; flags may add
// FILE_FLAG_OPEN_REPARSE_POINT to open a link itself.
handle_ptr open_for_info(const std::wstring& path, DWORD flags)
{
    HANDLE handle = ::CreateFileW(path.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    return handle_ptr(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace

bool utf8_arguments(int& argc, char**& argv, std::string& refused)
{
    int count = 0;
    wchar_t** wide = nullptr;
    wchar_t** env = nullptr;
    msvcrt_startup_info info{0};
    // The ANSI words main was given are never a fallback: their look-alikes
    // could name another file.
    if (::__wgetmainargs(&count, &wide, &env, 0, &info) != 0 || !wide)
        return false;
    static std::vector<std::string> words;
    static std::vector<char*> pointers;
    for (int i = 0; i < count; ++i) {
        std::optional<std::string> word = to_utf8(wide[i], false);
        if (!word) {
            refused = to_utf8(wide[i], true).value_or("");
            return false;
        }
        words.push_back(*word);
    }
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
    return true;
}

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
    std::optional<std::wstring> name = system_path(path);
    if (!name)
        return open_status::cannot_open;
    if (names_device(*name))
        return open_status::not_regular;
    DWORD access = GENERIC_READ | (update ? GENERIC_WRITE : 0);
    HANDLE handle = ::CreateFileW(name->c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return open_status::cannot_open;
    if (open_status kind = regular_file_info(handle, info); kind != open_status::ok) {
        ::CloseHandle(handle);
        return kind;
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
    std::optional<std::wstring> name = system_path(path);
    if (!name)
        return open_status::cannot_open;
    bool device = names_device(*name);
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE && attempt < 2 && !device; ++attempt) {
        handle = ::CreateFileW(name->c_str(), GENERIC_WRITE, share, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        out.created = handle != INVALID_HANDLE_VALUE;
        if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
        if (handle == INVALID_HANDLE_VALUE)
            handle = ::CreateFileW(name->c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (device)
        handle = ::CreateFileW(name->c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return open_status::cannot_open;
    out.path = path;
    if (device)
        out.info.kind = ::GetFileType(handle) == FILE_TYPE_DISK ? file_kind::disk_device
                                                                 : file_kind::other;
    else if (regular_file_info(handle, out.info) == open_status::cannot_open) {
        // Unknown, it might be the data file: nothing is written into it.
        ::CloseHandle(handle);
        return open_status::cannot_open;
    }
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
    // Ctrl+C runs its handler on a thread of its own, where the path may be
    // converted anew.
    std::optional<std::wstring> name = system_path(out.path);
    if (!name)
        return;
    file_info found;
    DWORD attributes = 0;
    {
        handle_ptr handle = open_for_info(*name, FILE_FLAG_OPEN_REPARSE_POINT);
        if (!handle || !disk_file_info(handle.get(), found, attributes))
            return;
    }
    if (!(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        found.id == out.info.id)
        ::DeleteFileW(name->c_str());
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
