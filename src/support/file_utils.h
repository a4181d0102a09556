// File, directory and numbered-name routines of the engines. Paths are ANSI texts with
// backslash separators; every OS access goes through the platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorlan {

// FileAccess: who may read a file the library writes. KeyMaterial: the owner alone (0600 on
// POSIX). Default: a new file gets the system's default, a copy the source's permission bits.
enum class FileAccess { Default, KeyMaterial };

// IncludeBackslash: a non-empty path gets a trailing "\"; a single letter gets ":\" (C -> C:\).
std::string IncludeBackslash(const std::string& path);
// WriteFileBuffer: deletes the file if it exists, creates it anew and writes length bytes.
bool WriteFileBuffer(const std::string& name, const void* buffer, std::int32_t length,
                     FileAccess access = FileAccess::Default);
// SplitList: appends the ";"-separated parts of text (empty parts included); returns their number.
std::int32_t SplitList(const char* text, std::vector<std::string>& list);

// IsDirectory: the path exists and is a directory.
bool IsDirectory(const std::string& path);
// DeleteDirectory: deletes a tree; removes the directory itself when removeItself is true.
bool DeleteDirectory(const std::string& path, bool removeItself);
// CopyFileWhole: copies one file through memory; a failing source leaves the destination untouched.
bool CopyFileWhole(const std::string& source, const std::string& destination,
                   FileAccess access = FileAccess::Default);
// CopyDirectory: copies a directory tree.
bool CopyDirectory(const std::string& source, const std::string& destination);
// ReadFileBuffer: reads a whole file into buffer if it fits in capacity (then capacity := size).
bool ReadFileBuffer(const std::string& name, void* buffer, std::int32_t* capacity);
// NextNumberedName: one above the highest number at the "*" of mask among directory's files
// (a file named `except`, compared without regard to case, does not count).
std::int32_t NextNumberedName(const std::string& directory, const std::string& mask, const std::string& except = {});
// FindFilesByExtension: appends directory\name of files whose last three characters equal ext.
void FindFilesByExtension(const std::string& directory, const std::string& ext, std::vector<std::string>& list,
                          bool recursive);
// NextNumberedExtension: one above the highest three-digit extension of directory\base.*.
std::int32_t NextNumberedExtension(const std::string& directory, const std::string& base);
// CreateDirectoryPath: creates a directory with all missing parents.
bool CreateDirectoryPath(const std::string& path);
// GetTempDir: the platform's temporary directory with its trailing separator.
std::string GetTempDir();

}  // namespace vorlan
