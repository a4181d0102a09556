// POSIX side of the guarded file services.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/fault_injection.h"
#include "platform/guarded_files.h"
#include "platform/posix_path.h"

namespace vorlan::platform {

namespace {

constexpr int kNameAttempts = 16;

// Descriptor: a file descriptor closed on scope exit.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// RandomName: 16 hex digits from the system's random source; empty when it fails.
std::string RandomName() {
    unsigned char bytes[8];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = "vorlan-";
    for (unsigned char b : bytes) name += {kHex[b >> 4], kHex[b & 15]};
    return name;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit) {
    // Without O_NONBLOCK the open of a FIFO would wait for a writer.
    const Descriptor file{::open(posix::Resolve(path).path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::string data;
    char chunk[65536];
    while (data.size() <= limit) {
        const ssize_t n = ::read(file.fd, chunk, std::min(sizeof chunk, limit + 1 - data.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return data;
        data.append(chunk, static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

std::string CreatePrivateDirectory(const std::string& parent) {
    std::string base = posix::Resolve(parent).path;
    if (!base.empty() && base.back() != '/') base += '/';
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = RandomName();
        if (name.empty()) return {};
        const std::string dir = base + name;
        if (FaultInjected(DiskChange::CreateDir, dir)) return {};
        // mkdir never follows a link at the name: a planted one is just a name taken.
        if (::mkdir(dir.c_str(), 0700) != 0) {
            if (errno == EEXIST) continue;
            return {};
        }
        const Descriptor opened{::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
        if (opened.fd >= 0 && ::fchmod(opened.fd, 0700) == 0) return dir;
        ::rmdir(dir.c_str());
        return {};
    }
    return {};
}

}  // namespace vorlan::platform
