// POSIX side of the file lock: flock on a descriptor of the lock file, which is opened with
// O_NOFOLLOW and, when new, made with O_EXCL and its bits set by fchmod.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_lock.h"
#include "platform/posix_path.h"

namespace vorlan::platform {

namespace {

// OpenLockFile: the lock file's descriptor; created new (0600) when missing, otherwise the
// existing regular file, never a link.
int OpenLockFile(const std::string& native) {
    int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        if (::fchmod(fd, 0600) == 0) return fd;
        ::close(fd);
        return -1;
    }
    if (errno != EEXIST) return -1;
    fd = ::open(native.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

LockResult FileLock::Lock(const std::string& path, bool wait) {
    Unlock();
    const int fd = OpenLockFile(posix::Resolve(path).path);
    if (fd < 0) return LockResult::Failed;
    int result = 0;
    while ((result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? LockResult::Busy : LockResult::Failed;
    }
    handle_ = fd;
    return LockResult::Held;
}

void FileLock::Unlock() {
    if (handle_ == kNone) return;
    ::close(static_cast<int>(handle_));  // closing the descriptor ends the lock
    handle_ = kNone;
}

}  // namespace vorlan::platform
