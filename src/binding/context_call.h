// The context call: every toolkit operation on a parameter vector runs through here, so
// the locking rule (ToolkitLock, then shared or exclusive ContextCacheLock) is written once.
#pragma once

#include <cstdint>
#include <string>

#include "binding/binding_state.h"
#include "binding/context_cache.h"
#include "binding/mpro_dll.h"

namespace vorlan {

// CallWithContext: runs call(context) on the cached context of the vector, opening one
// when none is cached; returns noContext when no context can be had (or the binding is
// not usable). A cached context is used under shared access, a new one under exclusive.
template <class Call>
std::int32_t CallWithContext(const TMProDLL& binding, const ParamVector& v, std::int32_t noContext, Call&& call) {
    if (!binding.Loaded || !binding.Complete) return noContext;
    ToolkitGuard toolkit(binding.PluginVariant);
    const std::string key = ContextKey(v, binding.Fn.GetCryptoParamNumber());
    {
        ReadGuard read(ContextCacheLock());
        if (const mpro::Context context = LookupContext_locked(key, ContextLifetime(v))) return call(context);
    }
    WriteGuard write(ContextCacheLock());
    const mpro::Context context = OpenContext_locked(binding, v, key);
    if (context == 0) return noContext;
    return call(context);
}

}  // namespace vorlan
