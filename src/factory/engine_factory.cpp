#include "factory/engine_factory.h"

#include "pse/mpro_win_engine.h"

namespace vorlan {

std::unique_ptr<TCryptoEngine> CreateCryptObj() { return std::make_unique<TMProWinCryptoEngine>(); }

}  // namespace vorlan
