#include "library.h"

#include <cstdlib>
#include <filesystem>

#include "failure.h"

namespace vorlan::cli {

namespace {

// Every export of the table by name (export_table.inc is generated from the one list).
#define VORLAN_EXPORT(ordinal, name, bytes, hasResult, onError) #name,
constexpr const char* kExportNames[] = {
#include "export_table.inc"
};
#undef VORLAN_EXPORT

}  // namespace

const char* LibraryFileName() {
#if defined(_WIN32)
    return "vorlan13.dll";
#else
    return "libvorlan13.so.1";
#endif
}

std::string DefaultLibraryPath() {
    if (const char* path = std::getenv("VORLAN_LIBRARY"); path != nullptr && *path != '\0') return path;
    const std::string self = host::ExecutablePath();
    const std::string dir = self.substr(0, self.find_last_of("/\\") + 1);
    // Beside vorlan (a build, Windows), else in the library directory of an installation.
    const std::string beside = dir + LibraryFileName(), installed = dir + VORLAN_BIN_TO_LIB + "/" + LibraryFileName();
    std::error_code error;
    return std::filesystem::exists(beside, error) || !std::filesystem::exists(installed, error) ? beside : installed;
}

Library::Library(const std::string& path) : path_(path), module_(path) {
    if (!module_.Loaded()) throw Failure("cannot load " + path + ": " + module_.Error());
    const std::string missing = api_.Resolve(module_);
    if (!missing.empty()) throw Failure(path + " has no export " + missing);
}

int Library::ExportsFound() const {
    int found = 0;
    for (const char* name : kExportNames) found += module_.Symbol(name) != nullptr ? 1 : 0;
    return found;
}

int Library::ExportsListed() { return static_cast<int>(std::size(kExportNames)); }

}  // namespace vorlan::cli
