// The system interface on Windows (MinGW-w64): files are identified by the
// volume serial number and file index of an open handle, since st_ino is 0
// for every file there. The command line is read in UTF-16 and every path
// goes to the system in UTF-16, absolute and with the \\?\ prefix: no name
// passes through the ANSI code page (whose best fit turns α into a) and no
// path stops at 260 characters.
#include "sys/sys.h"

#include <windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
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
    if (full.starts_with(LR"(\\?\)") || full.starts_with(LR"(\\.\)"))
        return full;
    if (full.starts_with(LR"(\\)"))
        return LR"(\\?\UNC\)" + full.substr(2);
    return LR"(\\?\)" + full;
}

// True for a name Windows keeps for a device in any folder: CON, PRN, AUX,
// NUL, COM0-9, LPT0-9 (also with the superscript digits 1-3), CONIN$ and
// CONOUT$, in any case, with or without an extension, trailing dots or
// spaces or a stream name. Only the last component of the path counts.
bool is_reserved_device_name(std::string_view path)
{
    std::size_t slash = path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (slash == std::string_view::npos && name.size() >= 2 && name[1] == ':')
        name.remove_prefix(2);  // C:NUL
    name = name.substr(0, name.find_first_of(".:"));
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    std::string upper(name);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (upper == device)
            return true;
    if (!upper.starts_with("COM") && !upper.starts_with("LPT"))
        return false;
    std::string_view digit = std::string_view(upper).substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') ||
           digit == "\u00B9" || digit == "\u00B2" || digit == "\u00B3";
}

// True unless the system path names a file or folder on a drive, a share or
// a volume (\\?\C:\..., \\?\UNC\server\share\..., \\?\Volume{...}\...):
// the device namespace (\\.\), a volume or disk itself (\\?\C:), the
// object namespace (\\?\GLOBALROOT\...) and devices such as \\?\NUL.
bool names_device(const std::wstring& path)
{
    if (!path.starts_with(LR"(\\?\)"))
        return true;
    std::wstring_view rest = std::wstring_view(path).substr(4);
    bool drive = rest.size() >= 3 && rest[1] == L':' && rest[2] == L'\\' &&
                 ((rest[0] >= L'A' && rest[0] <= L'Z') || (rest[0] >= L'a' && rest[0] <= L'z'));
    bool share = rest.size() > 4 && ::_wcsnicmp(rest.data(), L"UNC\\", 4) == 0;
    std::size_t brace = rest.find(L"}\\");
    bool volume = ::_wcsnicmp(rest.data(), L"Volume{", 7) == 0 && brace != std::wstring_view::npos;
    return !drive && !share && !volume;
}

// The system path of a path that is neither a device name nor in a device
// namespace; nothing otherwise (device tells which) or when it cannot be made.
std::optional<std::wstring> file_path(const char* path, bool& device)
{
    std::optional<std::wstring> name = system_path(path);
    device = is_reserved_device_name(path) || (name && names_device(*name));
    return device ? std::nullopt : name;
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
    // Standard error reaches its file at once, as on other systems, so that
    // one file holding both streams has them in the same order there.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    // Without a console or a redirection a standard descriptor has no handle
    // (-1 or -2). It is put on the reading end of a pipe without a writer:
    // reading gives nothing, writing fails, and no path reaches it (the pipe
    // namespace is a device path, never opened as a file).
    for (int fd = 0; fd <= 2; ++fd) {
        if (::_get_osfhandle(fd) >= 0)
            continue;
        HANDLE reader, writer;
        if (!::CreatePipe(&reader, &writer, nullptr, 0))
            continue;
        ::CloseHandle(writer);
        int guard = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(reader), _O_RDONLY);
        if (guard < 0) {
            ::CloseHandle(reader);
            continue;
        }
        if (guard != fd) {
            ::_dup2(guard, fd);
            ::_close(guard);
        }
    }
}

// The stand-ins are pipes, which have no identity on a disk: no file info
// is ever one of them.
bool is_closed_standard_stream(const file_info&)
{
    return false;
}

open_status open_data_file(const char* path, bool update, std::FILE*& file, file_info& info)
{
    // Folders open too (backup semantics), so that they are told apart from
    // missing files as on other systems. The reading opening asks for
    // writing too where the file allows it, as the update opening does.
    bool device;
    std::optional<std::wstring> name = file_path(path, device);
    if (device)
        return open_status::not_regular;
    if (!name)
        return open_status::cannot_open;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (DWORD access : {GENERIC_READ | GENERIC_WRITE, DWORD{GENERIC_READ}}) {
        handle = ::CreateFileW(name->c_str(), access,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle != INVALID_HANDLE_VALUE || update)
            break;
    }
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
    if (disk_file_info(handle, info, attributes) || unnamed_file_info(handle, info))
        return true;
    // A file on a disk that cannot be told apart from the data file.
    info.kind = file_kind::unknown;
    return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK;
}

bool path_info(const char* path, file_info& info)
{
    bool device;
    std::optional<std::wstring> name = file_path(path, device);
    if (!name)
        return false;
    handle_ptr handle = open_for_info(*name, 0);
    DWORD attributes;
    return handle && disk_file_info(handle.get(), info, attributes);
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

namespace {

// A lock on Windows holds every byte it covers against other handles, so the
// one byte runs lock lies far past any data file, at 2^62: readers never
// wait, only other runs do.
BOOL lock_run_byte(HANDLE handle, DWORD flags)
{
    OVERLAPPED where{};
    where.OffsetHigh = 0x40000000;
    return ::LockFileEx(handle, flags, 0, 1, 0, &where);
}

}  // namespace

lock_status lock_data_file(std::FILE* stream, bool wait)
{
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (lock_run_byte(handle_of(stream), flags))
        return lock_status::locked;
    DWORD error = ::GetLastError();
    if (error == ERROR_LOCK_VIOLATION)
        return lock_status::busy;
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ? lock_status::locked
                                                                          : lock_status::failed;
}

namespace {

// What the console handler and the main thread share, under one lock. A
// handler that ends the run keeps it until the process has ended, so the
// main thread never begins the rename after it; a rename the main thread has
// begun ends before the handler can take it.
SRWLOCK watch_lock = SRWLOCK_INIT;
bool events_held = false;     // hold_signals(true) is in effect
bool event_pending = false;   // an event came while they were held
bool run_complete = false;    // the new file has replaced the final name
HANDLE new_file = nullptr;    // the run's new output file, a handle for deleting only

// Marks the run's new file for deletion: it goes when its last handle is
// closed, at the latest when the process ends. A handle of its own, with no
// position that the writing stream uses. Under watch_lock.
void remove_new_file()
{
    if (!new_file)
        return;
    FILE_DISPOSITION_INFO gone{TRUE};
    ::SetFileInformationByHandle(new_file, FileDispositionInfo, &gone, sizeof gone);
    ::CloseHandle(new_file);
    new_file = nullptr;
}

// Ends the run as Ctrl+C does, at once: no exit processing, which would
// flush buffered output. Under watch_lock, which is never released.
[[noreturn]] void end_interrupted()
{
    remove_new_file();
    ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    for (;;)
        ::Sleep(INFINITE);
}

// Ctrl+C, Ctrl+Break, and the console window closed, the user logged off or
// the system shut down: each ends the run with STATUS_CONTROL_C_EXIT after
// removing its new file; while the block is written, once it is synced; not
// at all after the rename, when the run is complete.
BOOL WINAPI on_console_event(DWORD event)
{
    ::AcquireSRWLockExclusive(&watch_lock);
    if (!events_held && !run_complete)
        end_interrupted();
    // While the block is written the main thread ends the run once it is
    // synced, before the GPX is renamed; after the rename the run completes.
    event_pending = true;
    ::ReleaseSRWLockExclusive(&watch_lock);
    // The system ends a closed console's process as soon as its handler
    // returns, so this one does not return before the main thread is done.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        for (;;)
            ::Sleep(INFINITE);
    return TRUE;
}

// The final path of the file handle is open on, with links resolved: where
// a rename replaces that file and no link on the way.
std::optional<std::wstring> final_path_of(HANDLE handle)
{
    DWORD size = ::GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (size == 0)
        return std::nullopt;
    std::wstring path(size, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), size, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= size)
        return std::nullopt;
    path.resize(length);
    return path;
}

// The path as UTF-8, as output_file keeps its names.
std::string utf8_path(const std::wstring& path)
{
    return to_utf8(path.c_str(), true).value_or("");
}

// A path that output_file keeps, as the system takes it.
std::optional<std::wstring> wide_path(const std::string& path)
{
    int size = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), size);
    wide.pop_back();
    return wide;
}

// A stream on handle, which it then owns; nullptr (and the handle closed)
// when it cannot be made.
std::FILE* stream_on(HANDLE handle, int flags, const char* mode)
{
    int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags);
    if (fd < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, mode);
    if (!file)
        ::_close(fd);
    return file;
}

// Where name is a link to a missing file, the path of the file it names;
// name itself where nothing is there at all; nothing when that cannot be
// told. The link's target is found by creating it for a moment, as the
// system follows the link: the empty file is deleted again at once.
std::optional<std::wstring> missing_file_path(const std::wstring& name)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileExW(name.c_str(), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
    else if (DWORD error = ::GetLastError(); error == ERROR_FILE_NOT_FOUND)
        return name;
    HANDLE made = ::CreateFileW(name.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made == INVALID_HANDLE_VALUE)
        return std::nullopt;
    handle_ptr owner(made);
    LARGE_INTEGER size;
    std::optional<std::wstring> target = final_path_of(made);
    if (!::GetFileSizeEx(made, &size) || size.QuadPart != 0)
        return std::nullopt;  // another program's file, come meanwhile
    FILE_DISPOSITION_INFO gone{TRUE};
    ::SetFileInformationByHandle(made, FileDispositionInfo, &gone, sizeof gone);
    return target;
}

// The folder part of a system path.
std::wstring folder_of(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

// Gives the new file the older one's access rules where they were cut off
// from the folder's (a protected DACL): otherwise the new file inherits the
// same rules from the same folder as the older one did. Best effort.
void copy_access_rules(HANDLE older, HANDLE made)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(older, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision;
    if (::GetSecurityDescriptorControl(descriptor, &control, &revision) &&
        control & SE_DACL_PROTECTED)
        ::SetSecurityInfo(made, SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, dacl, nullptr);
    ::LocalFree(descriptor);
}

}  // namespace

output_file::~output_file()
{
    discard_output(*this);
}

namespace {

// Opens what is not a file on a disk (a device that a path reaches) for
// writing, as it is.
open_status open_direct(const std::wstring& name, output_file& out)
{
    HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return open_status::cannot_open;
    out.info = {};
    out.info.kind =
        ::GetFileType(handle) == FILE_TYPE_DISK ? file_kind::disk_device : file_kind::other;
    out.exists = true;
    out.direct = stream_on(handle, _O_WRONLY | _O_TEXT, "w");
    return out.direct ? open_status::ok : open_status::cannot_open;
}

// An older regular file, found through name: opened for reading only, for
// the checks, and replaced at the end under its final path (a link's
// target), which must reach it too.
open_status open_older(HANDLE found, const std::wstring& name, output_file& out)
{
    out.exists = out.replace = true;
    std::optional<std::wstring> final_path = final_path_of(found);
    if (!final_path)
        final_path = name;
    handle_ptr named = open_for_info(*final_path, 0);
    file_info there;
    DWORD ignored;
    if (!named || !disk_file_info(named.get(), there, ignored) || !(there.id == out.info.id))
        return open_status::cannot_open;
    // A file this run may not delete, it may not rename over either.
    HANDLE deleter = ::CreateFileW(final_path->c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (deleter == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        return open_status::cannot_open;
    handle_ptr deleter_owner(deleter == INVALID_HANDLE_VALUE ? nullptr : deleter);
    out.final_path = utf8_path(*final_path);
    HANDLE reader = ::CreateFileW(final_path->c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader != INVALID_HANDLE_VALUE) {
        file_info opened;
        if (!disk_file_info(reader, opened, ignored) || !(opened.id == out.info.id)) {
            ::CloseHandle(reader);
            return open_status::cannot_open;
        }
        out.existing = stream_on(reader, _O_RDONLY | _O_BINARY, "rb");
    }
    return open_status::ok;
}

}  // namespace

open_status open_output(const char* path, output_file& out)
{
    // Exactly NUL discards the document, as /dev/null does elsewhere; every
    // other device name is refused.
    bool discard = ::_stricmp(path, "NUL") == 0;
    bool device;
    std::optional<std::wstring> name =
        discard ? std::optional<std::wstring>(LR"(\\.\NUL)") : file_path(path, device);
    if (!discard && device)
        return open_status::device;
    if (!name)
        return open_status::cannot_open;
    handle_ptr found = discard ? nullptr : open_for_info(*name, 0);
    if (!found && !discard) {
        // A name that reaches no file yet, in a folder that exists.
        if (DWORD error = ::GetLastError(); error != ERROR_FILE_NOT_FOUND)
            return open_status::cannot_open;
        out.final_path = utf8_path(*name);
        out.replace = true;
        return open_status::ok;
    }
    DWORD attributes = 0;
    if (discard || !disk_file_info(found.get(), out.info, attributes))
        return open_direct(*name, out);
    // A folder is no output; a read-only file is not replaced (as it is not
    // written on Windows).
    if (out.info.kind != file_kind::regular || attributes & FILE_ATTRIBUTE_READONLY)
        return open_status::cannot_open;
    return open_older(found.get(), *name, out);
}

bool output_in_use(const output_file& out)
{
    if (!out.replace || !out.exists)
        return false;
    std::optional<std::wstring> name = wide_path(out.final_path);
    if (!name)
        return false;
    // A program that holds it open without letting it be deleted (or
    // renamed over) shares it with no one.
    HANDLE probe = ::CreateFileW(name->c_str(), DELETE | GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    handle_ptr owner(probe);
    // A run that holds it as its data file: its byte is locked.
    if (!lock_run_byte(probe, LOCKFILE_FAIL_IMMEDIATELY))
        return ::GetLastError() == ERROR_LOCK_VIOLATION;
    OVERLAPPED where{};
    where.OffsetHigh = 0x40000000;
    ::UnlockFileEx(probe, 0, 1, 0, &where);
    return false;
}

namespace {

// Creates the run's new file beside final_path under a name of its own
// (into temp), with the older file's attributes (hidden, archive, not
// indexed...) where there is one.
HANDLE create_new_file(const std::wstring& final_path, bool older_exists, std::wstring& temp)
{
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (older_exists) {
        DWORD older = ::GetFileAttributesW(final_path.c_str());
        if (older != INVALID_FILE_ATTRIBUTES)
            attributes = older & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (attributes == 0)
            attributes = FILE_ATTRIBUTE_NORMAL;
    }
    std::wstring stem = folder_of(final_path) + L"\\.trekdump-" +
                        std::to_wstring(::GetCurrentProcessId()) + L"-";
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temp = stem + std::to_wstring(attempt) + L".gpx";
        handle = ::CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE | WRITE_DAC,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               attributes, nullptr);
        if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    return handle;
}

}  // namespace

open_status begin_output(output_file& out, std::FILE*& file)
{
    if (!out.replace) {
        file = out.take_direct();
        return file ? open_status::ok : open_status::cannot_open;
    }
    std::optional<std::wstring> final_path = wide_path(out.final_path);
    if (!final_path)
        return open_status::cannot_open;
    // The new file is made and named for the console handler under the
    // lock, so that no Ctrl+C can leave it behind.
    ::AcquireSRWLockExclusive(&watch_lock);
    if (!out.exists)
        final_path = missing_file_path(*final_path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::wstring temp;
    if (final_path) {
        out.final_path = utf8_path(*final_path);
        handle = create_new_file(*final_path, out.exists, temp);
    }
    if (handle != INVALID_HANDLE_VALUE) {
        new_file = ::ReOpenFile(handle, DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
        if (new_file == INVALID_HANDLE_VALUE) {
            // No handle to delete it by: it goes when this one is closed.
            new_file = nullptr;
            FILE_DISPOSITION_INFO gone{TRUE};
            ::SetFileInformationByHandle(handle, FileDispositionInfo, &gone, sizeof gone);
            ::CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
    }
    ::ReleaseSRWLockExclusive(&watch_lock);
    if (handle == INVALID_HANDLE_VALUE)
        return open_status::cannot_open;
    out.temp_path = utf8_path(temp);
    if (out.existing)
        copy_access_rules(handle_of(out.existing), handle);
    DWORD attributes;
    if (!disk_file_info(handle, out.temp_info, attributes)) {
        ::CloseHandle(handle);
        return open_status::cannot_open;
    }
    file = stream_on(handle, _O_WRONLY | _O_TEXT, "w");
    return file ? open_status::ok : open_status::cannot_open;
}

void discard_output(output_file& out)
{
    if (!out.temp_path.empty()) {
        ::AcquireSRWLockExclusive(&watch_lock);
        remove_new_file();
        ::ReleaseSRWLockExclusive(&watch_lock);
        out.temp_path.clear();
    }
    out.close_streams();
}

commit_status commit_output(output_file& out, bool)
{
    if (!out.replace)
        return commit_status::done;
    // The older file is closed first: Windows replaces no file that is open.
    if (out.existing)
        std::fclose(out.existing);
    out.existing = nullptr;
    std::optional<std::wstring> final_path = wide_path(out.final_path);
    std::optional<std::wstring> temp = wide_path(out.temp_path);
    if (!final_path || !temp || out.temp_path.empty())
        return commit_status::failed;
    // The final path must still reach the file that was checked, or none.
    handle_ptr now = open_for_info(*final_path, 0);
    file_info there;
    DWORD attributes;
    bool found = now && disk_file_info(now.get(), there, attributes);
    now.reset();
    if (found != out.exists || (found && !(there.id == out.info.id)))
        return commit_status::replaced;
    // An event that came while the block was written ends the run before
    // the rename; once the rename is begun, the run completes. Written
    // through: the folder's new entry is on the disk when it returns.
    ::AcquireSRWLockExclusive(&watch_lock);
    bool renamed = !event_pending &&
                   ::MoveFileExW(temp->c_str(), final_path->c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (renamed) {
        ::CloseHandle(new_file);
        new_file = nullptr;
        out.temp_path.clear();
        run_complete = true;
    }
    ::ReleaseSRWLockExclusive(&watch_lock);
    return renamed ? commit_status::done : commit_status::failed;
}

// The console handler is installed as the program starts; from before the
// new file is made, it removes it.
void watch_signals() {}

void hold_signals(bool hold)
{
    ::AcquireSRWLockExclusive(&watch_lock);
    events_held = hold;
    if (!hold && event_pending && !run_complete)
        end_interrupted();
    ::ReleaseSRWLockExclusive(&watch_lock);
}

bool sync_stream(std::FILE* stream)
{
    // A pipe or a device has nothing to sync.
    if (std::fflush(stream) != 0)
        return false;
    return ::GetFileType(handle_of(stream)) != FILE_TYPE_DISK || ::_commit(::_fileno(stream)) == 0;
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

// Installed as the process attaches the program, before any code of the
// program runs (a TLS callback; Ctrl+C's thread waits for the attach to
// end): from then on Ctrl+C ends the run with STATUS_CONTROL_C_EXIT, where
// Wine's own handler would end it with status 0.
namespace {

void NTAPI install_console_handler(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        ::SetConsoleCtrlHandler(sys::on_console_event, TRUE);
}

}  // namespace

// The C runtime calls each callback placed in this section at attach time.
extern "C" __attribute__((section(".CRT$XLF"), used))
const PIMAGE_TLS_CALLBACK trekdump_console_handler = install_console_handler;
