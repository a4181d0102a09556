#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace vtk {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string Slashes(std::string p) {
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

bool Exists(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

}  // namespace

std::string ResolvePath(const std::string& path) {
    std::string p = Slashes(path);
    if (p.empty() || Exists(p)) return p;
    std::string out;
    std::size_t pos = 0;
    if (p[0] == '/') {
        out = "/";
        pos = 1;
    }
    bool missing = false;  // once a component is missing, the rest keeps its spelling
    while (pos <= p.size()) {
        std::size_t next = p.find('/', pos);
        if (next == std::string::npos) next = p.size();
        std::string part = p.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty()) continue;
        std::string base = out.empty() ? "." : out;
        std::string candidate = out.empty() ? part : (out.back() == '/' ? out + part : out + "/" + part);
        if (!missing && !Exists(candidate) && part != "." && part != "..") {
            std::error_code ec;
            bool found = false;
            for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
                std::string name = it->path().filename().string();
                if (EqualNoCase(name, part)) {
                    candidate = out.empty() ? name : (out.back() == '/' ? out + name : out + "/" + name);
                    found = true;
                    break;
                }
            }
            missing = !found;
        }
        out = candidate;
    }
    return out;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return Slashes(name);
    std::string d = Slashes(dir);
    if (d.back() != '/') d += '/';
    return d + Slashes(name);
}

std::optional<FileStamp> StampOf(const std::string& resolved) {
    struct stat st;
    if (::stat(resolved.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    FileStamp s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    return s;
}

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> ReadFile(const std::string& path, std::size_t limit) {
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

namespace {

// WriteWithMode: WriteFileAtomic with the new file's permission bits given.
bool WriteWithMode(const std::string& path, const std::string& bytes, mode_t mode) {
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    std::string tmp = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    // Exactly these bits, whatever the umask.
    bool ok = ::fchmod(fd, mode) == 0;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

}  // namespace

bool WriteFileAtomic(const std::string& path, const std::string& bytes, bool ownerOnly) {
    struct stat st;
    // A file that is rewritten keeps its permission bits; key material is the owner's alone.
    const mode_t mode = ownerOnly ? 0600 : ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0644;
    return WriteWithMode(path, bytes, mode);
}

bool CopyFileWhole(const std::string& from, const std::string& to) {
    struct stat st;
    if (::stat(from.c_str(), &st) != 0) return false;
    auto data = ReadFile(from);
    if (!data) return false;
    return WriteWithMode(to, *data, st.st_mode & 0777);
}

bool RenameFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

std::vector<std::string> ListFiles(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) out.push_back(it->path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace vtk
