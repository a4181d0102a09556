// TMProWinCryptoEngine: the finish of key renewal. The certificate that came back in a
// transfer is checked against the new keys, filed, and installed with them in the PSE,
// all under the exclusive PSELock; a failure after the check puts the old keys back.
#include <vector>

#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_finish_journal.h"
#include "pse/pse_key_set.h"
#include "pse/pse_lock.h"
#include "pse/pse_renewal_names.h"
#include "support/file_utils.h"
#include "support/rwsync.h"

namespace vorlan {

namespace {

// PlainKeySetCleanup: the plain key set restored in R leaves R again unless the finish succeeded.
class PlainKeySetCleanup {
public:
    explicit PlainKeySetCleanup(TMProWinCryptoEngine& engine) : engine_(engine) {}
    ~PlainKeySetCleanup() {
        if (!done_) engine_.RG_DeleteKeySet();
    }
    PlainKeySetCleanup(const PlainKeySetCleanup&) = delete;
    PlainKeySetCleanup& operator=(const PlainKeySetCleanup&) = delete;
    void Done() { done_ = true; }

private:
    TMProWinCryptoEngine& engine_;
    bool done_ = false;
};

}  // namespace

std::int32_t TMProWinCryptoEngine::RemoteGenerateFinishEx(const char* transfer, std::int32_t* step) {
    if (transfer == nullptr) return kLowMemory;
    if (!RemoteDirUsable()) return kRemotePathError;
    if (step == nullptr) return kBadArgument;
    if (*step == 0) {
        *step = 2;
        return kOk;
    }
    const std::int32_t result = InternalRemoteGenerateFinish(transfer);
    *step = 1;
    return result;
}

std::int32_t TMProWinCryptoEngine::InternalRemoteGenerateFinish(const char* transfer) {
    return Guarded("TMProWinCryptoEngine.InternalRemoteGenerateFinish: ", [&]() -> std::int32_t {
        const std::string R = RemoteDir();
        const std::string P = ExpandRootMacroDir(ParamValue(3));
        RG_PSEPrivateKeyBackup(P.c_str(), nullptr);
        std::string archive;
        RG_NextSignKeyArchiveName(P.c_str(), archive);

        PlainKeySetCleanup plainKeys(*this);
        std::int32_t result = RG_DecryptKeySet();
        if (result != kOk) return result;
        result = SavePublicKeyFromTransfer(R.c_str(), transfer);
        if (result != kOk) return result;

        result = InstallRenewedKeys(R, P, archive);
        // The toolkit's contexts may have seen the keys of the failed attempt.
        if (result != kOk) ClearCash();
        if (result != kOk) return result;
        plainKeys.Done();
        DeleteDirectory(R, false);
        return kOk;
    });
}

std::int32_t TMProWinCryptoEngine::InstallRenewedKeys(const std::string& R, const std::string& P,
                                                      const std::string& archive) {
    const std::string certDir = ExpandRootMacroDir(ParamValue(2));
    const std::string own = ExpandRootMacro(ParamValue(1));
    const std::string certificate = R + kRequestFileName;
    const std::string field = UIDField();

    WriteGuard exclusive(PSELock());
    FinishJournal journal;  // undone before the lock is released
    TMProDLL* api = nullptr;
    std::int32_t result = RequireCryptoAPI(api);
    if (result != kOk) return result;

    // The toolkit installs the new signature key in the PSE when the certificate matches it
    // and names the file that now holds the old one.
    journal.BeforeKeySwap(P + kSignatureKeyFile, P + kSignaturePublicKeyFile);
    std::vector<char> oldKey = BackupTextBuffer();
    result = api->CertificateAndPSePrivateKeysMatch(BuildParamVector(*api), certificate.c_str(), R.c_str(),
                                                    oldKey.data());
    if (result == 0) return kCertificateKeysMismatch;
    if (result < 0) return result;  // the toolkit could not compare: nothing was installed
    journal.KeySwapped(oldKey.data());

    if (!archive.empty() && oldKey[0] != '\0') {
        if (!platform::MoveFile(oldKey.data(), archive)) return kKeyExchangeError;
        journal.OldKeyMoved(archive);
    }
    std::string name;
    result = GetCertUIDByFile(certificate, field, name);
    if (result != kOk) return result;
    // The name comes from the certificate and becomes a file name in the certificate directory.
    if (!IsSafeUID(name)) return kUIDError;

    for (const char* extension : {".pem", ".cer"}) {
        const std::string filed = certDir + name + extension;
        if (platform::FileExists(filed) && !journal.SetAside(filed)) return kKeyExchangeError;
        if (platform::FileExists(filed)) return kKeyExchangeError;
    }
    journal.Created(certDir + name + ".pem");
    if (!CopyFileWhole(certificate, certDir + name + ".pem")) return kKeyExchangeError;
    if (!RG_ExchangeKeys(P.c_str(), R.c_str(), own.c_str(), certificate.c_str())) return kKeyExchangeError;
    journal.Commit();
    ClearCash();
    return kOk;
}

}  // namespace vorlan
