// The process-wide cache of toolkit contexts, keyed by the parameter values they were
// opened with, and the cache nodes that own those contexts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "binding/mpro_dll.h"

namespace vorlan {

// Days per second used for context lifetimes (this constant, not 1/86400).
inline constexpr double kDaysPerSecond = 1.1574e-5;

// TMesProCashNode: one context with its opening time and lifetime. Nodes are shared by the
// cache entry and the calls running on the context; the last owner closes the context.
// Whoever drops the last reference holds ToolkitLock when the plug-in is not reentrant.
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

// CashNodeRef: a share of a node; the context stays open while any share lives.
using CashNodeRef = std::shared_ptr<TMesProCashNode>;

// ContextKey: entries 0 to n-2 of the vector concatenated (n = the toolkit's parameter
// number); "UnknownParamNode" when that is empty.
std::string ContextKey(const ParamVector& v, std::int32_t paramNumber);
// ContextLifetime: entry 21 as a signed decimal number of seconds; 0 when empty, not a
// number or negative.
std::int32_t ContextLifetime(const ParamVector& v);

// LookupNode_locked: the node cached under key when younger than both lifetimes and its
// context is not 0, else null. Caller holds ContextCacheLock (shared or exclusive).
CashNodeRef LookupNode_locked(const std::string& key, std::int32_t lifetime);
// LookupNode: LookupNode_locked under ContextCacheLock held shared; the caller holds none.
CashNodeRef LookupNode(const std::string& key, std::int32_t lifetime);
// OpenCachedNode: the node of the vector: looked up again, else a new one opened and
// configured without holding ContextCacheLock (taken only to change the list), then cached.
// A node whose context is 0 is cached all the same (the next call replaces it). Null when
// the variant's module or DoneCrypto is missing. Caller holds ToolkitLock unless the plug-in
// is reentrant, and no ContextCacheLock.
CashNodeRef OpenCachedNode(const TMProDLL& binding, const ParamVector& v, const std::string& key);
// ClearContextCache: takes every node out of the cache and drops the cache's shares in the
// order the nodes were cached; a context nobody else uses is closed at once, one in use
// when its last call returns. Caller holds ToolkitLock unless the plug-in is reentrant.
void ClearContextCache();

// CacheNowDays: the local clock of the cache, in days.
double CacheNowDays();
// SetCacheClockForTests: replaces the cache's clock; an empty function restores the local clock.
void SetCacheClockForTests(std::function<double()> clock);

}  // namespace vorlan
