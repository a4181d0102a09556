// ScopedRemoval: a file or directory tree that is deleted when the scope ends, unless the
// work that made it succeeded and kept it (temporary files never stay behind).
#pragma once

#include <string>

namespace vorlan {

class ScopedRemoval {
public:
    enum class Kind { File, DirectoryTree };
    ScopedRemoval(std::string path, Kind kind) : path_(std::move(path)), kind_(kind) {}
    // ~ScopedRemoval: deletes the file, or the directory with its contents, unless kept.
    ~ScopedRemoval();
    ScopedRemoval(const ScopedRemoval&) = delete;
    ScopedRemoval& operator=(const ScopedRemoval&) = delete;
    // Keep: the path stays (it was moved into place or is wanted).
    void Keep() { kept_ = true; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    Kind kind_;
    bool kept_ = false;
};

}  // namespace vorlan
