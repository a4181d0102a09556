// File, directory and numbered-name routines, all through the platform layer.
#include "support/file_utils.h"

#include <cstring>

#include "platform/platform.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

// ScanEntries: entries of directory matching mask, without "." names and volume labels.
std::vector<platform::DirEntry> ScanEntries(const std::string& directory, const std::string& mask) {
    std::vector<platform::DirEntry> entries;
    for (auto& entry : platform::Enumerate(IncludeBackslash(directory) + mask)) {
        if (entry.name.empty() || entry.name[0] == '.') continue;
        if (entry.attributes == platform::kAttrVolumeLabel) continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool IsDirEntry(const platform::DirEntry& entry) { return (entry.attributes & platform::kAttrDirectory) != 0; }

// ParentPart: everything up to and including the last separator (or drive colon), "" when none.
std::string ParentPart(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        const char c = path[i - 1];
        if (platform::IsPathSeparator(c) || (c == ':' && i == 2)) return path.substr(0, i);
    }
    return {};
}

// Permissions: the permission bits the platform layer is asked for.
std::optional<std::uint32_t> Permissions(FileAccess access) {
    if (access == FileAccess::KeyMaterial) return platform::kOwnerOnly;
    return std::nullopt;
}

}  // namespace

std::string IncludeBackslash(const std::string& path) {
    if (path.empty() || platform::IsPathSeparator(path.back())) return path;
    if (path.size() == 1 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        return path + ":\\";
    return path + "\\";
}

std::string ExtractFileName(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (platform::IsPathSeparator(path[i - 1])) return path.substr(i);
    return path;
}

bool WriteFileBuffer(const std::string& name, const void* buffer, std::int32_t length, FileAccess access) {
    if (length < 0 || (buffer == nullptr && length > 0)) return false;
    if (platform::FileExists(name)) platform::DeleteFile(name);
    return platform::WriteWholeFile(name, buffer, static_cast<std::size_t>(length), Permissions(access));
}

std::int32_t SplitList(const char* text, std::vector<std::string>& list) {
    if (text == nullptr || *text == '\0') return 0;
    std::int32_t count = 0;
    const std::string all = std::string(text) + ";";
    std::size_t start = 0;
    for (std::size_t pos = all.find(';'); pos != std::string::npos; pos = all.find(';', start)) {
        list.push_back(all.substr(start, pos - start));
        ++count;
        start = pos + 1;
    }
    return count;
}

bool IsDirectory(const std::string& path) {
    const auto attributes = platform::GetAttributes(path);
    return attributes && (*attributes & platform::kAttrDirectory) != 0;
}

bool DeleteDirectory(const std::string& path, bool removeItself) {
    if (!IsDirectory(path)) return false;
    const std::string dir = IncludeBackslash(path);
    bool result = true;
    for (const auto& entry : ScanEntries(path, "*.*")) {
        const std::string full = dir + entry.name;
        if (IsDirEntry(entry)) {
            result = DeleteDirectory(full, true) && result;
            continue;
        }
        if (entry.attributes & platform::kAttrReadOnly) platform::SetAttributes(full, platform::kAttrArchive);
        result = platform::DeleteFile(full) && result;
    }
    const bool bareDrive = path.size() == 2 && path[1] == ':';
    if (removeItself && result && !bareDrive) result = platform::RemoveDir(path);
    return result;
}

bool CopyFileWhole(const std::string& source, const std::string& destination, FileAccess access) {
    return platform::CopyWholeFile(source, destination, Permissions(access));
}

bool CopyDirectory(const std::string& source, const std::string& destination) {
    if (!IsDirectory(source)) return false;
    if (!IsDirectory(destination)) platform::CreateDir(destination);
    if (!IsDirectory(destination)) return false;
    const std::string from = IncludeBackslash(source), to = IncludeBackslash(destination);
    bool result = true;
    for (const auto& entry : ScanEntries(source, "*.*")) {
        if (IsDirEntry(entry)) {
            result = CopyDirectory(from + entry.name, to + entry.name) && result;
            continue;
        }
        if (!CopyFileWhole(from + entry.name, to + entry.name)) return false;
        platform::SetAttributes(to + entry.name, entry.attributes);
    }
    return result;
}

bool ReadFileBuffer(const std::string& name, void* buffer, std::int32_t* capacity) {
    if (buffer == nullptr || capacity == nullptr || *capacity < 0) return false;
    const auto size = platform::FileSize(name);
    if (!size || *size > *capacity) return false;
    const auto data = platform::ReadWholeFile(name);
    if (!data || data->size() > static_cast<std::size_t>(*capacity)) return false;  // grew meanwhile
    std::memcpy(buffer, data->data(), data->size());
    *capacity = static_cast<std::int32_t>(data->size());
    return true;
}

std::int32_t NextNumberedName(const std::string& directory, const std::string& mask, const std::string& except) {
    const auto star = mask.find('*');
    if (star == std::string::npos || !IsDirectory(directory)) return 0;
    std::int32_t highest = 0;
    for (const auto& entry : ScanEntries(directory, mask)) {
        if (IsDirEntry(entry) || (!except.empty() && SameTextAnsi(entry.name, except))) continue;
        const auto dot = entry.name.find('.');
        if (dot == std::string::npos || star >= dot) continue;
        const auto number = ParseDecimal(entry.name.substr(star, dot - star));
        // INT32_MAX itself is skipped so that the next number stays representable.
        if (number && *number > highest && *number < INT32_MAX) highest = *number;
    }
    return highest + 1;
}

void FindFilesByExtension(const std::string& directory, const std::string& ext, std::vector<std::string>& list,
                          bool recursive) {
    if (!IsDirectory(directory)) return;
    const std::string dir = IncludeBackslash(directory);
    const std::string wanted = UpperCaseAscii(ext);
    for (const auto& entry : ScanEntries(directory, "*.*")) {
        if (IsDirEntry(entry)) {
            if (recursive) FindFilesByExtension(dir + entry.name, ext, list, true);
            continue;
        }
        const std::size_t n = entry.name.size();
        if (UpperCaseAscii(entry.name.substr(n < 3 ? 0 : n - 3)) == wanted) list.push_back(dir + entry.name);
    }
}

std::int32_t NextNumberedExtension(const std::string& directory, const std::string& base) {
    if (!IsDirectory(directory)) return 0;
    std::int32_t highest = 0;
    for (const auto& entry : ScanEntries(directory, base + ".*")) {
        if (IsDirEntry(entry) || entry.name.size() < 3) continue;
        const auto number = ParseDecimal(entry.name.substr(entry.name.size() - 3));
        if (number && *number > highest) highest = *number;
    }
    return highest + 1;
}

bool CreateDirectoryPath(const std::string& path) {
    if (path.empty()) return false;
    std::string dir = path;
    if (platform::IsPathSeparator(dir.back())) dir.pop_back();
    if (dir.size() < 3 || IsDirectory(dir)) return true;
    const std::string parent = ParentPart(dir);
    if (parent == dir) return true;
    if (!parent.empty() && !CreateDirectoryPath(parent)) return false;
    // Another thread or process may have created it meanwhile: that counts as success.
    return platform::CreateDir(dir) || IsDirectory(dir);
}

std::string GetTempDir() { return platform::TempDirectory(); }

}  // namespace vorlan
