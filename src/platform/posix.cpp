// POSIX implementation of the platform layer: files, directories, environment, time.
// Path spelling rules live in posix_path.cpp, modules in posix_module.cpp.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "platform/calendar.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "platform/posix_path.h"

namespace vorlan::platform {

using posix::Resolve;

namespace {

// Fd: a file descriptor closed on scope exit.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Close: closes now and reports whether the close succeeded (write errors can show here).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// SplitLast: directory part (without the separator) and last component of a path.
std::pair<std::string, std::string> SplitLast(const std::string& path) {
    const auto pos = path.find_last_of("\\/");
    if (pos == std::string::npos) return {"", path};
    return {path.substr(0, pos == 0 ? 1 : pos), path.substr(pos + 1)};
}

}  // namespace

std::optional<std::uint32_t> GetAttributes(const std::string& path) {
    const auto r = Resolve(path);
    if (!r.exists) return std::nullopt;
    return posix::ToAttributes(r.info);
}

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
    const auto r = Resolve(path);
    if (!r.exists) return false;
    if (S_ISDIR(r.info.st_mode)) return true;  // as on Windows, read-only does not protect a directory
    mode_t mode = r.info.st_mode & 07777;
    if (attributes & kAttrReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return ::chmod(r.path.c_str(), mode) == 0;
}

bool FileExists(const std::string& path) {
    const auto r = Resolve(path);
    return r.exists && !S_ISDIR(r.info.st_mode);
}

bool DirectoryExists(const std::string& path) {
    const auto r = Resolve(path);
    return r.exists && S_ISDIR(r.info.st_mode);
}

bool CreateDir(const std::string& path) {
    if (FaultInjected(DiskChange::CreateDir, path)) return false;
    const auto r = Resolve(path);
    return !r.exists && ::mkdir(r.path.c_str(), 0777) == 0;
}

bool RemoveDir(const std::string& path) {
    if (FaultInjected(DiskChange::Delete, path)) return false;
    const auto r = Resolve(path);
    return r.exists && ::rmdir(r.path.c_str()) == 0;
}

bool DeleteFile(const std::string& path) {
    if (FaultInjected(DiskChange::Delete, path)) return false;
    const auto r = Resolve(path);
    struct stat info {};
    if (::lstat(r.path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    if (!S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0) return false;  // read-only
    return ::unlink(r.path.c_str()) == 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    if (FaultInjected(DiskChange::Rename, from, to)) return false;
    const auto source = Resolve(from);
    const auto target = Resolve(to);
    if (!source.exists) return false;
    // A case-only rename of the same entry is allowed; any other existing target is refused.
    if (target.exists && target.path != source.path) return false;
    if (target.path == source.path) {
        const std::string dir = SplitLast(source.path).first;
        const std::string renamed = dir.empty() ? SplitLast(to).second
                                                : (dir == "/" ? dir : dir + "/") + SplitLast(to).second;
        return ::rename(source.path.c_str(), renamed.c_str()) == 0;
    }
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, source.path.c_str(), AT_FDCWD, target.path.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    struct stat info {};
    if (::lstat(target.path.c_str(), &info) == 0) return false;
    return ::rename(source.path.c_str(), target.path.c_str()) == 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    if (FaultInjected(DiskChange::Rename, from, to)) return false;
    const auto source = Resolve(from);
    if (!source.exists || S_ISDIR(source.info.st_mode)) return false;
    const auto target = Resolve(to);
    if (target.exists && S_ISDIR(target.info.st_mode)) return false;
    return ::rename(source.path.c_str(), target.path.c_str()) == 0;
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    const auto r = Resolve(path);
    if (!r.exists || S_ISDIR(r.info.st_mode)) return std::nullopt;
    return static_cast<std::int64_t>(r.info.st_size);
}

std::optional<FileStamp> StampOfFile(const std::string& path) {
    const auto r = Resolve(path);
    if (!r.exists || S_ISDIR(r.info.st_mode)) return std::nullopt;
    return FileStamp{static_cast<std::int64_t>(r.info.st_size),
                     static_cast<std::int64_t>(r.info.st_mtim.tv_sec) * 1000000000 + r.info.st_mtim.tv_nsec,
                     static_cast<std::uint64_t>(r.info.st_ino)};
}

std::int64_t NowNs() {
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::vector<DirEntry> Enumerate(const std::string& pattern) {
    std::vector<DirEntry> entries;
    const auto [dirPart, mask] = SplitLast(pattern);
    if (mask.empty()) return entries;
    const std::string dir = dirPart.empty() ? "." : Resolve(dirPart).path;
    std::unique_ptr<DIR, DirCloser> d(::opendir(dir.c_str()));
    if (!d) return entries;
    const int dirFd = ::dirfd(d.get());
    while (const dirent* e = ::readdir(d.get())) {
        const std::string name = e->d_name;
        if (!posix::MatchMask(mask, name)) continue;
        struct stat info {};
        if (::fstatat(dirFd, e->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        std::uint32_t attributes = posix::ToAttributes(info);
        if (S_ISLNK(info.st_mode)) {
            // A link to a directory is not reported as a directory, so that tree walks
            // (deleting, copying) never leave the tree through it.
            struct stat target {};
            const bool ok = ::fstatat(dirFd, e->d_name, &target, 0) == 0;
            attributes = ok && !S_ISDIR(target.st_mode) ? posix::ToAttributes(target) : kAttrReparsePoint;
        }
        entries.push_back({name, attributes});
    }
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const auto r = Resolve(path);
    Fd fd(::open(r.path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    std::string data;
    data.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(chunk, static_cast<std::size_t>(n));
    }
    return data;
}

namespace {

// WriteResolved: WriteWholeFile without the fault check, for a resolved path.
bool WriteResolved(const posix::ResolvedPath& r, const void* data, std::size_t size,
                   std::optional<std::uint32_t> permissions) {
    if (data == nullptr && size > 0) return false;
    if (r.exists && (S_ISDIR(r.info.st_mode) || (r.info.st_mode & S_IWUSR) == 0)) return false;
    const mode_t createMode = permissions ? static_cast<mode_t>(*permissions & 0777) : 0666;
    Fd fd(::open(r.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, createMode));
    if (fd.get() < 0) return false;
    struct stat opened {};
    const bool regular = ::fstat(fd.get(), &opened) == 0 && S_ISREG(opened.st_mode);
    // The bits are set before the first byte: the umask cannot widen them away, and a
    // replaced file that others could read is closed to them first.
    bool ok = !permissions || !regular || ::fchmod(fd.get(), createMode) == 0;
    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (ok && left > 0) {
        const ssize_t n = ::write(fd.get(), p, left);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) {
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    ok = fd.Close() && ok;
    if (!ok && regular) ::unlink(r.path.c_str());  // no half-written file stays behind
    return ok;
}

}  // namespace

bool WriteWholeFile(const std::string& path, const void* data, std::size_t size,
                    std::optional<std::uint32_t> permissions) {
    if (FaultInjected(DiskChange::Write, path)) return false;
    return WriteResolved(Resolve(path), data, size, permissions);
}

bool CopyWholeFile(const std::string& from, const std::string& to, std::optional<std::uint32_t> permissions) {
    if (FaultInjected(DiskChange::Copy, from, to)) return false;
    const auto source = Resolve(from);
    if (!source.exists || S_ISDIR(source.info.st_mode)) return false;
    const auto data = ReadWholeFile(source.path);
    if (!data) return false;
    const std::uint32_t bits = permissions ? *permissions : static_cast<std::uint32_t>(source.info.st_mode & 0777);
    return WriteResolved(Resolve(to), data->data(), data->size(), bits);
}

std::string TempDirectory() {
    std::string dir;
    if (const char* env = std::getenv("TMPDIR"); env != nullptr && *env != '\0') dir = env;
    else dir = "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::optional<std::string> GetEnv(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool SetEnv(const std::string& name, const std::string& value) {
    return !name.empty() && ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

void YieldThread() { ::sched_yield(); }

double LocalNowDays() {
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const time_t seconds = now.tv_sec;
    tm local {};
    ::localtime_r(&seconds, &local);
    return static_cast<double>(DaysSince18991230(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) +
           DayFraction(local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1000000L));
}

std::string NativePath(const std::string& path) { return Resolve(path).path; }

}  // namespace vorlan::platform
