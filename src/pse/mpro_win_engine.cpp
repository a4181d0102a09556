// TMProWinCryptoEngine: the PSE engine's own operations and its shared-lock wrappers.
#include "pse/mpro_win_engine.h"

#include <cstring>
#include <vector>

#include "binding/key_exchange.h"
#include "pse/pse_lock.h"
#include "pse/pse_renewal_hold.h"
#include "support/file_change.h"
#include "support/file_utils.h"
#include "support/rwsync.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

// WithSharedPSE: runs an inherited operation of engine while the thread holds the PSELock
// shared, after the first look for an interrupted change; results and exceptions pass
// through. Gated: it also waits while another engine holds the renewal.
template <bool Gated, class Operation>
auto WithSharedPSE(TMProWinCryptoEngine& engine, Operation&& operation) {
    engine.RecoverInstallation(false);
    if constexpr (Gated) {
        SharedPSE guard(&engine);
        return operation();
    } else {
        ReadGuard guard(PSELock());
        return operation();
    }
}

}  // namespace

TMProWinCryptoEngine::TMProWinCryptoEngine() {
    PluginVariant = 1;
    ParamValues.emplace_back();
}

TMProWinCryptoEngine::~TMProWinCryptoEngine() { ReleasePSELock(); }

std::string TMProWinCryptoEngine::PSEDir() const {
    const std::string dir = TrimSpaces(ParamValue(3));
    return dir.empty() ? dir : ExpandRootMacroDir(dir);
}

std::vector<std::string> TMProWinCryptoEngine::ChangeDirs() const {
    std::vector<std::string> dirs;
    const std::string own = TrimSpaces(ParamValue(1)), certs = TrimSpaces(ParamValue(2));
    for (const std::string& dir : {PSEDir(), RemoteGeneratePath.empty() ? std::string() : RemoteDir(),
                                   certs.empty() ? certs : ExpandRootMacroDir(certs),
                                   own.empty() ? own : DirectoryOf(ExpandRootMacro(own))})
        if (!dir.empty()) dirs.push_back(dir);
    return dirs;
}

std::int32_t TMProWinCryptoEngine::SetCryptoParamValue(std::int32_t index, const char* value) {
    const std::int32_t result = TMPro1CryptoEngine::SetCryptoParamValue(index, value);
    if (index == 3) installationChecked_.store(false, std::memory_order_release);  // another PSE
    return result;
}

std::int32_t TMProWinCryptoEngine::RecoverInstallation(bool force) {
    // Looked for once per key directory: a thread that holds the PSELock shared already (a
    // nested operation) must not come to take it exclusively.
    if (installationChecked_.exchange(true, std::memory_order_acq_rel) && !force) return kOk;
    const std::string P = PSEDir();
    if (P.empty() || !FileChange::Interrupted(P)) return kOk;
    bool recovered = false;
    {
        WriteGuard exclusive(PSELock());
        CriticalGuard store(StoreLock());
        // A first use leaves a change that is alive (in another process) to end on its own.
        recovered = FileChange::Recover(P, ChangeDirs(), force);
    }
    // Contexts may have read the files as the dead process left them.
    TMPro1CryptoEngine::ClearCash();
    return recovered ? kOk : kChangeNotRecovered;
}

void TMProWinCryptoEngine::GetEngineName(char* buffer) {
    if (buffer != nullptr) std::memcpy(buffer, "M-Pro v1.34 (GOST PSE)", 23);
}

std::int32_t TMProWinCryptoEngine::GetCurrentUserUID(char* uid) {
    return WithSharedPSE<false>(*this, [&] { return TMPro1CryptoEngine::GetCurrentUserUID(uid); });
}

std::int32_t TMProWinCryptoEngine::EncodeData(unsigned char* buffer, std::int32_t* size, const char* recipients) {
    return WithSharedPSE<true>(*this, [&] { return TMPro1CryptoEngine::EncodeData(buffer, size, recipients); });
}

std::int32_t TMProWinCryptoEngine::DecodeData(unsigned char* buffer, std::int32_t* size, char* output) {
    return WithSharedPSE<true>(*this, [&] { return TMPro1CryptoEngine::DecodeData(buffer, size, output); });
}

std::int32_t TMProWinCryptoEngine::SignData(const unsigned char* data, std::int32_t length, unsigned char* signature,
                                            std::int32_t* signatureLength, const char* signer) {
    return WithSharedPSE<true>(
        *this, [&] { return TMPro1CryptoEngine::SignData(data, length, signature, signatureLength, signer); });
}

std::int32_t TMProWinCryptoEngine::VerifyData(const unsigned char* data, std::int32_t length,
                                              const unsigned char* signature, std::int32_t signatureLength,
                                              char* signer) {
    return WithSharedPSE<true>(
        *this, [&] { return TMPro1CryptoEngine::VerifyData(data, length, signature, signatureLength, signer); });
}

void TMProWinCryptoEngine::ClearCash() {
    WithSharedPSE<false>(*this, [&] { TMPro1CryptoEngine::ClearCash(); });
}

std::int32_t TMProWinCryptoEngine::RemoveCertificate(const char* uid) {
    return WithSharedPSE<true>(*this, [&] { return TMPro1CryptoEngine::RemoveCertificate(uid); });
}

std::int32_t TMProWinCryptoEngine::IncludeCRL(const char* fileName) {
    return WithSharedPSE<true>(*this, [&] { return TMPro1CryptoEngine::IncludeCRL(fileName); });
}

std::int32_t TMProWinCryptoEngine::IncludeCACertificateFromTransfer(const char* transfer) {
    return WithSharedPSE<true>(
        *this, [&] { return TMPro1CryptoEngine::IncludeCACertificateFromTransfer(transfer); });
}

std::int32_t TMProWinCryptoEngine::GetReport(const char* uid, char* report) {
    return WithSharedPSE<true>(*this, [&] { return TMPro1CryptoEngine::GetReport(uid, report); });
}

std::int32_t TMProWinCryptoEngine::GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) {
    return WithSharedPSE<true>(
        *this, [&] { return TMPro1CryptoEngine::GetPublicKeyPropertiesByTransfer(transfer, report); });
}

std::int32_t TMProWinCryptoEngine::GetPublicKeyPropertiesByFile(const char* fileName, char* report) {
    return WithSharedPSE<true>(
        *this, [&] { return TMPro1CryptoEngine::GetPublicKeyPropertiesByFile(fileName, report); });
}

std::int32_t TMProWinCryptoEngine::RemoteGenerateStart(char*) { return kNotProvided; }
std::int32_t TMProWinCryptoEngine::RemoteGenerateFinish(const char*) { return kNotProvided; }
std::int32_t TMProWinCryptoEngine::GetRemoteGenType() { return 3; }

std::int32_t TMProWinCryptoEngine::VerifySignWOCheckValidity(const unsigned char* data, std::int32_t length,
                                                             const unsigned char* signature,
                                                             std::int32_t signatureLength, char* signer) {
    RecoverInstallation(false);
    SharedPSE guard(this);
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
