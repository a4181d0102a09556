// FileLock: an exclusive lock between processes (and between handles of one process), held
// through an open handle of a lock file: flock on POSIX, LockFileEx on Windows. The lock
// ends when Unlock is called, the object goes, or the process dies, so a crash never leaves
// it taken. The lock file is created new (owner-only, never through a link) when missing,
// holds nothing, and is never deleted: a deleted lock file could be locked twice.
#pragma once

#include <cstdint>
#include <string>

namespace vorlan::platform {

enum class LockResult : std::uint8_t {
    Held,    // the lock is this object's
    Busy,    // another holder has it (only when not waiting)
    Failed,  // the lock file cannot be opened or created (missing directory, a link, …)
};

class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Lock: takes the lock of the file at path; with wait, blocks until it is free. An object
    // that already holds a lock gives it up first.
    LockResult Lock(const std::string& path, bool wait);
    // Unlock: gives the lock up (nothing when none is held).
    void Unlock();
    bool Held() const { return handle_ != kNone; }

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;  // a descriptor on POSIX, a HANDLE on Windows
};

}  // namespace vorlan::platform
