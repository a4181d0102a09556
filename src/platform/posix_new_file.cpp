// POSIX side of new files: O_CREAT | O_EXCL | O_NOFOLLOW, the bits set by fchmod before
// the first byte; new directories by mkdir, which never follows a link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault_injection.h"
#include "platform/new_file.h"
#include "platform/platform.h"
#include "platform/posix_path.h"

namespace vorlan::platform {

namespace {

bool WriteNew(const std::string& path, const void* data, std::size_t size, std::uint32_t permissions) {
    if (data == nullptr && size > 0) return false;
    const std::string native = posix::Resolve(path).path;
    const auto mode = static_cast<mode_t>(permissions & 0777);
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0;
    const char* p = static_cast<const char*>(data);
    for (std::size_t left = size; ok && left > 0;) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) {
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok) ::unlink(native.c_str());
    return ok;
}

}  // namespace

bool WriteNewFile(const std::string& path, const void* data, std::size_t size, std::uint32_t permissions) {
    if (FaultInjected(DiskChange::Write, path)) return false;
    return WriteNew(path, data, size, permissions);
}

bool CopyToNewFile(const std::string& from, const std::string& to, std::optional<std::uint32_t> permissions) {
    if (FaultInjected(DiskChange::Copy, from, to)) return false;
    const auto source = posix::Resolve(from);
    if (!source.exists || !S_ISREG(source.info.st_mode)) return false;
    const auto data = ReadWholeFile(source.path);
    if (!data) return false;
    return WriteNew(to, data->data(), data->size(), permissions.value_or(source.info.st_mode & 0777));
}

bool CreatePrivateDir(const std::string& path) {
    if (FaultInjected(DiskChange::CreateDir, path)) return false;
    const std::string native = posix::Resolve(path).path;
    return ::mkdir(native.c_str(), 0700) == 0 && ::chmod(native.c_str(), 0700) == 0;
}

}  // namespace vorlan::platform
