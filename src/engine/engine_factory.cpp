#include "engine/engine_factory.h"

namespace vorlan {

std::unique_ptr<TCryptoEngine> CreateCryptObj() { return std::make_unique<TCryptoEngine>(); }

}  // namespace vorlan
