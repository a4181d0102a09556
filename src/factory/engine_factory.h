// CreateCryptObj: chooses and constructs the engine class that GetCryptObj hands out. It sits
// above every engine class it may choose (src/engine, src/pse) and below the exports.
#pragma once

#include <memory>

#include "engine/crypto_engine.h"

namespace vorlan {

// CreateCryptObj: a new, independent engine of the most derived class the library has.
std::unique_ptr<TCryptoEngine> CreateCryptObj();

}  // namespace vorlan
