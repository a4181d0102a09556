// Win32 implementation of module loading, module names and file versions.
#include "platform/win32_handle.h"

#include <string>
#include <vector>

#include "platform/ansi_text.h"
#include "platform/platform.h"

namespace vorlan::platform {

namespace {

bool HasDirectory(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

}  // namespace

std::string MappedModuleName(const std::string& name) { return name; }

ModuleHandle LoadModule(const std::string& path) {
    if (path.empty()) return nullptr;
    std::string file = path;
    if (!HasDirectory(file)) {
        // A bare name only beside the host executable: never the current directory or PATH.
        const std::string exe = HostExecutablePath();
        file = exe.substr(0, exe.find_last_of("\\/") + 1) + path;
    }
    std::u16string wide;
    try {
        wide = AnsiToUtf16(file);
    } catch (const std::exception&) {
        return nullptr;
    }
    // The search flags need a full path; dependencies come from the module's own directory
    // and the system directory only.
    const auto* name = reinterpret_cast<const wchar_t*>(wide.c_str());
    std::wstring full(::GetFullPathNameW(name, 0, nullptr, nullptr), L'\0');
    const DWORD n = full.empty() ? 0 : ::GetFullPathNameW(name, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return nullptr;
    full.resize(n);
    return reinterpret_cast<ModuleHandle>(
        ::LoadLibraryExW(full.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
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

std::string OwnModulePath() {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&OwnModulePath), &self))
        return HostExecutablePath();
    return ModuleFileName(self);
}

}  // namespace vorlan::platform
