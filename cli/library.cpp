#include "library.h"

#include "exports/export_probe.h"

namespace vorlan::cli {

const char* LibraryFileName() {
#if defined(_WIN32)
    return "vorlan13.dll";
#else
    return "libvorlan13.so";
#endif
}

Library::Library(const std::string& path) : module_(platform::LoadModule(path)) {
    if (!module_) return;
    for (const probe::ExportRow& row : probe::kExports) addresses_.push_back(platform::ModuleSymbol(module_, row.name));
}

Library::~Library() {
    if (module_) platform::FreeModule(module_);
}

void* Library::Address(int ordinal) const {
    if (ordinal < 1 || ordinal > static_cast<int>(addresses_.size())) return nullptr;
    return addresses_[static_cast<std::size_t>(ordinal - 1)];
}

}  // namespace vorlan::cli
