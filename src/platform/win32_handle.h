// Win32 side of the platform layer, internal: windows.h without the macros that collide
// with the layer's names, scope owners of kernel handles, and names for the wide API.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#undef DeleteFile
#undef MoveFile
#undef FreeModule

namespace vorlan::platform::win32 {

// Wide: a path in the ANSI code page as the wide API takes it (the same file Windows shows
// under that name); empty when it cannot be read in the code page.
inline std::wstring Wide(const std::string& path) {
    std::wstring wide(path.size(), L'\0');  // never more UTF-16 units than bytes
    const int n = path.empty() ? 0
                               : MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                                     static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return wide;
}

// Narrow: a name from the wide API in the ANSI code page; nullopt when the code page cannot
// write it (no best-fit substitute would name the same file).
inline std::optional<std::string> Narrow(const std::wstring& name) {
    if (name.empty()) return std::string();
    const UINT page = GetACP();
    const DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* lossyFlag = page == CP_UTF8 ? nullptr : &lossy;
    const int length = static_cast<int>(name.size());
    const int n = WideCharToMultiByte(page, flags, name.data(), length, nullptr, 0, nullptr, lossyFlag);
    if (n <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(page, flags, name.data(), length, out.data(), n, nullptr, lossyFlag);
    return out;
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
