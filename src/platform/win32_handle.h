// Win32 side of the platform layer, internal: windows.h without the macros that collide
// with the layer's names, scope owners of kernel handles, and names for the wide API.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/wide_text.h"

#undef DeleteFile
#undef MoveFile
#undef FreeModule

namespace vorlan::platform::win32 {

// Wide: a path in the ANSI code page as the wide API takes it.
using wide::Wide;

// Narrow: a name from the wide API in the ANSI code page; nullopt when the code page cannot
// write it (no best-fit substitute would name the same file).
inline std::optional<std::string> Narrow(const std::wstring& name) {
    bool lossy = false;
    std::string text = wide::Narrow(name, CP_ACP, &lossy);
    if (lossy) return std::nullopt;
    return text;
}

// FileHandle: a kernel file handle closed on scope exit.
class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    // Close: closes now and reports whether the close succeeded.
    bool Close() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || ::CloseHandle(h) != 0;
    }

private:
    HANDLE h_;
};

// FindHandle: a directory search handle closed on scope exit.
class FindHandle {
public:
    explicit FindHandle(HANDLE h) : h_(h) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
    }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

}  // namespace vorlan::platform::win32
