// The process-wide installation root, its module directories and plug-in loading.
#include "support/zel_root.h"

#include <mutex>

#include "platform/platform.h"
#include "support/errors.h"

namespace vorlan {

namespace {

// The root and its search list; the mutex is a leaf lock (nothing is called out under it
// except the environment functions of the platform layer).
struct RootState {
    std::mutex mutex;
    std::string root;
    std::vector<std::string> searchDirs;
};

RootState& State() {
    static RootState state;
    return state;
}

std::string WithBackslash(const std::string& path) {
    if (!path.empty() && path.back() == '\\') return path;
    return path + "\\";
}

// HasDirectoryPart: anything before the last separator or a drive colon.
bool HasDirectoryPart(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i)
        if (platform::IsPathSeparator(name[i]) || (name[i] == ':' && i == 1)) return true;
    return false;
}

std::string DirectoryPart(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (platform::IsPathSeparator(path[i - 1]) || (path[i - 1] == ':' && i == 2)) return path.substr(0, i);
    return {};
}

}  // namespace

void SetZELRoot(const std::string& root) {
    if (root.empty()) return;  // no directory given: nothing to set
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.root.empty()) {
        if (WithBackslash(state.root) == WithBackslash(root)) return;
        throw ECryptoEngineError("Could not set ZELRoot to '" + root + "'. Already set to '" + state.root + "'.");
    }
    state.root = WithBackslash(root);
    state.searchDirs = {state.root + "EXE\\", state.root + "SYSTEM\\", state.root + "USER\\"};

    std::string path = platform::GetEnv("Path").value_or("");
    for (const auto& dir : state.searchDirs) path = path.empty() ? dir : dir + ";" + path;
    platform::SetEnv("Path", path);
}

std::string ZELRoot() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.root;
}

std::vector<std::string> SearchDirs() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.searchDirs;
}

std::string FindLibraryFile(const std::string& name) {
    if (HasDirectoryPart(name)) return name;
    // Beside the host executable, beside the library itself (a host that loads it from
    // elsewhere), then the root's module directories.
    std::vector<std::string> dirs{DirectoryPart(platform::HostExecutablePath()), DirectoryPart(platform::OwnModulePath())};
    for (const auto& dir : SearchDirs()) dirs.push_back(dir);
    // Existence is checked for the file the loader will open (".so" for ".dll" on POSIX).
    const std::string file = platform::MappedModuleName(name);
    for (const auto& dir : dirs)
        if (!dir.empty() && platform::FileExists(dir + file)) return dir + name;
    return name;
}

platform::ModuleHandle LoadLibraryFromSearchDirs(const std::string& name) {
    const std::string file = FindLibraryFile(name);
    // Found nowhere: the system's own search (current directory, PATH) is never asked.
    return HasDirectoryPart(file) ? platform::LoadModule(file) : nullptr;
}

platform::ModuleHandle LoadCryptoLibrary(const std::string& name) {
    if (auto module = LoadLibraryFromSearchDirs(name)) return module;
    // A missing "CryptLib.dll" gives the host executable's name, as the module-name rule says.
    const std::string owner = platform::ModuleFileName(platform::FindLoadedModule("CryptLib.dll"));
    if (owner.empty()) return nullptr;
    const std::string dir = DirectoryPart(owner);
    if (dir.empty()) return nullptr;
    return LoadLibraryFromSearchDirs(dir + name);
}

void ZELRootModuleLoad() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.searchDirs.clear();
}

void ZELRootModuleUnload() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.searchDirs.clear();
    state.root.clear();
}

void ResetZELRootForTests() { ZELRootModuleUnload(); }

}  // namespace vorlan
