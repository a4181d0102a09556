// TMProWinCryptoEngine: the finish of key renewal. The certificate that came back in a
// transfer is checked against the new keys, filed, and installed with them in the PSE,
// under the exclusive PSELock and the StoreLock; a failure after the check puts the old keys,
// key database and certificates back, and the pending files stay for another attempt.
#include <optional>
#include <vector>

#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_key_set.h"
#include "pse/pse_lock.h"
#include "pse/pse_renewal_names.h"
#include "support/file_utils.h"
#include "support/rwsync.h"
#include "support/store_change.h"

namespace vorlan {

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

        // The plain key set restored in R leaves it again unless the finish succeeds; the
        // packed twins stay for another attempt.
        UndoLog plainKeys;
        plainKeys.Add([this] { RG_DeleteKeySet(); });
        std::int32_t result = RG_DecryptKeySet();
        if (result != kOk) return result;
        result = SavePublicKeyFromTransfer(R.c_str(), transfer);
        if (result != kOk) return result;

        result = InstallRenewedKeys(R, P, archive);
        if (result != kOk) {
            ClearCash();  // the toolkit's contexts may have seen the keys of the failed attempt
            return result;
        }
        plainKeys.Commit();
        DeleteDirectory(R, false);
        return kOk;
    });
}

namespace {

// Aside: a free name beside a file, where its current version waits until the change commits.
std::string Aside(const std::string& file) {
    std::string name;
    for (int n = 0; n < 1000; ++n) {
        name = file + ".renewal" + std::to_string(n);
        if (!platform::GetAttributes(name)) break;
    }
    return name;
}

void DeleteIfExists(const std::string& file) {
    if (platform::FileExists(file)) platform::DeleteFile(file);
}

// SignatureKeyState: the PSE's signature key files as they were before the toolkit installed
// the new key, and where the old secret key is now; Restore puts the old files back.
struct SignatureKeyState {
    std::string home, publicFile, oldKeyAt;
    bool homeExisted = false, publicExisted = false;
    std::optional<std::string> publicContent;

    explicit SignatureKeyState(const std::string& pseDir)
        : home(pseDir + kSignatureKeyFile), publicFile(pseDir + kSignaturePublicKeyFile) {
        homeExisted = platform::FileExists(home);
        publicExisted = platform::FileExists(publicFile);
        if (publicExisted) publicContent = platform::ReadWholeFile(publicFile);
    }
    void Restore() const {
        if (!oldKeyAt.empty() && platform::FileExists(oldKeyAt)) platform::RenameReplacing(oldKeyAt, home);
        else if (!homeExisted) DeleteIfExists(home);
        if (publicContent) platform::WriteWholeFile(publicFile, publicContent->data(), publicContent->size());
        else if (!publicExisted) DeleteIfExists(publicFile);
    }
};

// FileCertificate: puts the certificate in place as certDir + name + ".pem" in one rename; the
// old ".pem" and ".cer" step aside (their names added to asides) until the change commits.
bool FileCertificate(const std::string& certDir, const std::string& name, const std::string& certificate,
                     UndoLog& undo, std::vector<std::string>& asides) {
    const std::string filed = certDir + name + ".pem", staged = StagedName(filed);
    if (!CopyFileWhole(certificate, staged)) return false;
    undo.Add([staged] { DeleteIfExists(staged); });
    if (platform::FileExists(filed)) {
        asides.push_back(Aside(filed));
        if (!CopyFileWhole(filed, asides.back())) return false;
        undo.Add([filed, aside = asides.back()] { platform::RenameReplacing(aside, filed); });
    } else {
        undo.Add([filed] { DeleteIfExists(filed); });
    }
    const std::string cer = certDir + name + ".cer";
    if (platform::FileExists(cer)) {
        asides.push_back(Aside(cer));
        if (!platform::MoveFile(cer, asides.back())) return false;
        undo.Add([cer, aside = asides.back()] { platform::MoveFile(aside, cer); });
    }
    return platform::RenameReplacing(staged, filed);
}

}  // namespace

std::int32_t TMProWinCryptoEngine::InstallRenewedKeys(const std::string& R, const std::string& P,
                                                      const std::string& archive) {
    const std::string certDir = ExpandRootMacroDir(ParamValue(2));
    const std::string own = ExpandRootMacro(ParamValue(1));
    const std::string certificate = R + kRequestFileName;
    const std::string field = UIDField();
    WriteGuard exclusive(PSELock());
    {
        CriticalGuard store(StoreLock());
        TMProDLL* api = nullptr;
        std::int32_t result = RequireCryptoAPI(api);
        if (result != kOk) return result;

        // Everything below is taken back in reverse order unless the exchange completes.
        SignatureKeyState signatureKey(P);
        std::vector<std::string> asides;
        UndoLog undo;
        // The toolkit installs the new signature key in the PSE when the certificate matches
        // the new keys, and names the file that now holds the old one.
        std::vector<char> oldKey = BackupTextBuffer();
        result = api->CertificateAndPSePrivateKeysMatch(BuildParamVector(*api), certificate.c_str(), R.c_str(),
                                                        oldKey.data());
        if (result == 0) return kCertificateKeyMismatch;
        if (result < 0) return result;  // the toolkit could not compare: nothing was installed
        signatureKey.oldKeyAt = oldKey.data();
        undo.Add([&signatureKey] { signatureKey.Restore(); });
        if (!archive.empty() && !signatureKey.oldKeyAt.empty()) {
            if (!platform::MoveFile(signatureKey.oldKeyAt, archive)) return kKeyExchangeError;
            signatureKey.oldKeyAt = archive;
        }

        std::string name;
        result = GetCertUIDByFile(certificate, field, name);
        if (result != kOk) return result;
        // The name comes from the certificate and becomes a file name in the certificate directory.
        if (!IsSafeUID(name)) return kUIDError;

        if (!FileCertificate(certDir, name, certificate, undo, asides)) return kKeyExchangeError;
        if (!RG_ExchangeKeys(P.c_str(), R.c_str(), own.c_str(), certificate.c_str())) return kKeyExchangeError;
        undo.Commit();
        for (const auto& aside : asides) DeleteIfExists(aside);
    }
    // Contexts that hold the old keys or the old certificate go (after the StoreLock, whose
    // holders never take the PSELock).
    ClearCash();
    return kOk;
}

}  // namespace vorlan
