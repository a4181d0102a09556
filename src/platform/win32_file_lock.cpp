// Win32 side of the file lock: LockFileEx on a handle of the lock file; a name that is a
// reparse point (a link) is refused.
#include "platform/win32_handle.h"

#include "platform/file_lock.h"

namespace vorlan::platform {

namespace {

// OpenLockFile: the lock file's handle; created new when missing, never a link.
HANDLE OpenLockFile(const std::string& path) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, CREATE_NEW, kFlags, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS)
        h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        ::CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

}  // namespace

LockResult FileLock::Lock(const std::string& path, bool wait) {
    Unlock();
    const HANDLE h = OpenLockFile(path);
    if (h == INVALID_HANDLE_VALUE) return LockResult::Failed;
    OVERLAPPED at {};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (!::LockFileEx(h, flags, 0, 1, 0, &at)) {
        const bool busy = ::GetLastError() == ERROR_LOCK_VIOLATION || ::GetLastError() == ERROR_IO_PENDING;
        ::CloseHandle(h);
        return busy ? LockResult::Busy : LockResult::Failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return LockResult::Held;
}

void FileLock::Unlock() {
    if (handle_ == kNone) return;
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing the handle ends the lock
    handle_ = kNone;
}

}  // namespace vorlan::platform
