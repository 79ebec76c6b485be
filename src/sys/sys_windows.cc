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
#include <utility>
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

// The time of a change as one 64-bit count of 100-nanosecond steps.
std::int64_t ticks_of(const FILETIME& time)
{
    return static_cast<std::int64_t>(std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
}

// What the handle's file is: its identity, kind, size, time of the last
// write, number of names and attributes. False for anything but a file or
// folder on a disk (a device, the console, a pipe).
bool disk_file_info(HANDLE handle, file_info& info, DWORD& attributes)
{
    BY_HANDLE_FILE_INFORMATION by;
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(handle, &by))
        return false;
    info.id = {by.dwVolumeSerialNumber, std::uint64_t{by.nFileIndexHigh} << 32 | by.nFileIndexLow};
    info.kind = by.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? file_kind::other : file_kind::regular;
    info.size = static_cast<std::int64_t>(std::uint64_t{by.nFileSizeHigh} << 32 | by.nFileSizeLow);
    info.modified = ticks_of(by.ftLastWriteTime);
    info.links = by.nNumberOfLinks;
    attributes = by.dwFileAttributes;
    return true;
}

// The identity of a handle the system cannot name, as Wine makes of a
// redirected standard handle: its file id is known, its volume may be 0.
bool unnamed_file_info(HANDLE handle, file_info& info)
{
    FILE_ID_INFO id;
    LARGE_INTEGER size;
    FILETIME written;
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) ||
        !::GetFileSizeEx(handle, &size))
        return false;
    std::uint64_t index;
    std::memcpy(&index, id.FileId.Identifier, sizeof index);
    info.id = {id.VolumeSerialNumber, index};
    info.kind = file_kind::regular;
    info.size = size.QuadPart;
    // A handle opened for writing only may not read the times.
    if (::GetFileTime(handle, nullptr, nullptr, &written))
        info.modified = ticks_of(written);
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

// True when the system path begins with a drive that no drive can be: a
// character before the colon that is not a letter (+:99 made absolute is
// \\?\+:\99). Such a path names no file and no device.
bool names_no_drive(const std::wstring& path)
{
    std::wstring_view rest = std::wstring_view(path).substr(path.starts_with(LR"(\\?\)") ? 4 : 0);
    bool letter = !rest.empty() && ((rest[0] >= L'A' && rest[0] <= L'Z') ||
                                    (rest[0] >= L'a' && rest[0] <= L'z'));
    return rest.size() >= 2 && rest[1] == L':' && !letter;
}

// The system path of a path that is neither a device name nor in a device
// namespace; nothing otherwise (device tells which) or when it cannot be made
// or names nothing the system can open (device false then).
std::optional<std::wstring> file_path(const char* path, bool& device)
{
    std::optional<std::wstring> name = system_path(path);
    if (name && names_no_drive(*name)) {
        device = false;
        return std::nullopt;
    }
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

namespace {

// The place in a file that a read or write at offset begins at.
OVERLAPPED at_offset(std::int64_t offset)
{
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return where;
}

// The most bytes one read or write is asked for.
DWORD chunk_of(std::size_t size)
{
    return size > 1u << 30 ? 1u << 30 : static_cast<DWORD>(size);
}

}  // namespace

read_result read_bytes_at(std::FILE* stream, std::int64_t offset, void* bytes, std::size_t size)
{
    // A handle of its own, so that the stream's position stays where it is,
    // also when the stream was opened for writing only.
    HANDLE reader = ::ReOpenFile(handle_of(stream), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (reader == INVALID_HANDLE_VALUE)
        return read_result::failed;
    handle_ptr owner(reader);
    auto* at = static_cast<unsigned char*>(bytes);
    while (size > 0) {
        OVERLAPPED where = at_offset(offset);
        DWORD got = 0;
        if (!::ReadFile(reader, at, chunk_of(size), &got, &where))
            return ::GetLastError() == ERROR_HANDLE_EOF ? read_result::short_read
                                                        : read_result::failed;
        if (got == 0)
            return read_result::short_read;
        at += got;
        offset += got;
        size -= got;
    }
    return read_result::whole;
}

bool write_bytes_at(std::FILE* stream, std::int64_t offset, const void* bytes, std::size_t size,
                    std::size_t& written)
{
    // Straight to the stream's handle, whose file position moves past the
    // bytes; the stream reads nothing after them.
    HANDLE handle = handle_of(stream);
    written = 0;
    const auto* at = static_cast<const unsigned char*>(bytes);
    while (written < size) {
        OVERLAPPED where = at_offset(offset + static_cast<std::int64_t>(written));
        DWORD put = 0;
        if (!::WriteFile(handle, at + written, chunk_of(size - written), &put, &where) || put == 0)
            return false;
        written += put;
    }
    return true;
}

namespace {

// A lock on Windows holds every byte it covers against other handles, so the
// one byte runs lock lies far past any data file, at 2^62: readers never
// wait, only other runs do.
constexpr std::int64_t run_byte = std::int64_t{1} << 62;

BOOL lock_run_byte(HANDLE handle, DWORD flags)
{
    OVERLAPPED where = at_offset(run_byte);
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
// main thread never registers or lets go of a file after it; a guard the
// main thread takes delays the handler's end until the last guard ends.
SRWLOCK watch_lock = SRWLOCK_INIT;
int held_depth = 0;          // signals_held guards in effect
bool event_pending = false;  // an event came while they were
bool run_complete = false;   // finish_run: events no longer end the run

// The files an event removes, by name as the system takes it. The strings
// are made by the main thread, so that the handler allocates nothing.
constexpr std::size_t removal_slots = 4;
std::wstring removal_paths[removal_slots];

// The handles create_new_file opened the run's new files with, by name: a
// deleted file's name goes only with its last handle, which the handler
// closes before the run ends, so that the name is gone when it has ended.
// (One the stream has closed meanwhile may have been given to another
// object by then, which the ending run no longer needs.)
struct made_file {
    std::wstring path;
    HANDLE handle = INVALID_HANDLE_VALUE;
};
made_file made_files[removal_slots];

// Ends the run as Ctrl+C does, at once, after removing the run's files: no
// exit processing, which would flush buffered output. Under watch_lock,
// which is never released.
[[noreturn]] void end_interrupted()
{
    for (const std::wstring& path : removal_paths) {
        if (path.empty() || !::DeleteFileW(path.c_str()))
            continue;
        for (made_file& made : made_files)
            if (made.handle != INVALID_HANDLE_VALUE && made.path == path)
                ::CloseHandle(std::exchange(made.handle, INVALID_HANDLE_VALUE));
    }
    ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    for (;;)
        ::Sleep(INFINITE);
}

// Ctrl+C, Ctrl+Break, and the console window closed, the user logged off or
// the system shut down: each ends the run with STATUS_CONTROL_C_EXIT after
// removing its files; while signals are held, once the last guard ends; not
// at all once the run is complete.
BOOL WINAPI on_console_event(DWORD event)
{
    ::AcquireSRWLockExclusive(&watch_lock);
    if (held_depth == 0 && !run_complete)
        end_interrupted();
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

// A system path as UTF-8, the form the output's names are handed out in.
std::string utf8_path(const std::wstring& path)
{
    return to_utf8(path.c_str(), true).value_or("");
}

// A name the output's pieces are given, as the system takes it: one in the
// system's own form (as open_output_target and beside hand them out) as it
// is, any other made absolute and prefixed.
std::optional<std::wstring> system_name(const std::string& path)
{
    if (!path.starts_with(R"(\\?\)"))
        return system_path(path.c_str());
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
// system follows the link: the empty file is deleted again at once, with
// every event held meanwhile.
std::optional<std::wstring> missing_file_path(const std::wstring& name)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileExW(name.c_str(), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
    else if (DWORD error = ::GetLastError(); error == ERROR_FILE_NOT_FOUND)
        return name;
    signals_held held;
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

// Opens what is not a file on a disk (a device that a path reaches) for
// writing, as it is.
open_status open_direct(const std::wstring& name, output_target& target)
{
    HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return open_status::cannot_open;
    target.info = {};
    target.info.kind =
        ::GetFileType(handle) == FILE_TYPE_DISK ? file_kind::disk_device : file_kind::other;
    target.exists = true;
    target.direct = stream_on(handle, _O_WRONLY | _O_TEXT, "w");
    return target.direct ? open_status::ok : open_status::cannot_open;
}

// An older regular file, found through name: opened for reading only, for
// the checks, and replaced at the end under its final path (a link's
// target), which must reach it too.
open_status open_older(HANDLE found, const std::wstring& name, output_target& target)
{
    target.exists = target.regular = true;
    std::optional<std::wstring> final_path = final_path_of(found);
    if (!final_path)
        final_path = name;
    handle_ptr named = open_for_info(*final_path, 0);
    file_info there;
    DWORD ignored;
    if (!named || !disk_file_info(named.get(), there, ignored) || !(there.id == target.info.id))
        return open_status::cannot_open;
    // A file this run may not delete, it may not rename over either.
    HANDLE deleter = ::CreateFileW(final_path->c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (deleter == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        return open_status::cannot_open;
    handle_ptr deleter_owner(deleter == INVALID_HANDLE_VALUE ? nullptr : deleter);
    target.final_path = utf8_path(*final_path);
    HANDLE reader = ::CreateFileW(final_path->c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader != INVALID_HANDLE_VALUE) {
        file_info opened;
        if (!disk_file_info(reader, opened, ignored) || !(opened.id == target.info.id)) {
            ::CloseHandle(reader);
            return open_status::cannot_open;
        }
        target.reader = stream_on(reader, _O_RDONLY | _O_BINARY, "rb");
    }
    return open_status::ok;
}

}  // namespace

open_status open_output_target(const char* path, output_target& target)
{
    if (*path == '\0')
        return open_status::cannot_open;
    // Exactly NUL discards the document, as /dev/null does elsewhere; every
    // other device name is refused.
    if (::_stricmp(path, "NUL") == 0)
        return open_direct(LR"(\\.\NUL)", target);
    bool device;
    std::optional<std::wstring> name = file_path(path, device);
    if (device)
        return open_status::device;
    if (!name)
        return open_status::cannot_open;
    handle_ptr found = open_for_info(*name, 0);
    if (!found) {
        // A name that reaches no file yet, in a folder that exists.
        if (DWORD error = ::GetLastError(); error != ERROR_FILE_NOT_FOUND)
            return open_status::cannot_open;
        std::optional<std::wstring> final_path = missing_file_path(*name);
        if (!final_path)
            return open_status::cannot_open;
        target.final_path = utf8_path(*final_path);
        target.regular = true;
        return open_status::ok;
    }
    DWORD attributes = 0;
    if (!disk_file_info(found.get(), target.info, attributes))
        return open_direct(*name, target);
    // A folder is no output; a read-only file is not replaced (as it is not
    // written on Windows).
    if (target.info.kind != file_kind::regular || attributes & FILE_ATTRIBUTE_READONLY)
        return open_status::cannot_open;
    return open_older(found.get(), *name, target);
}

bool output_in_use(const std::string& path, std::FILE*)
{
    std::optional<std::wstring> name = path.empty() ? std::nullopt : system_name(path);
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
    OVERLAPPED where = at_offset(run_byte);
    ::UnlockFileEx(probe, 0, 1, 0, &where);
    return false;
}

std::string folder_of(const std::string& path)
{
    std::string::size_type slash = path.find_last_of("/\\");
    if (slash != std::string::npos)
        return path.substr(0, slash);
    // C:name is in the current folder of drive C.
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
}

std::string beside(const std::string& path, const std::string& file_name)
{
    std::string::size_type slash = path.find_last_of("/\\");
    if (slash != std::string::npos)
        return path.substr(0, slash + 1) + file_name;
    return (path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : "") + file_name;
}

unsigned long run_number()
{
    return ::GetCurrentProcessId();
}

create_status create_new_file(const std::string& path, std::FILE*& file)
{
    std::optional<std::wstring> name = system_name(path);
    if (!name)
        return create_status::failed;
    // Shared for deletion, so that a console event removes it by name while
    // it is written; its access rules are those the folder gives, until
    // copy_access_rules gives it the older file's.
    HANDLE handle = ::CreateFileW(name->c_str(), GENERIC_WRITE | DELETE | WRITE_DAC,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? create_status::exists
                                                                            : create_status::failed;
    }
    file = stream_on(handle, _O_WRONLY | _O_TEXT, "w");
    if (!file) {
        ::DeleteFileW(name->c_str());
        return create_status::failed;
    }
    ::AcquireSRWLockExclusive(&watch_lock);
    for (made_file& made : made_files)
        if (made.handle == INVALID_HANDLE_VALUE) {
            made = {*name, handle};
            break;
        }
    ::ReleaseSRWLockExclusive(&watch_lock);
    return create_status::created;
}

bool copy_access_rules(const std::string& older_path, std::FILE* older, std::FILE* made)
{
    // Only rules cut off from the folder's (a protected DACL) need carrying:
    // otherwise the new file inherits the same rules from the same folder as
    // the older one did.
    handle_ptr opened;
    HANDLE from = older ? handle_of(older) : INVALID_HANDLE_VALUE;
    if (from == INVALID_HANDLE_VALUE) {
        std::optional<std::wstring> name = system_name(older_path);
        HANDLE handle = name ? ::CreateFileW(name->c_str(), READ_CONTROL,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                             nullptr)
                             : INVALID_HANDLE_VALUE;
        if (handle == INVALID_HANDLE_VALUE)
            return false;  // rules that cannot be read may be protected ones
        opened.reset(handle);
        from = handle;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ::GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        // A file system without access rules (FAT) has none to carry.
        return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision;
    bool carried = true;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision))
        carried = false;
    else if (control & SE_DACL_PROTECTED)
        carried = ::SetSecurityInfo(handle_of(made), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    return carried;
}

bool copy_mode(const std::string& older_path, bool older_exists, std::FILE* made)
{
    // The older file's hidden, system, archive and not-indexed attributes;
    // a GPX without an older one keeps those every new file gets.
    if (!older_exists)
        return true;
    std::optional<std::wstring> name = system_name(older_path);
    DWORD older = name ? ::GetFileAttributesW(name->c_str()) : INVALID_FILE_ATTRIBUTES;
    if (older == INVALID_FILE_ATTRIBUTES)
        return true;
    constexpr DWORD carried = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    HANDLE handle = handle_of(made);
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        return false;
    DWORD wanted = (basic.FileAttributes & ~(carried | FILE_ATTRIBUTE_NORMAL)) | (older & carried);
    if (wanted == 0)
        wanted = FILE_ATTRIBUTE_NORMAL;
    if (wanted == basic.FileAttributes)
        return true;
    FILE_BASIC_INFO change{};  // times of 0 stay as they are
    change.FileAttributes = wanted;
    return ::SetFileInformationByHandle(handle, FileBasicInfo, &change, sizeof change);
}

namespace {

// True when path reaches a file or folder; size tells how large it is.
bool name_taken(const std::wstring& path, std::uint64_t& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
    return true;
}

}  // namespace

place_status replace_keeping(const std::string& new_path, const std::string& final_path,
                             const std::string& backup_path, std::string& older_now)
{
    std::optional<std::wstring> made = system_name(new_path), final_name = system_name(final_path),
                                backup = system_name(backup_path);
    if (!made || !final_name || !backup)
        return place_status::failed;
    // The older file renamed to the backup name and the new one to the final
    // name, keeping the older one's attributes and access rules.
    if (::ReplaceFileW(final_name->c_str(), made->c_str(), backup->c_str(),
                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        older_now = backup_path;
        return place_status::done;
    }
    std::uint64_t backup_size, final_size;
    if (!name_taken(*backup, backup_size))
        return place_status::unsupported;  // nothing has changed
    if (name_taken(*final_name, final_size)) {
        // The older file still under its name, and under the backup name the
        // empty file that some systems make before they move the older one
        // there.
        if (backup_size == 0 && ::DeleteFileW(backup->c_str()))
            return place_status::unsupported;
        return place_status::failed;
    }
    // Half done: the older file under the backup name, the new one still
    // under its own. The new one is moved into place, or else the older one
    // back.
    if (::MoveFileExW(made->c_str(), final_name->c_str(), MOVEFILE_WRITE_THROUGH)) {
        older_now = backup_path;
        return place_status::done;
    }
    ::MoveFileExW(backup->c_str(), final_name->c_str(), MOVEFILE_WRITE_THROUGH);
    return place_status::failed;
}

place_status rename_file(const std::string& from, const std::string& to, bool replace)
{
    std::optional<std::wstring> source = system_name(from), target = system_name(to);
    if (!source || !target)
        return place_status::failed;
    // Written through: the folder's new entry is on the disk when it returns.
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(source->c_str(), target->c_str(), flags))
        return place_status::done;
    DWORD error = ::GetLastError();
    return !replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
               ? place_status::taken
               : place_status::failed;
}

bool remove_file(const std::string& path)
{
    std::optional<std::wstring> name = system_name(path);
    return name && ::DeleteFileW(name->c_str());
}

// Renames are written through (rename_file): the folder holds nothing more
// to wait for.
bool sync_folder(const std::string&)
{
    return true;
}

// The console handler is installed as the program starts.
void watch_signals() {}

void remove_on_signal(const std::string& path)
{
    std::optional<std::wstring> name = system_name(path);
    if (!name)
        return;
    ::AcquireSRWLockExclusive(&watch_lock);
    for (std::wstring& slot : removal_paths)
        if (slot.empty()) {
            slot = *name;
            break;
        }
    ::ReleaseSRWLockExclusive(&watch_lock);
}

void keep_on_signal(const std::string& path)
{
    std::optional<std::wstring> name = system_name(path);
    if (!name)
        return;
    ::AcquireSRWLockExclusive(&watch_lock);
    for (std::wstring& slot : removal_paths)
        if (slot == *name)
            slot.clear();
    for (made_file& made : made_files)
        if (made.path == *name)
            made = {};
    ::ReleaseSRWLockExclusive(&watch_lock);
}

signals_held::signals_held()
{
    ::AcquireSRWLockExclusive(&watch_lock);
    ++held_depth;
    ::ReleaseSRWLockExclusive(&watch_lock);
}

signals_held::~signals_held()
{
    ::AcquireSRWLockExclusive(&watch_lock);
    if (--held_depth == 0 && event_pending && !run_complete)
        end_interrupted();
    ::ReleaseSRWLockExclusive(&watch_lock);
}

bool ending_signal_pending()
{
    ::AcquireSRWLockExclusive(&watch_lock);
    bool pending = event_pending && !run_complete;
    ::ReleaseSRWLockExclusive(&watch_lock);
    return pending;
}

void finish_run()
{
    ::AcquireSRWLockExclusive(&watch_lock);
    run_complete = true;
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
