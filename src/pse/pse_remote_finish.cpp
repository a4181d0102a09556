// TMProWinCryptoEngine: the finish of key renewal. Before anything changes the certificate of
// the transfer must belong to a pending key set (R's own, or one set aside), come from a CA of
// the installation, be valid now, name the UID its request asked for, fit a UID and not take
// the name of a correspondent. The toolkit installs the new signature key in a staging copy
// of the PSE; one FileChange then puts signature key, certificate, key database and own
// certificate in place: a failure, or the death of the process at any point, leaves the old
// keys working and the pending renewal ready for a repeat.
#include <vector>

#include "binding/key_exchange.h"
#include "engine/transfer_record.h"
#include "platform/new_file.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_key_set.h"
#include "pse/pse_lock.h"
#include "pse/pse_renewal_hold.h"
#include "pse/pse_renewal_names.h"
#include "support/file_change.h"
#include "support/file_utils.h"
#include "support/rwsync.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

std::int32_t TMProWinCryptoEngine::RemoteGenerateFinishEx(const char* transfer, std::int32_t* step) {
    if (transfer == nullptr) return kBadArgument;
    if (!RemoteDirUsable()) return kRemotePathError;
    if (step == nullptr) return kBadArgument;
    if (*step == 0) {
        *step = 2;
        return kOk;
    }
    std::unique_lock<std::mutex> oneStep(stepMutex_, std::try_to_lock);
    if (!oneStep.owns_lock()) return kRenewalInProgress;
    const std::int32_t result = InternalRemoteGenerateFinish(transfer);
    *step = 1;
    return result;
}

namespace {

// StagePSE: S, a copy of the PSE's key set, where the toolkit may install a signature key.
bool StagePSE(const std::string& P, const std::string& S) {
    if (!platform::CreatePrivateDir(S)) return false;
    for (const char* dir : kKeySetDirs)
        if (!platform::CreatePrivateDir(S + dir)) return false;
    for (const auto& file : kKeySet)
        if (platform::FileExists(P + file.name) && !CopyFileWhole(P + file.name, S + file.name, FileAccess::KeyMaterial))
            return false;
    return true;
}

}  // namespace

std::int32_t TMProWinCryptoEngine::InternalRemoteGenerateFinish(const char* transfer) {
    return Guarded("TMProWinCryptoEngine.InternalRemoteGenerateFinish: ", [&]() -> std::int32_t {
        const std::string R = RemoteDir(), P = PSEDir();
        // Not while a start is between its steps, this engine's or another's.
        if (HoldsPSELock || RenewalHeldByOther(this)) return kRenewalInProgress;
        platform::FileLock renewal;
        switch (renewal.Lock(P + kRenewalLockName, false)) {
            case platform::LockResult::Held: break;
            case platform::LockResult::Busy: return kRenewalInProgress;
            case platform::LockResult::Failed: return kIOError;
        }
        std::int32_t code = RecoverInstallation(true);
        if (code != kOk) return code;
        RG_PSEPrivateKeyBackup(P.c_str(), nullptr);

        // Under the exclusive PSELock and the StoreLock from here: what the finish unpacks and
        // stages is recorded first, so that even a dead process leaves none of it behind.
        code = [&]() -> std::int32_t {
            WriteGuard exclusive(PSELock());
            CriticalGuard store(StoreLock());
            const std::string S = P + kStagingDirName, K = P + kUnpackedDirName, certificate = S + kIssuedName;
            FileChange change(P);
            if (!change.Begin({S, K}, ChangeDirs())) return kKeyExchangeError;
            for (const std::string& dir : {S, K})
                if (platform::DirectoryExists(dir)) DeleteDirectory(dir, true);
            if (!StagePSE(P, S)) return kKeyExchangeError;
            TransferBlock content;
            std::int32_t result = GetPublicKeyBlockByTransfer(transfer, content);
            if (result != kOk) return result;
            if (!WriteFileBuffer(certificate, content.block.data(), static_cast<std::int32_t>(content.block.size())))
                return kTransferError;
            std::string dir, oldKey;
            result = MatchPendingKeySet(PendingKeySets(R), S, K, certificate, dir, oldKey);
            return result != kOk ? result : InstallRenewedKeys(change, dir, S, K, certificate, oldKey);
        }();
        // Contexts that hold the old keys or certificate, or the staging copy, go.
        ClearCash();
        return code;
    });
}

std::int32_t TMProWinCryptoEngine::MatchPendingKeySet(const std::vector<std::string>& pending, const std::string& S,
                                                      const std::string& K, const std::string& certificate,
                                                      std::string& dir, std::string& oldKey) {
    TMProDLL* api = nullptr;
    std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    // The toolkit installs the matching signature key in the PSE of the vector: the staging copy.
    ParamVector vector = BuildParamVector(*api);
    if (vector.size() < 3) return kKeyExchangeError;
    vector[2] = S;
    std::int32_t failure = kIOError;  // no pending key set could be unpacked
    for (const std::string& candidate : pending) {
        if (platform::DirectoryExists(K)) DeleteDirectory(K, true);
        if (!platform::CreatePrivateDir(K)) return kKeyExchangeError;
        code = DecryptKeySet(candidate, K);
        if (code != kOk) {
            if (failure == kIOError) failure = code;
            continue;
        }
        std::vector<char> previous = BackupTextBuffer();
        code = api->CertificateAndPSePrivateKeysMatch(vector, certificate.c_str(), K.c_str(), previous.data());
        if (code > 0) {
            dir = candidate;
            oldKey = previous.data();
            return kOk;
        }
        if (code < 0) failure = code;  // the toolkit could not compare
        else if (failure == kIOError) failure = kCertificateKeyMismatch;
    }
    return failure;
}

std::int32_t TMProWinCryptoEngine::InstallRenewedKeys(FileChange& change, const std::string& dir, const std::string& S,
                                                      const std::string& K, const std::string& certificate,
                                                      const std::string& oldKey) {
    const std::string P = PSEDir(), R = RemoteDir(), certDir = CertificateDir();
    const std::string own = ExpandRootMacro(TrimSpaces(ParamValue(1)));
    std::string uid;
    const std::int32_t code = CheckRenewedCertificate(certificate, dir + kRequestFileName, uid);
    if (code != kOk) return code;
    if (!KeySetsComplete(P, K, own, certificate)) return kKeyExchangeError;

    std::string archive;
    RG_NextSignKeyArchiveName(P.c_str(), archive);
    if (!oldKey.empty()) change.Move(archive, oldKey);
    change.Replace(P + kSignatureKeyFile, S + kSignatureKeyFile, true);
    if (platform::FileExists(S + kSignaturePublicKeyFile))
        change.Replace(P + kSignaturePublicKeyFile, S + kSignaturePublicKeyFile);
    change.Replace(certDir + uid + ".pem", certificate);
    if (platform::FileExists(certDir + uid + ".cer")) change.Replace(certDir + uid + ".cer", "");
    PlanKeyFileExchange(change, P, K, own, certificate);
    // R empties once the renewal is installed, the renewals set aside with it.
    for (const auto& entry : platform::Enumerate(R + "*.*"))
        if (entry.name != "." && entry.name != "..") change.DiscardWhenDone(R + entry.name);
    return change.Apply() ? kOk : kKeyExchangeError;
}

}  // namespace vorlan
