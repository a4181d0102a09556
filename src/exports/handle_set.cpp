#include "exports/handle_set.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace vorlan::exports {
namespace {

struct HandleSet {
    std::shared_mutex lock;
    std::unordered_map<const void*, EngineRef> engines;

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
