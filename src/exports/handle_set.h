// The set of live engines behind the handles the library has handed out. A handle that
// is not in the set (null, never issued, already destroyed) finds no engine.
#pragma once

#include <cstddef>
#include <memory>

#include "engine/crypto_engine.h"
#include "vorlan13.h"

namespace vorlan::exports {

using EngineRef = std::shared_ptr<TCryptoEngine>;

// AdoptEngine: takes ownership of a new engine and returns its handle: an opaque pointer-sized
// value never issued before in this process (null once none is left, or for a null engine).
VORLAN_HANDLE AdoptEngine(std::unique_ptr<TCryptoEngine> engine);
// FindEngine: the live engine behind handle, or null. The reference keeps the engine alive
// for the caller even when another thread destroys the handle meanwhile.
EngineRef FindEngine(VORLAN_HANDLE handle);
// ReleaseEngine: removes handle from the set and returns its engine (null if not live);
// the engine is destroyed when the last reference goes.
EngineRef ReleaseEngine(VORLAN_HANDLE handle);
// LiveEngineCount: the number of handles in the set.
std::size_t LiveEngineCount();

}  // namespace vorlan::exports
