// Files as the toolkit sees them: paths with "\" or "/" matched without regard to
// case (exact spelling first), whole-file reads, and writes that never leave a
// half-written file behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtk {

// ResolvePath: the existing path a name refers to (each missing component replaced by
// the first entry that differs only in case); components that do not exist keep
// their spelling. "\" and "/" both separate components.
std::string ResolvePath(const std::string& path);

// JoinPath: a directory and a relative name ("\" or "/" separated) as one path.
std::string JoinPath(const std::string& dir, const std::string& name);

// FileStamp: what identifies one version of a file (for the parse cache).
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};
// StampOf: the stamp of a regular file, nullopt when it does not exist.
std::optional<FileStamp> StampOf(const std::string& resolved);
// Located: what a name was found to be on disk: the path it resolved to, whether that is a
// regular file or a directory, and its stamp (size, modification time, identity).
struct Located {
    std::string path;
    bool isDirectory = false;
    FileStamp stamp;
};
// Locate: the file or directory a name refers to, as ResolvePath finds it; nullopt when
// there is none. One status query when the name is spelled as on disk.
std::optional<Located> Locate(const std::string& name);
// Settled: whether a stamp's modification time lies two seconds or more in the past; a
// file changed more recently may change again without a visible change of its stamp.
bool Settled(const FileStamp& stamp);

// IsFile / IsDirectory: whether a (resolved) path names an existing file or directory.
bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);

// ReadFile: the whole content, nullopt when it cannot be read or exceeds limit bytes.
std::optional<std::string> ReadFile(const std::string& path, std::size_t limit = 64u << 20);

// WriteFileAtomic: replaces a file with the bytes given via a temporary file and a
// rename; mode 0600 for private material, else the replaced file's mode (0644 for a new
// one). Creates missing parent directories.
bool WriteFileAtomic(const std::string& path, const std::string& bytes, bool ownerOnly);

// CopyFileWhole: copies one file; the copy gets the source's permission bits.
bool CopyFileWhole(const std::string& from, const std::string& to);

// RenameFile: renames, replacing the target.
bool RenameFile(const std::string& from, const std::string& to);

// SameFile: whether two paths name one existing file (false when b is empty).
bool SameFile(const std::string& a, const std::string& b);

// ListFiles: regular files directly in a directory, full paths, sorted by name.
std::vector<std::string> ListFiles(const std::string& dir);

// InstalledFiles: the files of a directory (none when dir is empty) and a single configured
// file (when not empty).
std::vector<std::string> InstalledFiles(const std::string& dir, const std::string& file);

// EqualNoCase: equality of UTF-8 texts without regard to case (the library's one rule).
bool EqualNoCase(const std::string& a, const std::string& b);

// IsStaged: a file staged beside a store change (name ending in ".new"), not yet in place.
inline bool IsStaged(const std::string& file) {
    return file.size() >= 4 && file.compare(file.size() - 4, 4, ".new") == 0;
}

}  // namespace vtk
