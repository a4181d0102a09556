#include "file_io.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "file_system.h"
#include "platform/text_chars.h"

namespace fs = std::filesystem;

namespace vtk {

namespace {

std::string Slashes(std::string p) {
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

bool Exists(const std::string& p) { return os::Status(p).has_value(); }

}  // namespace

bool EqualNoCase(const std::string& a, const std::string& b) { return vorlan::chars::SameUtf8NoCase(a, b); }

std::vector<std::string> InstalledFiles(const std::string& dir, const std::string& file) {
    std::vector<std::string> files;
    if (!dir.empty()) files = ListFiles(dir);
    if (!file.empty()) files.push_back(file);
    return files;
}

std::string ResolvePath(const std::string& path) {
    std::string p = Slashes(path);
    if (p.empty() || os::kNamesIgnoreCase || Exists(p)) return p;
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
    auto st = os::Status(resolved);
    if (!st || !st->isFile) return std::nullopt;
    return FileStamp{st->size, st->mtimeNs, st->identity};
}

std::optional<Located> Locate(const std::string& name) {
    std::string path = Slashes(name);
    auto st = os::Status(path);
    if (!st && !os::kNamesIgnoreCase && !path.empty()) {
        path = ResolvePath(path);
        st = os::Status(path);
    }
    if (!st || (!st->isFile && !st->isDirectory)) return std::nullopt;
    return Located{std::move(path), st->isDirectory, FileStamp{st->size, st->mtimeNs, st->identity}};
}

bool Settled(const FileStamp& stamp) {
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
    return now.count() - stamp.mtimeNs >= 2'000'000'000LL;
}

bool IsFile(const std::string& path) {
    auto st = os::Status(path);
    return st && st->isFile;
}

bool IsDirectory(const std::string& path) {
    auto st = os::Status(path);
    return st && st->isDirectory;
}

std::optional<std::string> ReadFile(const std::string& path, std::size_t limit) { return os::ReadWholeFile(path, limit); }

namespace {

// WriteWithBits: WriteFileAtomic with the new file's permission bits given.
bool WriteWithBits(const std::string& path, const std::string& bytes, std::uint32_t bits) {
    static std::atomic<unsigned> counter{0};
    std::size_t cut = path.find_last_of("/\\");
    if (cut != std::string::npos && cut > 0) os::CreateDirectories(path.substr(0, cut));
    std::string tmp = path + ".tmp" + std::to_string(os::ProcessId()) + "_" + std::to_string(counter++);
    if (!os::WriteNewFile(tmp, bytes, bits)) return false;
    if (os::RenameReplacing(tmp, path)) return true;
    os::RemoveFile(tmp);
    return false;
}

}  // namespace

bool WriteFileAtomic(const std::string& path, const std::string& bytes, bool ownerOnly) {
    // A file that is rewritten keeps its permission bits; key material is the owner's alone.
    return WriteWithBits(path, bytes, ownerOnly ? 0600 : os::PermissionBits(path).value_or(0644));
}

bool CopyFileWhole(const std::string& from, const std::string& to) {
    auto data = ReadFile(from);
    if (!data) return false;
    auto bits = os::PermissionBits(from);
    return bits && WriteWithBits(to, *data, *bits);
}

bool RenameFile(const std::string& from, const std::string& to) { return os::RenameReplacing(from, to); }

bool SameFile(const std::string& a, const std::string& b) { return !b.empty() && os::SameFile(a, b); }

std::vector<std::string> ListFiles(const std::string& dir) {
    std::vector<std::string> out;
    for (const std::string& name : os::FileNames(dir)) out.push_back(JoinPath(dir, name));
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace vtk
