// TMProDLL: plug-in loading and resolution, and the operations on a vector's context.
#include "binding/mpro_dll.h"

#include <array>

#include "binding/binding_state.h"
#include "binding/context_cache.h"
#include "binding/context_call.h"

namespace vorlan {
namespace {

constexpr std::int32_t kNoContext = -6;

template <class Fn>
void Resolve(platform::ModuleHandle module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(platform::ModuleSymbol(module, name));
}

bool AboveFirstRelease(const platform::FileVersion& v) {
    const std::array<int, 4> have{v.major, v.minor, v.build, v.revision};
    const std::array<int, 4> base{1, 0, 0, 0};
    return have > base;
}

}  // namespace

TMProDLL::TMProDLL(std::int32_t variant) : PluginVariant(variant) {
    platform::ModuleHandle module = nullptr;
    {
        CriticalGuard guard(LoadLock());
        bool loadedNow = false;
        module = LoadPluginModule_locked(variant, loadedNow);
        if (!module) return;
        Loaded = true;
        // The reentrancy decision is taken by the binding that loads variant 1 or 2.
        if (loadedNow && variant > 0) {
            if (auto version = platform::ModuleFileVersion(module)) SetPluginReentrant_locked(AboveFirstRelease(*version));
        }
    }

#define VORLAN_RESOLVE(name, type) Resolve(module, #name, Fn.name);
    MPRO_REQUIRED_FUNCTIONS(VORLAN_RESOLVE)
#undef VORLAN_RESOLVE
    Resolve(module, "LoadCertificate", Fn.LoadCertificate);
    Resolve(module, "GetCertInfoEx", Fn.GetCertInfoEx);
    Resolve(module, "FreeCertInfo", Fn.FreeCertInfo);
    Resolve(module, "GetReqInfo", Fn.GetReqInfo);
    Resolve(module, "FreeReqInfo", Fn.FreeReqInfo);

    bool all = true;
#define VORLAN_PRESENT(name, type) all = all && Fn.name != nullptr;
    MPRO_REQUIRED_FUNCTIONS(VORLAN_PRESENT)
#undef VORLAN_PRESENT
    if (!all) return;
    if (variant != 0) Resolve(module, "VerifyDataIgnoreTime", Fn.VerifyDataIgnoreTime);
    Complete = true;
}

TMProDLL::~TMProDLL() {
    if (!PluginModule(PluginVariant)) return;
    ToolkitGuard toolkit(PluginVariant);
    if (OwnContext != 0 && Fn.DoneCrypto) Fn.DoneCrypto(OwnContext);
    OwnContext = 0;
}

std::int32_t TMProDLL::EncodeData(const ParamVector& v, unsigned char* data, std::int32_t* length,
                                  const char* subjects) {
    return CallWithContext(*this, v, kNoContext,
                           [&](mpro::Context c) { return Fn.EncodeData(c, data, length, subjects); });
}

std::int32_t TMProDLL::DecodeData(const ParamVector& v, unsigned char* data, std::int32_t* length, char* buffer) {
    return CallWithContext(*this, v, kNoContext, [&](mpro::Context c) { return Fn.DecodeData(c, data, length, buffer); });
}

std::int32_t TMProDLL::SignData(const ParamVector& v, const unsigned char* data, std::int32_t length,
                                unsigned char* signature, std::int32_t* signatureLength, const char* signer) {
    return CallWithContext(*this, v, kNoContext, [&](mpro::Context c) {
        return Fn.SignData(c, data, length, signature, signatureLength, signer);
    });
}

std::int32_t TMProDLL::VerifyData(const ParamVector& v, const unsigned char* data, std::int32_t* length,
                                  const unsigned char* signature, std::int32_t signatureLength, char* signer) {
    return CallWithContext(*this, v, kNoContext, [&](mpro::Context c) {
        return Fn.VerifyData(c, data, length, signature, signatureLength, signer);
    });
}

std::int32_t TMProDLL::VerifyDataIgnoreTime(const ParamVector& v, const unsigned char* data, std::int32_t* length,
                                            const unsigned char* signature, std::int32_t signatureLength,
                                            char* signer) {
    if (!Fn.VerifyDataIgnoreTime) return -1;
    return CallWithContext(*this, v, kNoContext, [&](mpro::Context c) {
        return Fn.VerifyDataIgnoreTime(c, data, length, signature, signatureLength, signer);
    });
}

namespace {
// A key generation call gets a 260-byte buffer starting empty; a toolkit 0 means "not finished".
std::int32_t GenerateKey(const TMProDLL& binding, const ParamVector& v, mpro::FnCtxBuffer generate) {
    const std::int32_t r = CallWithContext(binding, v, kNoContext, [&](mpro::Context c) {
        std::array<char, 260> buffer{};
        return generate(c, buffer.data());
    });
    return r == 0 ? -100 : r;
}
}  // namespace

std::int32_t TMProDLL::GenerateNewSEK(const ParamVector& v) { return GenerateKey(*this, v, Fn.GenerateNewSEK); }

std::int32_t TMProDLL::GenerateNewSSK(const ParamVector& v) { return GenerateKey(*this, v, Fn.GenerateNewSSK); }

std::int32_t TMProDLL::GetCurrentUID(const ParamVector& v, char* buffer) {
    return CallWithContext(*this, v, kNoContext, [&](mpro::Context c) { return Fn.GetCurrentUID(c, buffer); });
}

std::int32_t TMProDLL::GetLastErrorMessage(const ParamVector& v, char* buffer) {
    CallWithContext(*this, v, kNoContext, [&](mpro::Context c) { return Fn.GetLastErrorMessage(c, buffer); });
    return 0;
}

std::int32_t TMProDLL::GetCertificateByUID(const ParamVector& v, const char* subject, unsigned char* buffer,
                                           std::int32_t* length) {
    return CallWithContext(*this, v, kNoContext,
                           [&](mpro::Context c) { return Fn.GetCertificateByUID(c, subject, buffer, length); });
}

std::int32_t TMProDLL::GetCertInfo(const ParamVector& v, const unsigned char* certificate, std::int32_t length,
                                   char* text) {
    return CallWithContext(*this, v, kNoContext,
                           [&](mpro::Context c) { return Fn.GetCertInfo(c, certificate, length, text); });
}

std::int32_t TMProDLL::CertificateAndPSePrivateKeysMatch(const ParamVector& v, const char* certificateFile,
                                                         const char* keyDirectory, char* output) {
    return CallWithContext(*this, v, kNoContext, [&](mpro::Context c) {
        return Fn.CertificateAndPSePrivateKeysMatch(c, certificateFile, keyDirectory, output);
    });
}

bool TMProDLL::CertificateAndRequestMatch(const ParamVector& v, const char* certificateFile,
                                          const char* requestFile) {
    // 0 stands for both "no context" and "no match".
    return CallWithContext(*this, v, 0, [&](mpro::Context c) {
               return Fn.CertificateAndRequestMatch(c, certificateFile, requestFile) != 0 ? 1 : 0;
           }) != 0;
}

bool TMProDLL::CertificateAndPrivateKeyMatch(const ParamVector& v, const char* certificateFile, const char* keyFile) {
    return CallWithContext(*this, v, 0, [&](mpro::Context c) {
               return Fn.CertificateAndPrivateKeyMatch(c, certificateFile, keyFile) != 0 ? 1 : 0;
           }) != 0;
}

bool TMProDLL::CertificateAndPSePrivateKeyMatch(const ParamVector& v, const char* certificateFile,
                                                const char* keyDirectory) {
    return CallWithContext(*this, v, 0, [&](mpro::Context c) {
               return Fn.CertificateAndPSePrivateKeyMatch(c, certificateFile, keyDirectory) != 0 ? 1 : 0;
           }) != 0;
}

std::int32_t TMProDLL::PSePrivateKeyBackup(const ParamVector& v, const char* directory, char* output) {
    return CallWithContext(*this, v, kNoContext,
                           [&](mpro::Context c) { return Fn.PSePrivateKeyBackup(c, directory, output); });
}

std::int32_t TMProDLL::GetCRLIssuerName(const ParamVector& v, const char* fileName, char* output) {
    return CallWithContext(*this, v, kNoContext,
                           [&](mpro::Context c) { return Fn.GetCRLIssuerName(c, fileName, output); });
}

std::int32_t TMProDLL::IncludePublicKey(const ParamVector& v, const char* fileName) {
    return CallWithContext(*this, v, kNoContext, [&](mpro::Context c) { return Fn.IncludePublicKey(c, fileName); });
}

std::int32_t TMProDLL::IncludePublicEncodeKey(const ParamVector& v, const char* fileName) {
    return CallWithContext(*this, v, kNoContext,
                           [&](mpro::Context c) { return Fn.IncludePublicEncodeKey(c, fileName); });
}

std::int32_t TMProDLL::LoadCertificate(const ParamVector& v, const unsigned char* certificate, std::int32_t length) {
    if (!Loaded || !Complete) return 0;
    if (!Fn.LoadCertificate) {
        ClearCash();
        return 0;
    }
    ToolkitGuard toolkit(PluginVariant);
    const std::string key = ContextKey(v, Fn.GetCryptoParamNumber());
    // A share keeps the context open for the call; no context is opened here.
    const CashNodeRef node = LookupNode(key, ContextLifetime(v));
    return node ? Fn.LoadCertificate(node->Context, certificate, length) : 0;
}

void TMProDLL::ClearCash() {
    if (!PluginModule(PluginVariant)) return;
    ToolkitGuard toolkit(PluginVariant);
    ClearContextCache();
}

}  // namespace vorlan
