// Opening a file for reading on Windows while other processes replace it: a rename that
// replaces a file opens the old one exclusively for an instant (Wine and Windows alike), and a
// reader that comes at that instant is refused with a sharing violation. Header only: the
// library and the toolkit share it.
#pragma once

#include <windows.h>

#include <string>

namespace vorlan::wide {

// OpenToRead: a handle for reading (every sharing mode granted to others), or
// INVALID_HANDLE_VALUE; a sharing violation is waited out for up to half a second.
inline HANDLE OpenToRead(const std::wstring& name) {
    for (int attempt = 0;; ++attempt) {
        HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || attempt == 100) return file;
        Sleep(5);
    }
}

}  // namespace vorlan::wide
