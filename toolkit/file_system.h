// The operating-system services behind the toolkit's file work, one implementation per
// platform (file_system_posix.cpp, file_system_win32.cpp). Paths are the toolkit's own
// (either separator); names are ANSI texts on Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtk::os {

// kNamesIgnoreCase: whether the file system itself matches names without regard to case.
#if defined(_WIN32)
inline constexpr bool kNamesIgnoreCase = true;
#else
inline constexpr bool kNamesIgnoreCase = false;
#endif

// FileStatus: what a path names, and for files what identifies one version of it.
struct FileStatus {
    bool isFile = false;
    bool isDirectory = false;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;     // modification time, nanoseconds since 1970-01-01 UTC
    std::uint64_t identity = 0;   // inode, or the volume's file index (0 when unknown)
};
// Status: the status of a path, nullopt when it does not exist.
std::optional<FileStatus> Status(const std::string& path);

// WriteNewFile: creates a file that must not exist yet and writes all bytes; ownerOnly
// keeps it to the current user (POSIX: mode 0600, else 0644; Windows: a protected ACL whose
// one entry lets the current user read, write and delete it, and no content indexing;
// else the directory's inherited ACL). On failure no file is left behind.
bool WriteNewFile(const std::string& path, const std::string& bytes, bool ownerOnly);
// IsOwnerOnly: whether only the current user may open a file, as WriteNewFile makes it.
bool IsOwnerOnly(const std::string& path);
// RenameReplacing: renames a file, replacing the target when it exists (Windows: waits
// briefly while the target is open elsewhere).
bool RenameReplacing(const std::string& from, const std::string& to);
// RemoveFile: deletes a file.
bool RemoveFile(const std::string& path);
// CreateDirectories: creates a directory and its missing parents; true when it exists after.
bool CreateDirectories(const std::string& dir);
// FileNames: the names of the regular files directly in a directory (unsorted).
std::vector<std::string> FileNames(const std::string& dir);
// ProcessId: the id of the calling process.
unsigned long ProcessId();

}  // namespace vtk::os
