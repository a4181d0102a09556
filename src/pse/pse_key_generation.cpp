// TMProWinCryptoEngine: new keys as a certificate request for the PSE, the toolkit's backup
// of the PSE private key, and the exchange of the PSE's key set for a new one.
#include "pse/mpro_win_engine.h"

namespace vorlan {

TSubjectFields TMProWinCryptoEngine::GetSubjectFromParams() {
    TSubjectFields fields;
    fields.CN = ParamValue(16);
    fields.C = ParamValue(11);
    fields.S = ParamValue(12);
    fields.L = ParamValue(13);
    fields.O = ParamValue(14);
    fields.OU = ParamValue(15);
    fields.E = ParamValue(17);
    if (GetCryptoParamNumber() >= 24) fields.T = ParamValue(24);
    return fields;
}

std::int32_t TMProWinCryptoEngine::MakePSERequest(TMProDLL& api, const ParamVector& vector,
                                                  const std::string& ownCertificate, const std::string& keyDir,
                                                  const TSubjectFields& f, const std::string& requestFile,
                                                  const std::string& flag) {
    return api.MakeRequest(ownCertificate.c_str(), keyDir.c_str(), f.CN.c_str(), f.C.c_str(), f.S.c_str(),
                           f.L.c_str(), f.O.c_str(), f.OU.c_str(), f.E.c_str(), f.T.c_str(), requestFile.c_str(),
                           flag.c_str(), &vector);
}

std::int32_t TMProWinCryptoEngine::GenerateNewSEK() {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProWinCryptoEngine.GenerateNewSEK: ", [&]() -> std::int32_t {
        const std::string requestFile = ParamValue(9);
        const std::string pseDir = ParamValue(3);
        const TSubjectFields fields = GetSubjectFromParams();
        // BuildParamVector refuses a toolkit that reports more parameters than the engine holds.
        const ParamVector vector = BuildParamVector(*api);
        // No own certificate: the request is for the PSE's own key container.
        return MakePSERequest(*api, vector, "", pseDir, fields, ExpandRootMacro(requestFile), "");
    });
}

std::int32_t TMProWinCryptoEngine::GenerateNewSSK() { return GenerateNewSEK(); }

bool TMProWinCryptoEngine::RG_ExchangeKeys(const char* pseDir, const char* newKeyDir, const char* ownCertificate,
                                           const char* newCertificate) {
    TMProDLL* api = nullptr;
    if (RequireCryptoAPI(api) != kOk) return false;
    if (pseDir == nullptr || newKeyDir == nullptr || ownCertificate == nullptr || newCertificate == nullptr) return false;
    return Guarded("TMProWinCryptoEngine.RG_ExchangeKeys: ", [&]() -> std::int32_t {
               return api->ExchangeKeyFiles(pseDir, newKeyDir, ownCertificate, newCertificate) ? kOk : kKeyExchangeError;
           }) == kOk;
}

std::int32_t TMProWinCryptoEngine::RG_PSEPrivateKeyBackup(const char* backupDir, char* backupText) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    if (backupDir == nullptr) return kBadArgument;
    return Guarded("TMProWinCryptoEngine.RG_PSEPrivateKeyBackup: ", [&]() -> std::int32_t {
        return api->PSePrivateKeyBackup(BuildParamVector(*api), backupDir, backupText);
    });
}

}  // namespace vorlan
