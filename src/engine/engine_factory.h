// CreateCryptObj: constructs the engine class that GetCryptObj hands out.
#pragma once

#include <memory>

#include "engine/crypto_engine.h"

namespace vorlan {

// CreateCryptObj: a new, independent engine of the most derived class the library has.
std::unique_ptr<TCryptoEngine> CreateCryptObj();

}  // namespace vorlan
