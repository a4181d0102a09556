#include "file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

namespace vtk::os {

std::optional<FileStatus> Status(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStatus s;
    s.isFile = S_ISREG(st.st_mode);
    s.isDirectory = S_ISDIR(st.st_mode);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.identity = static_cast<std::uint64_t>(st.st_ino);
    return s;
}

std::string HostText(const std::string& utf8, bool* lossy) {
    if (lossy != nullptr) *lossy = false;
    return utf8;
}

std::string Utf8Text(const std::string& host) { return host; }

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    auto size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > limit) return std::nullopt;
    in.seekg(0);
    std::string data(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(data.data(), size)) return std::nullopt;
    return data;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

bool WriteNewFile(const std::string& path, std::string_view bytes, std::uint32_t bits) {
    const auto mode = static_cast<mode_t>(bits & 0777);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    std::size_t done = 0;
    bool ok = ::fchmod(fd, mode) == 0;  // exactly these bits, whatever the umask
    while (ok && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) ::unlink(path.c_str());
    return ok;
}

std::optional<std::uint32_t> PermissionBits(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::uint32_t>(st.st_mode & 0777);
}

bool RenameReplacing(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool CreateDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    if (auto s = Status(dir)) return s->isDirectory;
    std::size_t cut = dir.find_last_of('/', dir.find_last_not_of('/'));
    if (cut != std::string::npos && cut > 0) CreateDirectories(dir.substr(0, cut));
    if (::mkdir(dir.c_str(), 0755) == 0) return true;
    auto s = Status(dir);  // made by someone else meanwhile
    return s && s->isDirectory;
}

std::vector<std::string> FileNames(const std::string& dir) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
    if (!d) return names;
    std::string base = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    while (const dirent* e = ::readdir(d.get())) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (auto s = Status(base + name); s && s->isFile) names.push_back(name);
    }
    return names;
}

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace vtk::os
