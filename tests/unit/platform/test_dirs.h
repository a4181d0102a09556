// Test helpers for file-system tests: a scratch directory removed afterwards, the
// directory of the built modules, and the names stored on disk.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "platform/platform.h"

namespace vorlan::testing {

// ScratchDir: a new empty directory under the temporary directory, deleted with its content.
class ScratchDir {
public:
    ScratchDir() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = platform::TempDirectory() + "vorlan-test-" + std::to_string(platform::CurrentThreadId()) + "-" +
                std::to_string(stamp) + "-" + std::to_string(counter++);
        std::filesystem::create_directories(path_);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    // path: the directory, without a trailing separator.
    const std::string& path() const { return path_; }
    // operator/: the directory + "\" + a relative name (backslashes, as the library builds paths).
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

// NativeFile: writes a file with the operating system's own spelling, bypassing the library.
inline void NativeFile(const std::string& dir, const std::string& relative, const std::string& content) {
    const std::filesystem::path p = std::filesystem::path(dir) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::FILE* f = std::fopen(p.string().c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

// NamesOnDisk: the entry names of a directory as stored, sorted.
inline std::set<std::string> NamesOnDisk(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
    return names;
}

// BinDir: where the test programs and test modules are built, with a trailing separator.
inline std::string BinDir() {
    std::string dir = platform::GetEnv("VORLAN_BIN_DIR").value_or("");
    if (dir.empty()) {
        const std::string exe = platform::HostExecutablePath();
        dir = exe.substr(0, exe.find_last_of("\\/"));
    }
    if (!platform::IsPathSeparator(dir.back())) dir += '\\';
    return dir;
}

// LowerAscii: a text with ASCII letters in lower case.
inline std::string LowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

}  // namespace vorlan::testing
