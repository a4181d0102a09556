// TMProWinCryptoEngine: the PSE engine's own operations and its shared-lock wrappers.
#include "pse/mpro_win_engine.h"

#include <cstring>
#include <vector>

#include "pse/pse_lock.h"
#include "support/rwsync.h"

namespace vorlan {

namespace {

// WithSharedPSE: runs an inherited operation while the thread holds the PSELock shared;
// results and exceptions pass through.
template <class Operation>
auto WithSharedPSE(Operation&& operation) {
    ReadGuard guard(PSELock());
    return operation();
}

}  // namespace

TMProWinCryptoEngine::TMProWinCryptoEngine() {
    PluginVariant = 1;
    ParamValues.emplace_back();
}

TMProWinCryptoEngine::~TMProWinCryptoEngine() { ReleasePSELock(); }

void TMProWinCryptoEngine::GetEngineName(char* buffer) {
    if (buffer != nullptr) std::memcpy(buffer, "M-Pro v1.34 (GOST PSE)", 23);
}

std::int32_t TMProWinCryptoEngine::GetCurrentUserUID(char* uid) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::GetCurrentUserUID(uid); });
}

std::int32_t TMProWinCryptoEngine::EncodeData(unsigned char* buffer, std::int32_t* size, const char* recipients) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::EncodeData(buffer, size, recipients); });
}

std::int32_t TMProWinCryptoEngine::DecodeData(unsigned char* buffer, std::int32_t* size, char* output) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::DecodeData(buffer, size, output); });
}

std::int32_t TMProWinCryptoEngine::SignData(const unsigned char* data, std::int32_t length, unsigned char* signature,
                                            std::int32_t* signatureLength, const char* signer) {
    return WithSharedPSE(
        [&] { return TMPro1CryptoEngine::SignData(data, length, signature, signatureLength, signer); });
}

std::int32_t TMProWinCryptoEngine::VerifyData(const unsigned char* data, std::int32_t length,
                                              const unsigned char* signature, std::int32_t signatureLength,
                                              char* signer) {
    return WithSharedPSE(
        [&] { return TMPro1CryptoEngine::VerifyData(data, length, signature, signatureLength, signer); });
}

void TMProWinCryptoEngine::ClearCash() {
    WithSharedPSE([&] { TMPro1CryptoEngine::ClearCash(); });
}

std::int32_t TMProWinCryptoEngine::RemoveCertificate(const char* uid) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::RemoveCertificate(uid); });
}

std::int32_t TMProWinCryptoEngine::IncludeCRL(const char* fileName) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::IncludeCRL(fileName); });
}

std::int32_t TMProWinCryptoEngine::IncludeCACertificateFromTransfer(const char* transfer) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::IncludeCACertificateFromTransfer(transfer); });
}

std::int32_t TMProWinCryptoEngine::GetReport(const char* uid, char* report) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::GetReport(uid, report); });
}

std::int32_t TMProWinCryptoEngine::GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::GetPublicKeyPropertiesByTransfer(transfer, report); });
}

std::int32_t TMProWinCryptoEngine::GetPublicKeyPropertiesByFile(const char* fileName, char* report) {
    return WithSharedPSE([&] { return TMPro1CryptoEngine::GetPublicKeyPropertiesByFile(fileName, report); });
}

std::int32_t TMProWinCryptoEngine::RemoteGenerateStart(char*) { return kNotProvided; }
std::int32_t TMProWinCryptoEngine::RemoteGenerateFinish(const char*) { return kNotProvided; }
std::int32_t TMProWinCryptoEngine::GetRemoteGenType() { return 3; }

std::int32_t TMProWinCryptoEngine::VerifySignWOCheckValidity(const unsigned char* data, std::int32_t length,
                                                             const unsigned char* signature,
                                                             std::int32_t signatureLength, char* signer) {
    ReadGuard guard(PSELock());
    TMProDLL* api = nullptr;
    const std::int32_t code = GetCryptoAPI(api);
    if (code != kOk) return code;
    if (length < 1 || data == nullptr || signature == nullptr || signatureLength < 1 || signer == nullptr)
        return kBadArgument;
    return Guarded("TMProWinCryptoEngine.VerifySignWOCheckValidity: ", [&]() -> std::int32_t {
        TMProDLL& toolkit = Bound(api);
        std::vector<char> work = UIDWorkBuffer(toolkit);
        std::int32_t dataLength = length;
        const std::int32_t result = toolkit.VerifyDataIgnoreTime(BuildParamVector(toolkit), data, &dataLength, signature,
                                                                 signatureLength, work.data());
        if (result != kOk) return result;
        return CopyUID(UIDFromSubject(TextUpToZero(work)), signer);
    });
}

}  // namespace vorlan
