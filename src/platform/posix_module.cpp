// POSIX implementation of module loading: ".dll" names load as ".so", by their path; a bare
// name is looked for beside the host executable only.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/platform.h"
#include "platform/posix_path.h"

namespace vorlan::platform {

namespace {

bool HasDirectory(const std::string& name) { return name.find_first_of("\\/") != std::string::npos; }

std::string BaseName(const std::string& path) {
    const auto pos = path.find_last_of("\\/");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

ModuleHandle OpenFile(const std::string& path) {
    const auto r = posix::Resolve(path);
    if (!r.exists) return nullptr;
    const std::string file = r.path.find('/') == std::string::npos ? "./" + r.path : r.path;
    return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// NoLoadHandle: the handle of an already loaded object without keeping a reference.
ModuleHandle NoLoadHandle(const char* file) {
    void* handle = ::dlopen(file, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);  // drop the reference dlopen just added
    return handle;
}

struct LoadedSearch {
    std::string wanted;
    std::string found;
};

int MatchLoaded(dl_phdr_info* info, std::size_t, void* data) {
    auto* search = static_cast<LoadedSearch*>(data);
    if (info->dlpi_name == nullptr || *info->dlpi_name == '\0') return 0;
    if (!posix::SameTextNoCase(BaseName(info->dlpi_name), search->wanted)) return 0;
    search->found = info->dlpi_name;
    return 1;
}

// ParseVersion: "major.minor.build.revision" (missing trailing parts count as 0).
std::optional<FileVersion> ParseVersion(const char* text) {
    std::uint16_t parts[4] = {0, 0, 0, 0};
    int count = 0;
    const char* p = text;
    while (count < 4) {
        if (*p < '0' || *p > '9') return std::nullopt;
        unsigned long value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<unsigned long>(*p++ - '0');
            if (value > 0xFFFF) return std::nullopt;
        }
        parts[count++] = static_cast<std::uint16_t>(value);
        if (*p == '\0') break;
        if (*p++ != '.') return std::nullopt;
    }
    if (*p != '\0') return std::nullopt;
    return FileVersion{parts[0], parts[1], parts[2], parts[3]};
}

// LinkMapFileName: the file of a loaded object, absolute but without resolving links (the
// directory is the one it was loaded from); the program's own entry names the program.
std::string LinkMapFileName(const link_map* map) {
    if (map->l_name == nullptr || *map->l_name == '\0') return HostExecutablePath();
    const std::string name = map->l_name;
    if (name.front() == '/') return name;
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd ? std::string(cwd.get()) + "/" + name : name;
}

}  // namespace

std::string MappedModuleName(const std::string& name) {
    if (name.size() >= 4 && posix::SameTextNoCase(name.substr(name.size() - 4), ".dll"))
        return name.substr(0, name.size() - 4) + ".so";
    return name;
}

ModuleHandle LoadModule(const std::string& path) {
    const std::string name = MappedModuleName(path);
    if (name.empty()) return nullptr;
    if (HasDirectory(name)) return OpenFile(name);

    // A bare name never reaches the system loader, which would search LD_LIBRARY_PATH and more.
    const std::string exe = HostExecutablePath();
    const std::string exeDir = exe.substr(0, exe.find_last_of('/') + 1);
    return exeDir.empty() ? nullptr : OpenFile(exeDir + name);
}

void FreeModule(ModuleHandle module) {
    if (module != nullptr) ::dlclose(module);
}

ModuleHandle FindLoadedModule(const std::string& name) {
    const std::string mapped = MappedModuleName(name);
    if (mapped.empty()) return nullptr;
    if (HasDirectory(mapped)) return NoLoadHandle(posix::Resolve(mapped).path.c_str());
    LoadedSearch search{mapped, {}};
    if (::dl_iterate_phdr(MatchLoaded, &search) != 0) return NoLoadHandle(search.found.c_str());
    return NoLoadHandle(mapped.c_str());  // a loaded object known by its soname
}

void* ModuleSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return ::dlsym(module, name);
}

std::string ModuleFileName(ModuleHandle module) {
    if (module == nullptr) return HostExecutablePath();
    link_map* map = nullptr;
    if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return {};
    return LinkMapFileName(map);
}

std::optional<FileVersion> ModuleFileVersion(ModuleHandle module) {
    if (module == nullptr) return std::nullopt;
    const auto* text = static_cast<const char* const*>(::dlsym(module, kFileVersionSymbol));
    if (text == nullptr || *text == nullptr) return std::nullopt;
    return ParseVersion(*text);
}

std::string OwnModulePath() {
    Dl_info info{};
    link_map* map = nullptr;
    if (::dladdr1(reinterpret_cast<void*>(&OwnModulePath), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        map == nullptr)
        return HostExecutablePath();
    return LinkMapFileName(map);
}

std::string HostExecutablePath() {
    static const std::string path = [] {
        std::string buffer(PATH_MAX, '\0');
        for (;;) {
            const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (n < 0) return std::string();
            if (static_cast<std::size_t>(n) < buffer.size()) return buffer.substr(0, static_cast<std::size_t>(n));
            buffer.resize(buffer.size() * 2);
        }
    }();
    return path;
}

}  // namespace vorlan::platform
