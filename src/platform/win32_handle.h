// Win32 side of the platform layer, internal: windows.h without the macros that collide
// with the layer's names, and scope owners of kernel handles.
#pragma once

#include <windows.h>

#undef DeleteFile
#undef MoveFile
#undef FreeModule

namespace vorlan::platform::win32 {

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
