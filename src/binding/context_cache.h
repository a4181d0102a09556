// The process-wide cache of toolkit contexts, keyed by the parameter values they were
// opened with, and the cache nodes that own those contexts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "binding/mpro_dll.h"

namespace vorlan {

// Days per second used for context lifetimes (this constant, not 1/86400).
inline constexpr double kDaysPerSecond = 1.1574e-5;

// TMesProCashNode: one cached context with its opening time and lifetime; closes the
// context on destruction (its callers hold ContextCacheLock exclusively).
class TMesProCashNode : public TCrypto_DLL {
public:
    // TMesProCashNode: finds (or loads) the variant's module and its DoneCrypto.
    explicit TMesProCashNode(std::int32_t variant);
    // ~TMesProCashNode: closes Context when it is not 0.
    ~TMesProCashNode() override;
    TMesProCashNode(const TMesProCashNode&) = delete;
    TMesProCashNode& operator=(const TMesProCashNode&) = delete;

    mpro::FnCtx DoneCryptoFunc = nullptr;
    std::int32_t Lifetime = 0;  // seconds
    double Created = 0;         // local date and time in days
    mpro::Context Context = 0;
};

// ContextKey: entries 0 to n-2 of the vector concatenated (n = the toolkit's parameter
// number); "UnknownParamNode" when that is empty.
std::string ContextKey(const ParamVector& v, std::int32_t paramNumber);
// ContextLifetime: entry 21 as a signed decimal number of seconds; 0 when empty, not a
// number or negative.
std::int32_t ContextLifetime(const ParamVector& v);

// LookupContext_locked: the context cached under key when younger than both lifetimes,
// else 0. Caller holds ContextCacheLock (shared or exclusive).
mpro::Context LookupContext_locked(const std::string& key, std::int32_t lifetime);
// OpenContext_locked: a context for the vector, looked up again first, else opened,
// configured and cached; 0 when none. Caller holds ContextCacheLock exclusively and,
// unless the plug-in is reentrant, ToolkitLock.
mpro::Context OpenContext_locked(const TMProDLL& binding, const ParamVector& v, const std::string& key);
// ClearContextCache_locked: closes every cached context and empties the cache. Caller
// holds ContextCacheLock exclusively.
void ClearContextCache_locked();
// CachedContextCount_locked: number of cache entries. Caller holds ContextCacheLock.
std::size_t CachedContextCount_locked();

// CacheNowDays: the local clock of the cache, in days.
double CacheNowDays();
// SetCacheClockForTests: replaces the cache's clock; an empty function restores the local clock.
void SetCacheClockForTests(std::function<double()> clock);

}  // namespace vorlan
