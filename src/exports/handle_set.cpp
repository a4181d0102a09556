#include "exports/handle_set.h"

#include <cstdint>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace vorlan::exports {
namespace {

// Handles are numbers from a counter that only grows: a destroyed engine's handle is never
// given out again, so a host holding a stale one gets the error result, never another engine.
// They start above the first page and step by 16, so they look like no small integer.
constexpr std::uintptr_t kFirstHandle = 0x10000;
constexpr std::uintptr_t kHandleStep = 16;

struct HandleSet {
    std::shared_mutex lock;
    std::unordered_map<std::uintptr_t, EngineRef> engines;  // guarded by lock
    std::uintptr_t next = kFirstHandle;                      // guarded by lock

    // At unload the engines the host did not destroy are left alive, on purpose: their
    // destructors would reach modules that are already gone.
    ~HandleSet() {
        for (auto& entry : engines) static_cast<void>(std::make_unique<EngineRef>(std::move(entry.second)).release());
    }
};

HandleSet& Set() {
    static HandleSet set;
    return set;
}

std::uintptr_t Key(VORLAN_HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

VORLAN_HANDLE AdoptEngine(std::unique_ptr<TCryptoEngine> engine) {
    if (!engine) return nullptr;
    EngineRef shared(std::move(engine));
    HandleSet& set = Set();
    std::unique_lock guard(set.lock);
    // Once the counter has run through its range there are no unused handles left.
    if (set.next > std::numeric_limits<std::uintptr_t>::max() - kHandleStep) return nullptr;
    const std::uintptr_t key = set.next;
    set.engines.emplace(key, std::move(shared));
    set.next += kHandleStep;
    return reinterpret_cast<VORLAN_HANDLE>(key);
}

EngineRef FindEngine(VORLAN_HANDLE handle) {
    if (!handle) return nullptr;
    HandleSet& set = Set();
    std::shared_lock guard(set.lock);
    auto it = set.engines.find(Key(handle));
    return it == set.engines.end() ? nullptr : it->second;
}

EngineRef ReleaseEngine(VORLAN_HANDLE handle) {
    if (!handle) return nullptr;
    HandleSet& set = Set();
    std::unique_lock guard(set.lock);
    auto it = set.engines.find(Key(handle));
    if (it == set.engines.end()) return nullptr;
    EngineRef engine = std::move(it->second);
    set.engines.erase(it);
    return engine;
}

std::size_t LiveEngineCount() {
    HandleSet& set = Set();
    std::shared_lock guard(set.lock);
    return set.engines.size();
}

}  // namespace vorlan::exports
