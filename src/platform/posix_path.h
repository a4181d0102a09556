// POSIX side of the platform layer, internal: resolution of Windows-style paths
// ("\" or "/" separators, names matched without regard to case) to real file names.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace vorlan::platform::posix {

// ResolvedPath: a path as the file system spells it, and what stat said about it.
struct ResolvedPath {
    std::string path;     // "/"-separated; components that do not exist keep the given spelling
    bool exists = false;  // stat succeeded on path
    struct stat info {};  // valid when exists
};

// Resolve: the real spelling of path. An exactly spelled existing path costs one stat;
// otherwise each missing component is looked up in its directory without regard to case
// (exact spelling first, then the first match in name order).
ResolvedPath Resolve(const std::string& path);

// SameTextNoCase: comparison of names without regard to case (SameAnsiNoCase).
bool SameTextNoCase(const std::string& a, const std::string& b);

// MatchMask: Windows-style mask match ("*", "?", "*.*" = every name, "x.*" also matches "x"),
// without regard to case.
bool MatchMask(const std::string& mask, const std::string& name);

// ToAttributes: kAttr… bits of a stat result.
std::uint32_t ToAttributes(const struct stat& info);

}  // namespace vorlan::platform::posix
