// Win32 implementation of module loading, module names and file versions.
#include "platform/win32_handle.h"

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vorlan::platform {

std::string MappedModuleName(const std::string& name) { return name; }

ModuleHandle LoadModule(const std::string& path) {
    if (path.empty()) return nullptr;
    return reinterpret_cast<ModuleHandle>(::LoadLibraryA(path.c_str()));
}

void FreeModule(ModuleHandle module) {
    if (module != nullptr) ::FreeLibrary(static_cast<HMODULE>(module));
}

ModuleHandle FindLoadedModule(const std::string& name) {
    if (name.empty()) return nullptr;
    return reinterpret_cast<ModuleHandle>(::GetModuleHandleA(name.c_str()));
}

void* ModuleSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

std::string ModuleFileName(ModuleHandle module) {
    // Start with 512 characters and grow while the name is cut.
    std::string buffer(512, '\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(static_cast<HMODULE>(module), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return buffer.substr(0, n);
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<FileVersion> ModuleFileVersion(ModuleHandle module) {
    if (module == nullptr) return std::nullopt;
    const std::string file = ModuleFileName(module);
    if (file.empty()) return std::nullopt;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<char> info(size);
    if (!::GetFileVersionInfoA(file.c_str(), 0, size, info.data())) return std::nullopt;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    return FileVersion{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                       HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
}

std::string HostExecutablePath() { return ModuleFileName(nullptr); }

}  // namespace vorlan::platform
