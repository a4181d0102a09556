// Process-wide state of the toolkit binding: plug-in module handles, the reentrancy
// flag, the locks, and the scope guard that applies the serialisation rule.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "support/rwsync.h"

namespace vorlan {

// Number of plug-in variants with a file: 0 "mplug.dll", 1 "mplugf.dll", 2 "mplug2.dll".
inline constexpr std::int32_t kPluginVariantCount = 3;

// PluginFileName: the plug-in file of a variant, or nullptr for a variant without one.
const char* PluginFileName(std::int32_t variant);

// ToolkitLock: serialises toolkit calls unless the plug-in is reentrant; re-entrant.
TCriticalSection& ToolkitLock();
// LoadLock: guards the module handles (innermost of the binding's locks).
TCriticalSection& LoadLock();
// ContextCacheLock: readers-writer lock of the context cache.
TRWCriticalSection& ContextCacheLock();

// PluginModule_locked: the variant's module handle or null; caller holds LoadLock.
platform::ModuleHandle PluginModule_locked(std::int32_t variant);
// LoadPluginModule_locked: the variant's module, loading it when still null; sets
// loadedNow when this call loaded it. Caller holds LoadLock.
platform::ModuleHandle LoadPluginModule_locked(std::int32_t variant, bool& loadedNow);
// PluginModule: the variant's module handle read under LoadLock (null when not loaded).
platform::ModuleHandle PluginModule(std::int32_t variant);

// PluginReentrant: whether the last plug-in loaded for variant 1 or 2 is above 1.0.0.0.
bool PluginReentrant();
// SetPluginReentrant_locked: records the reentrancy decision; caller holds LoadLock.
void SetPluginReentrant_locked(bool reentrant);

// ToolkitGuard: enters ToolkitLock for the life of the guard unless the variant is above 0
// and the plug-in is reentrant. The decision made at entry is the one undone at exit.
class ToolkitGuard {
public:
    explicit ToolkitGuard(std::int32_t variant);
    ~ToolkitGuard();
    ToolkitGuard(const ToolkitGuard&) = delete;
    ToolkitGuard& operator=(const ToolkitGuard&) = delete;

private:
    bool entered_;
};

}  // namespace vorlan
