// Process-wide binding state and the module load/unload pair.
#include "binding/binding_state.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "binding/context_cache.h"
#include "binding/mpro_dll.h"
#include "support/immortal.h"
#include "support/zel_root.h"

namespace vorlan {
namespace {

struct BindingState {
    TCriticalSection toolkitLock;
    TCriticalSection loadLock;
    TRWCriticalSection cacheLock;
    std::array<platform::ModuleHandle, kPluginVariantCount> modules{};  // guarded by loadLock
    std::atomic<bool> reentrant{false};
    std::mutex countMutex;  // guards loadCount only
    int loadCount = 0;
};

// The state lives for the whole process: plug-ins and contexts are released by
// BindingModuleUnload, never by static destructors racing the loader at exit.
BindingState& State() {
    static Immortal<BindingState> state;
    return *state;
}

}  // namespace

const char* PluginFileName(std::int32_t variant) {
    switch (variant) {
        case 0: return "mplug.dll";
        case 1: return "mplugf.dll";
        case 2: return "mplug2.dll";
        default: return nullptr;
    }
}

TCriticalSection& ToolkitLock() { return State().toolkitLock; }
TCriticalSection& LoadLock() { return State().loadLock; }
TRWCriticalSection& ContextCacheLock() { return State().cacheLock; }

platform::ModuleHandle PluginModule_locked(std::int32_t variant) {
    if (variant < 0 || variant >= kPluginVariantCount) return nullptr;
    return State().modules[static_cast<std::size_t>(variant)];
}

platform::ModuleHandle LoadPluginModule_locked(std::int32_t variant, bool& loadedNow) {
    loadedNow = false;
    const char* file = PluginFileName(variant);
    if (!file) return nullptr;
    auto& slot = State().modules[static_cast<std::size_t>(variant)];
    if (!slot) {
        slot = LoadCryptoLibrary(file);  // stays null on failure: the next caller tries anew
        loadedNow = slot != nullptr;
    }
    return slot;
}

platform::ModuleHandle PluginModule(std::int32_t variant) {
    CriticalGuard guard(LoadLock());
    return PluginModule_locked(variant);
}

bool PluginReentrant() { return State().reentrant.load(std::memory_order_acquire); }

void SetPluginReentrant_locked(bool reentrant) { State().reentrant.store(reentrant, std::memory_order_release); }

ToolkitGuard::ToolkitGuard(std::int32_t variant) : entered_(!(variant > 0 && PluginReentrant())) {
    if (entered_) ToolkitLock().Enter();
}

ToolkitGuard::~ToolkitGuard() {
    if (entered_) ToolkitLock().Leave();
}

void BindingModuleLoad() {
    auto& s = State();
    std::lock_guard<std::mutex> count(s.countMutex);
    // The locks and the empty cache exist from the start; the count only pairs the unload.
    ++s.loadCount;
}

void BindingModuleUnload() {
    auto& s = State();
    std::lock_guard<std::mutex> count(s.countMutex);
    if (s.loadCount == 0 || --s.loadCount > 0) return;
    // Contexts are closed while their plug-in is still loaded (no call may be in flight).
    ClearContextCache();
    CriticalGuard guard(s.loadLock);
    for (auto& module : s.modules) {
        if (module) platform::FreeModule(module);
        module = nullptr;
    }
    s.reentrant.store(false);
}

}  // namespace vorlan
