// Win32 implementation of the platform layer: files, directories, environment, time.
// Modules are in win32_module.cpp.
#include "platform/win32_handle.h"

#include <algorithm>

#include "platform/calendar.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "platform/win32_open_read.h"

namespace vorlan::platform {

using win32::FileHandle;
using win32::FindHandle;
using win32::Narrow;
using win32::Wide;

std::optional<std::uint32_t> GetAttributes(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return static_cast<std::uint32_t>(attributes);
}

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
    DWORD settable = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    if (settable == 0) settable = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileAttributesW(Wide(path).c_str(), settable) != 0;
}

bool FileExists(const std::string& path) {
    const auto attributes = GetAttributes(path);
    return attributes && (*attributes & kAttrDirectory) == 0;
}

bool DirectoryExists(const std::string& path) {
    const auto attributes = GetAttributes(path);
    return attributes && (*attributes & kAttrDirectory) != 0;
}

bool CreateDir(const std::string& path) {
    if (FaultInjected(DiskChange::CreateDir, path)) return false;
    return ::CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool RemoveDir(const std::string& path) {
    if (FaultInjected(DiskChange::Delete, path)) return false;
    return ::RemoveDirectoryW(Wide(path).c_str()) != 0;
}

bool DeleteFile(const std::string& path) {
    if (FaultInjected(DiskChange::Delete, path)) return false;
    return ::DeleteFileW(Wide(path).c_str()) != 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    if (FaultInjected(DiskChange::Rename, from, to)) return false;
    return ::MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    if (FaultInjected(DiskChange::Rename, from, to)) return false;
    const DWORD attributes = ::GetFileAttributesW(Wide(from).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // A target that a reader holds open cannot be replaced until it is closed: such a
    // rename is tried again for up to half a second.
    const std::wstring source = Wide(from), target = Wide(to);
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = ::GetLastError();
        if (attempt == 50 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) return false;
        ::Sleep(10);
    }
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

namespace {
// Nanoseconds since 1970-01-01 UTC of a FILETIME (100 ns steps since 1601-01-01).
std::int64_t UnixNs(const FILETIME& t) {
    const auto ticks = (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return (ticks - 116444736000000000LL) * 100;
}
}  // namespace

std::optional<FileStamp> StampOfFile(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return FileStamp{(static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                     UnixNs(data.ftLastWriteTime), static_cast<std::uint64_t>(UnixNs(data.ftCreationTime))};
}

std::int64_t NowNs() {
    FILETIME now {};
    ::GetSystemTimeAsFileTime(&now);
    return UnixNs(now);
}

std::vector<DirEntry> Enumerate(const std::string& pattern) {
    std::vector<DirEntry> entries;
    WIN32_FIND_DATAW data {};
    FindHandle find(::FindFirstFileW(Wide(pattern).c_str(), &data));
    if (!find.valid()) return entries;
    do {
        // A name the code page cannot write cannot be named by the callers either: left out.
        if (auto name = Narrow(data.cFileName)) entries.push_back({std::move(*name), static_cast<std::uint32_t>(data.dwFileAttributes)});
    } while (::FindNextFileW(find.get(), &data));
    return entries;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    FileHandle file(vorlan::wide::OpenToRead(Wide(path)));
    if (!file.valid()) return std::nullopt;
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
    std::string data;
    data.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[65536];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr)) return std::nullopt;
        if (read == 0) break;
        data.append(chunk, read);
    }
    return data;
}

namespace {

// WriteBytes: WriteWholeFile without the fault check. Permission bits do not apply: a new
// file takes the access list of its directory.
bool WriteBytes(const std::string& path, const void* data, std::size_t size) {
    if (data == nullptr && size > 0) return false;
    // A read-only file is never replaced (checked here too, since not every system refuses).
    const std::wstring name = Wide(path);
    const DWORD existing = ::GetFileAttributesW(name.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY)) return false;
    FileHandle file(
        ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        ok = ::WriteFile(file.get(), p, chunk, &written, nullptr) && written > 0;
        p += written;
        size -= written;
    }
    ok = file.Close() && ok;
    if (!ok) ::DeleteFileW(name.c_str());  // no half-written file stays behind
    return ok;
}

}  // namespace

bool WriteWholeFile(const std::string& path, const void* data, std::size_t size, std::optional<std::uint32_t>) {
    if (FaultInjected(DiskChange::Write, path)) return false;
    return WriteBytes(path, data, size);
}

bool CopyWholeFile(const std::string& from, const std::string& to, std::optional<std::uint32_t>) {
    if (FaultInjected(DiskChange::Copy, from, to)) return false;
    const auto data = ReadWholeFile(from);
    if (!data) return false;
    return WriteBytes(to, data->data(), data->size());
}

std::string TempDirectory() {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    buffer.resize(n <= buffer.size() ? n : 0);
    return Narrow(buffer).value_or(std::string());
}

std::optional<std::string> GetEnv(const std::string& name) {
    std::string buffer(256, '\0');
    for (;;) {
        ::SetLastError(0);
        const DWORD n = ::GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (n < buffer.size()) return buffer.substr(0, n);
        buffer.resize(n);  // n is the size needed, with the terminating NUL
    }
}

bool SetEnv(const std::string& name, const std::string& value) {
    return ::SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

std::uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

void YieldThread() { ::SwitchToThread(); }

double LocalNowDays() {
    SYSTEMTIME t {};
    ::GetLocalTime(&t);
    return static_cast<double>(DaysSince18991230(t.wYear, t.wMonth, t.wDay)) +
           DayFraction(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

std::string NativePath(const std::string& path) { return path; }

}  // namespace vorlan::platform
