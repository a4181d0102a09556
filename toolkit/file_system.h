// The operating-system services behind the toolkit's file work and its texts, one
// implementation per platform (file_system_posix.cpp, file_system_win32.cpp). Inside the
// toolkit every text is UTF-8, paths too (either separator; Windows: the wide API); the host's
// 8-bit texts (Windows: the ANSI code page) are converted where they cross the toolkit's
// functions (HostText, Utf8Text).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// HostText: a UTF-8 text as the host writes it (Windows: the ANSI code page, a character it
// cannot write as "?" with *lossy set; elsewhere UTF-8 itself).
std::string HostText(const std::string& utf8, bool* lossy = nullptr);
// Utf8Text: a host's 8-bit text as UTF-8.
std::string Utf8Text(const std::string& host);

// ReadWholeFile: the whole content of a file, nullopt when it cannot be read or exceeds limit bytes.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit);
// SameFile: whether two paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

// WriteNewFile: creates a file that must not exist yet and writes all bytes, with exactly
// the POSIX permission bits given whatever the umask. On Windows bits without group or
// other access keep it to the current user (a protected ACL whose one entry lets the
// current user read, write and delete it, and no content indexing); other bits leave the
// directory's inherited ACL. On failure no file is left behind.
bool WriteNewFile(const std::string& path, std::string_view bytes, std::uint32_t bits);
// PermissionBits: a file's POSIX permission bits (Windows: 0600 when only the current user
// may open it, as WriteNewFile makes it, else 0644); nullopt when it does not exist.
std::optional<std::uint32_t> PermissionBits(const std::string& path);
// IsOwnerOnly: whether only the current user may open a file.
inline bool IsOwnerOnly(const std::string& path) {
    auto bits = PermissionBits(path);
    return bits && (*bits & 0077) == 0;
}
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
