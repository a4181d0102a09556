// Library: the vorlan13 library loaded at run time as any host loads it, with the exports
// the host calls resolved by name.
#pragma once

#include <memory>
#include <string>

#include "export_api.h"
#include "host_system.h"

namespace vorlan::cli {

// LibraryFileName: the library's file name on this platform ("vorlan13.dll", "libvorlan13.so.1").
const char* LibraryFileName();
// DefaultLibraryPath: $VORLAN_LIBRARY when set, else the library beside the host program, else
// the one in the installation's library directory.
std::string DefaultLibraryPath();

class Library {
public:
    // Library: loads the file at path and resolves the exports; throws Failure when the file
    // cannot be loaded or an export is missing.
    explicit Library(const std::string& path);
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const ExportApi& Api() const { return api_; }
    const std::string& Path() const { return path_; }
    // ExportsFound: how many of the library's exports (by the export table) the file has.
    int ExportsFound() const;
    // ExportsListed: the number of exports in the table.
    static int ExportsListed();

private:
    std::string path_;
    host::Module module_;
    ExportApi api_;
};

}  // namespace vorlan::cli
