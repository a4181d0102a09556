#include "exports/handle_set.h"

#include <mutex>
#include <new>
#include <shared_mutex>
#include <unordered_map>

namespace vorlan::exports {
namespace {

struct HandleSet {
    std::shared_mutex lock;
    std::unordered_map<const void*, EngineRef> engines;
};

// The set is built on first use and never destroyed: engines the host did not destroy
// stay alive through unload, and an export called from another module's exit code
// still finds a valid (if empty) set.
HandleSet& Set() {
    alignas(HandleSet) static unsigned char storage[sizeof(HandleSet)];
    static HandleSet* set = ::new (storage) HandleSet();
    return *set;
}

}  // namespace

VORLAN_HANDLE AdoptEngine(std::unique_ptr<TCryptoEngine> engine) {
    if (!engine) return nullptr;
    EngineRef shared(std::move(engine));
    auto* handle = reinterpret_cast<VORLAN_HANDLE>(shared.get());
    HandleSet& set = Set();
    std::unique_lock guard(set.lock);
    set.engines.emplace(handle, std::move(shared));
    return handle;
}

EngineRef FindEngine(VORLAN_HANDLE handle) {
    if (!handle) return nullptr;
    HandleSet& set = Set();
    std::shared_lock guard(set.lock);
    auto it = set.engines.find(handle);
    return it == set.engines.end() ? nullptr : it->second;
}

EngineRef ReleaseEngine(VORLAN_HANDLE handle) {
    if (!handle) return nullptr;
    HandleSet& set = Set();
    std::unique_lock guard(set.lock);
    auto it = set.engines.find(handle);
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
