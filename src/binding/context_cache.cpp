// The context cache: lookup, opening and clearing of cached toolkit contexts.
#include "binding/context_cache.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "binding/binding_state.h"
#include "support/immortal.h"
#include "support/text_utils.h"

namespace vorlan {
namespace {

using CacheEntry = std::pair<std::string, CashNodeRef>;

// The cache list; guarded by ContextCacheLock (held only to read or change the list, never
// across a toolkit call). Never destroyed: unload empties it.
std::vector<CacheEntry>& Cache() {
    static Immortal<std::vector<CacheEntry>> cache;
    return *cache;
}

std::function<double()>& ClockHook() {
    static Immortal<std::function<double()>> hook;
    return *hook;
}

std::vector<CacheEntry>::iterator FindEntry_locked(const std::string& key) {
    auto& cache = Cache();
    for (auto it = cache.begin(); it != cache.end(); ++it)
        if (SameTextAnsi(it->first, key)) return it;
    return cache.end();
}

// TakeEntry_locked: removes the key's entry and hands over its node (null when none).
CashNodeRef TakeEntry_locked(const std::string& key) {
    auto it = FindEntry_locked(key);
    if (it == Cache().end()) return nullptr;
    CashNodeRef node = std::move(it->second);
    Cache().erase(it);
    return node;
}

// OpenNode: a new node with its context opened and configured with the vector (InitCrypto,
// every parameter, KeysRenewal); null when the variant's module or DoneCrypto is missing.
// A step that raises closes the context with the node.
CashNodeRef OpenNode(const TMProDLL& binding, const ParamVector& v, std::int32_t lifetime) {
    auto node = std::make_shared<TMesProCashNode>(binding.PluginVariant);
    if (!node->Loaded || !node->Complete) return nullptr;
    const auto& fn = binding.Fn;
    node->Context = fn.InitCrypto();
    const std::int32_t count = fn.GetCryptoParamNumber();
    static const std::string empty;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string& value = static_cast<std::size_t>(i) < v.size() ? v[static_cast<std::size_t>(i)] : empty;
        fn.SetCryptoParamValue(node->Context, i, value.c_str());
    }
    fn.KeysRenewal(node->Context);
    node->Created = CacheNowDays();
    node->Lifetime = lifetime;
    return node;
}

}  // namespace

TMesProCashNode::TMesProCashNode(std::int32_t variant) {
    platform::ModuleHandle module = nullptr;
    {
        CriticalGuard guard(LoadLock());
        bool loadedNow = false;
        module = LoadPluginModule_locked(variant, loadedNow);
    }
    if (!module) return;
    Loaded = true;
    DoneCryptoFunc = reinterpret_cast<mpro::FnCtx>(platform::ModuleSymbol(module, "DoneCrypto"));
    Complete = DoneCryptoFunc != nullptr;
}

TMesProCashNode::~TMesProCashNode() {
    if (Context != 0 && DoneCryptoFunc) DoneCryptoFunc(Context);
    Context = 0;
}

std::string ContextKey(const ParamVector& v, std::int32_t paramNumber) {
    std::string key;
    const std::size_t count = paramNumber > 1 ? std::min(v.size(), static_cast<std::size_t>(paramNumber - 1)) : 0;
    std::size_t size = 0;
    for (std::size_t i = 0; i < count; ++i) size += v[i].size();
    key.reserve(size);
    for (std::size_t i = 0; i < count; ++i) key += v[i];
    if (key.empty()) key = "UnknownParamNode";
    return key;
}

std::int32_t ContextLifetime(const ParamVector& v) {
    if (v.size() <= 21) return 0;
    const std::string text = TrimSpaces(v[21]);
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    std::int32_t seconds = 0;
    auto [end, ec] = std::from_chars(first, last, seconds);
    if (ec != std::errc() || end != last || first == last || seconds < 0) return 0;
    return seconds;
}

CashNodeRef LookupNode_locked(const std::string& key, std::int32_t lifetime) {
    auto it = FindEntry_locked(key);
    if (it == Cache().end()) return nullptr;
    const TMesProCashNode& node = *it->second;
    const double age = std::fabs(CacheNowDays() - node.Created);
    if (age > lifetime * kDaysPerSecond || age > node.Lifetime * kDaysPerSecond || node.Context == 0) return nullptr;
    return it->second;
}

CashNodeRef LookupNode(const std::string& key, std::int32_t lifetime) {
    ReadGuard read(ContextCacheLock());
    return LookupNode_locked(key, lifetime);
}

CashNodeRef OpenCachedNode(const TMProDLL& binding, const ParamVector& v, const std::string& key) {
    const std::int32_t lifetime = ContextLifetime(v);
    {
        CashNodeRef stale;  // declared before the guard: dropped (closing its context) after the lock
        WriteGuard write(ContextCacheLock());
        if (CashNodeRef live = LookupNode_locked(key, lifetime)) return live;  // opened meanwhile
        stale = TakeEntry_locked(key);
    }
    // Opened outside the cache lock: other calls find and use their contexts meanwhile.
    CashNodeRef fresh = OpenNode(binding, v, lifetime);
    if (!fresh) return nullptr;
    CashNodeRef displaced;
    WriteGuard write(ContextCacheLock());
    if (CashNodeRef live = LookupNode_locked(key, lifetime)) {
        displaced = std::move(fresh);  // another call cached one first: that one serves
        return live;
    }
    displaced = TakeEntry_locked(key);  // an entry left meanwhile, stale or empty
    Cache().emplace_back(key, fresh);
    return fresh;
}

void ClearContextCache() {
    std::vector<CacheEntry> taken;
    {
        WriteGuard write(ContextCacheLock());
        taken.swap(Cache());
    }
    // Dropped from the front, as the entries were cached, each closing its context when unused.
    for (auto& entry : taken) entry.second.reset();
}

double CacheNowDays() {
    const auto& hook = ClockHook();
    return hook ? hook() : platform::LocalNowDays();
}

void SetCacheClockForTests(std::function<double()> clock) { ClockHook() = std::move(clock); }

}  // namespace vorlan
