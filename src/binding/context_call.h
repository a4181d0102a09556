// The context call: every toolkit operation on a parameter vector runs through here, so
// the locking rule (ToolkitLock, then ContextCacheLock only around the cache list) is
// written once.
#pragma once

#include <cstdint>
#include <string>

#include "binding/binding_state.h"
#include "binding/context_cache.h"
#include "binding/mpro_dll.h"

namespace vorlan {

// CallWithContext: runs call(context) on the cached context of the vector, opening one
// when none is cached; returns noContext when no context can be had (or the binding is
// not usable). The call holds a share of the context's node, not the cache lock: calls on
// cached and on new contexts run side by side, and the context is closed by its last user.
template <class Call>
std::int32_t CallWithContext(const TMProDLL& binding, const ParamVector& v, std::int32_t noContext, Call&& call) {
    if (!binding.Loaded || !binding.Complete) return noContext;
    ToolkitGuard toolkit(binding.PluginVariant);
    const std::string key = ContextKey(v, binding.Fn.GetCryptoParamNumber());
    // Declared after the guard: a last share is dropped inside ToolkitLock.
    CashNodeRef node = LookupNode(key, ContextLifetime(v));
    if (!node) node = OpenCachedNode(binding, v, key);
    if (!node || node->Context == 0) return noContext;
    return call(node->Context);
}

}  // namespace vorlan
