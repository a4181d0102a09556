// Library: the vorlan13 library loaded at run time, its exports resolved by name.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "vorlan13.h"

namespace vorlan::cli {

// LibraryFileName: the library's file name on this platform ("vorlan13.dll", "libvorlan13.so").
const char* LibraryFileName();

class Library {
public:
    // Library: loads the library file at path; Loaded() tells whether that worked.
    explicit Library(const std::string& path);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Loaded: true when the file was loaded.
    bool Loaded() const { return module_ != nullptr; }
    // Address: the export of the table row with that ordinal, or null when missing.
    void* Address(int ordinal) const;
    // Get: the export name as a pointer of its declared type (null when missing).
    template <typename Fn>
    Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(platform::ModuleSymbol(module_, name));
    }

private:
    platform::ModuleHandle module_;
    std::vector<void*> addresses_;
};

}  // namespace vorlan::cli
