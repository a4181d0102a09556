// The platform layer: every operating-system service the library uses, behind one
// narrow interface with a Win32 and a POSIX implementation. Paths above this layer
// are 8-bit texts (ansi_text.h: the ANSI code page on Windows, reaching the file system
// through the wide API; UTF-8 on POSIX) with backslash separators; the POSIX side also
// accepts "/" and matches names without regard to case when the exact spelling is missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorlan::platform {

// File attribute bits, with the Windows values.
enum : std::uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrVolumeLabel = 0x08,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
    kAttrReparsePoint = 0x400,  // a link; POSIX reports links to directories this way only
};

// GetAttributes: the attributes of a file or directory, nullopt when it does not exist.
std::optional<std::uint32_t> GetAttributes(const std::string& path);
// SetAttributes: sets the attributes a platform supports (read-only on POSIX).
bool SetAttributes(const std::string& path, std::uint32_t attributes);
// FileExists: true for an existing file (not a directory).
bool FileExists(const std::string& path);
// DirectoryExists: true for an existing directory.
bool DirectoryExists(const std::string& path);
// CreateDir: creates one directory level with the spelling given.
bool CreateDir(const std::string& path);
// RemoveDir: removes an empty directory.
bool RemoveDir(const std::string& path);
// DeleteFile: deletes a file; a read-only file is refused, as on Windows.
bool DeleteFile(const std::string& path);
// MoveFile: renames a file or directory; fails when the destination exists.
bool MoveFile(const std::string& from, const std::string& to);
// RenameReplacing: renames a file over another in one step: a reader of `to` finds the old
// file or the new one, never none. Both must be on one volume.
bool RenameReplacing(const std::string& from, const std::string& to);
// FileSize: size in bytes of a file, nullopt when it cannot be read.
std::optional<std::int64_t> FileSize(const std::string& path);
// FileStamp: what tells one version of a file from another: size, modification time and an
// identity that a file put in its place by a rename does not share (inode; on Windows the
// creation time).
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // nanoseconds since 1970-01-01 UTC
    std::uint64_t identity = 0;
    bool operator==(const FileStamp&) const = default;
};
// StampOfFile: the stamp of a file (not a directory), nullopt when there is none; one
// status query when the name is spelled as on disk.
std::optional<FileStamp> StampOfFile(const std::string& path);
// NowNs: the system clock in nanoseconds since 1970-01-01 UTC (to compare with modifiedNs).
std::int64_t NowNs();

struct DirEntry {
    std::string name;          // name only, as stored on disk
    std::uint32_t attributes;  // kAttr… bits
};
// Enumerate: entries of a directory matching a mask with "*" and "?", given as one
// path "dir\mask" ("*.*" matches every name, with or without a dot). Matching ignores case.
std::vector<DirEntry> Enumerate(const std::string& pattern);

// ReadWholeFile: the whole content of a file, nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Permission bits of a file that holds key material (POSIX; on Windows a new file takes the
// access list of its directory and permission bits are not applied).
inline constexpr std::uint32_t kOwnerOnly = 0600;

// WriteWholeFile: creates or replaces a file with the bytes given; false (and no partial
// file) when not every byte was written; a read-only file is never replaced. With
// `permissions` the file gets exactly those bits before a byte is written (a replaced file
// too); without, a new file gets the system's default and a replaced one keeps its own.
bool WriteWholeFile(const std::string& path, const void* data, std::size_t size,
                    std::optional<std::uint32_t> permissions = std::nullopt);
// CopyWholeFile: copies a file through memory, creating or replacing the destination as
// WriteWholeFile does; the copy gets the source's permission bits unless `permissions` are
// given. A source that cannot be read leaves the destination untouched.
bool CopyWholeFile(const std::string& from, const std::string& to,
                   std::optional<std::uint32_t> permissions = std::nullopt);

// TempDirectory: the platform's temporary directory, ending in a separator.
std::string TempDirectory();

// GetEnv / SetEnv: process environment variables; an absent variable gives nullopt.
// Names are case-sensitive on POSIX ("Path" is not "PATH"), as the system has them.
std::optional<std::string> GetEnv(const std::string& name);
bool SetEnv(const std::string& name, const std::string& value);

// Modules. A module name ending in ".dll" is loaded as ".so" on POSIX.
using ModuleHandle = void*;
// MappedModuleName: the file name the loader uses for a module name (POSIX: ".dll" -> ".so").
std::string MappedModuleName(const std::string& name);
// LoadModule: loads the module file at a path; a bare name only beside the host executable.
// Never through the current directory or a search path (Windows: the module's own
// directory and the system directory serve its dependencies).
ModuleHandle LoadModule(const std::string& path);
// FreeModule: unloads a module loaded with LoadModule.
void FreeModule(ModuleHandle module);
// FindLoadedModule: the handle of an already loaded module by file name (any case), or
// null; no reference is added.
ModuleHandle FindLoadedModule(const std::string& name);
// ModuleSymbol: the address of an exported symbol, or null.
void* ModuleSymbol(ModuleHandle module, const char* name);
// ModuleFileName: full file name of a module; a null module means the host executable
// (so a lookup of a missing module followed by this gives the host's name, as on Windows).
std::string ModuleFileName(ModuleHandle module);

struct FileVersion {
    std::uint16_t major, minor, build, revision;
};
// kFileVersionSymbol: on POSIX (ELF has no version resource) the exported symbol, of type
// const char* const, whose text "major.minor.build.revision" is a module's file version.
inline constexpr const char* kFileVersionSymbol = "VorlanFileVersion";
// ModuleFileVersion: the file version of a loaded module (version resource on Windows,
// the kFileVersionSymbol text on POSIX), nullopt when it has none.
std::optional<FileVersion> ModuleFileVersion(ModuleHandle module);
// HostExecutablePath: full path of the program that loaded the library.
std::string HostExecutablePath();
// OwnModulePath: full path of the module this code is part of (the library; a program that
// links the code statically: the program).
std::string OwnModulePath();

// CurrentThreadId: a non-zero id of the calling thread.
std::uint32_t CurrentThreadId();
// YieldThread: gives up the rest of the time slice.
void YieldThread();
// LocalNowDays: the local date and time in days since 1899-12-30 (fraction: time of day),
// millisecond resolution.
double LocalNowDays();

// IsPathSeparator: true for "\\" and "/" (both separate components on every platform).
inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// NativePath: the path as the operating system spells it (POSIX: separators turned
// to "/" and each existing component resolved without regard to case).
std::string NativePath(const std::string& path);

}  // namespace vorlan::platform
