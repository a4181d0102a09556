// TMPro1CryptoEngine: new signature and encryption keys made by the toolkit, and the
// transfers into a hardware token, which this engine does not have.
#include "engine/mpro1_engine.h"
#include "support/errors.h"

namespace vorlan {

namespace {

using GenerateFn = std::int32_t (TMProDLL::*)(const ParamVector&);

// Generate: one toolkit key generation on the context of the current parameters. The binding
// reports the toolkit's success as -100; that code is passed on as it is.
std::int32_t Generate(TMPro1CryptoEngine& engine, const char* prefix, GenerateFn generate) {
    TMProDLL* api = nullptr;
    const std::int32_t code = engine.GetCryptoAPI(api);
    if (code != kOk) return code;
    return engine.Guarded(prefix, [&]() -> std::int32_t {
        if (api == nullptr) throw ECryptoEngineError("Library not initialized");
        return (api->*generate)(engine.BuildParamVector(*api));
    });
}

}  // namespace

std::int32_t TMPro1CryptoEngine::GenerateNewSSK() {
    return Generate(*this, "TMProCryptoEngine.GenerateNewSSK: ", &TMProDLL::GenerateNewSSK);
}

std::int32_t TMPro1CryptoEngine::GenerateNewSEK() {
    return Generate(*this, "TMProCryptoEngine.GenerateNewSEK: ", &TMProDLL::GenerateNewSEK);
}

std::int32_t TMPro1CryptoEngine::TransPrivateKeyFromFileToTM() { return kOk; }
std::int32_t TMPro1CryptoEngine::TransSignatureFromFileToTM() { return kOk; }

}  // namespace vorlan
