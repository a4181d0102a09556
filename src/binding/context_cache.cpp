// The context cache: lookup, opening and clearing of cached toolkit contexts.
#include "binding/context_cache.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "binding/binding_state.h"
#include "platform/ansi_case.h"
#include "support/text_utils.h"

namespace vorlan {
namespace {

using CacheEntry = std::pair<std::string, std::unique_ptr<TMesProCashNode>>;

// The cache list; guarded by ContextCacheLock. Never destroyed: unload empties it.
std::vector<CacheEntry>& Cache() {
    static auto* cache = std::make_unique<std::vector<CacheEntry>>().release();
    return *cache;
}

std::function<double()>& ClockHook() {
    static auto* hook = std::make_unique<std::function<double()>>().release();
    return *hook;
}

char FoldCase(char c) { return static_cast<char>(platform::AnsiUpperCase(static_cast<unsigned char>(c))); }

// SameKey: keys compared as ANSI texts without regard to case (the letters of the ANSI code
// page, Cyrillic included), without copying them (this runs on every toolkit call).
bool SameKey(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

std::vector<CacheEntry>::iterator FindEntry_locked(const std::string& key) {
    auto& cache = Cache();
    for (auto it = cache.begin(); it != cache.end(); ++it)
        if (SameKey(it->first, key)) return it;
    return cache.end();
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

mpro::Context LookupContext_locked(const std::string& key, std::int32_t lifetime) {
    auto it = FindEntry_locked(key);
    if (it == Cache().end()) return 0;
    const TMesProCashNode& node = *it->second;
    const double age = std::fabs(CacheNowDays() - node.Created);
    if (age > lifetime * kDaysPerSecond) return 0;
    if (age > node.Lifetime * kDaysPerSecond) return 0;
    return node.Context;
}

mpro::Context OpenContext_locked(const TMProDLL& binding, const ParamVector& v, const std::string& key) {
    const std::int32_t lifetime = ContextLifetime(v);
    if (mpro::Context found = LookupContext_locked(key, lifetime)) return found;

    auto& cache = Cache();
    if (auto stale = FindEntry_locked(key); stale != cache.end()) cache.erase(stale);  // closes its context

    // Until appended, the node is owned here: a toolkit step that raises closes the context.
    auto node = std::make_unique<TMesProCashNode>(binding.PluginVariant);
    if (!node->Loaded || !node->Complete) return 0;

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
    const mpro::Context context = node->Context;
    cache.emplace_back(key, std::move(node));
    return context;
}

void ClearContextCache_locked() {
    auto& cache = Cache();
    // Destroy from the front, as entries were opened, each node closing its context.
    while (!cache.empty()) cache.erase(cache.begin());
}

std::size_t CachedContextCount_locked() { return Cache().size(); }

double CacheNowDays() {
    const auto& hook = ClockHook();
    return hook ? hook() : platform::LocalNowDays();
}

void SetCacheClockForTests(std::function<double()> clock) { ClockHook() = std::move(clock); }

}  // namespace vorlan
