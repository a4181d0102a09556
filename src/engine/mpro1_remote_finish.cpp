// TMPro1CryptoEngine: the finish of remote key generation. The issued certificate of the
// transfer and the pending new key are installed in place of the old ones, all steps or
// none: a failing step takes back the earlier ones, and the pending files stay for a repeat.
// Certificates that others read are replaced in one rename after their backup was made.
#include <algorithm>
#include <optional>
#include <vector>

#include "engine/mpro1_engine.h"
#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

constexpr std::int32_t kKeyPackageLimit = 8192;
constexpr std::size_t kTransferUIDBuffer = 257;  // an owner UID of a transfer: up to 256 characters

// Backup: a copy of file under the (free) backup name; taken back by deleting it.
bool Backup(UndoLog& undo, const std::string& file, const std::string& backup) {
    if (platform::FileExists(backup) || !platform::CopyWholeFile(file, backup)) return false;
    undo.Add([backup] { platform::DeleteFile(backup); });
    return true;
}

// Rename: a file to a free name; taken back by the reverse rename.
bool Rename(UndoLog& undo, const std::string& from, const std::string& to) {
    if (!platform::MoveFile(from, to)) return false;
    undo.Add([from, to] { platform::MoveFile(to, from); });
    return true;
}

}  // namespace

std::int32_t TMPro1CryptoEngine::RemoteGenerateFinishEx(const char* transfer, std::int32_t* step) {
    if (step == nullptr) return kBadArgument;
    *step = 1;
    return RemoteGenerateFinish(transfer);
}

std::int32_t TMPro1CryptoEngine::RemoteGenerateFinish(const char* transfer) {
    if (transfer == nullptr) return kBadArgument;
    if (RemoteGeneratePath.empty()) return kRemotePathError;
    return Guarded("TMProCryptoEngine.RemoteGenerateFinish: ", [&]() -> std::int32_t {
        const std::string work = RemoteGeneratePath;
        std::vector<unsigned char> package(kKeyPackageLimit);
        std::int32_t packageSize = kKeyPackageLimit;
        if (!ReadFileBuffer(work + "key.dat", package.data(), &packageSize)) return kPendingFileMissing;
        unsigned char* keyBytes = nullptr;
        std::int32_t keySize = 0;
        std::int32_t code = DecodeAfterHeader(package.data(), packageSize, &keyBytes, &keySize);
        if (code != kOk) return code;
        // The plain key lives in this buffer only; it is wiped on every way out.
        struct Wipe {
            std::vector<unsigned char>& bytes;
            ~Wipe() { std::fill(bytes.begin(), bytes.end(), 0); }
        } wipe{package};

        code = SavePublicKeyFromTransfer(work.c_str(), transfer);
        if (code != kOk) return code;
        const std::string issued = work + "Tmp_cert.pem";
        if (!platform::FileExists(issued)) return kTransferError;
        char newUid[kTransferUIDBuffer] = {};
        code = GetUIDByPublicKeyTransfer(transfer, newUid);
        if (code != kOk) return code;
        char oldUid[kMaxUIDBytes] = {};
        code = GetCurrentUserUID(oldUid);
        if (code != kOk) return code;
        // Both UIDs become file names in the certificate directory.
        if (!IsSafeUID(newUid) || !IsSafeUID(oldUid)) return kUIDError;

        const std::string certDir = CertificateDir();
        const std::string own = ExpandRootMacro(TrimSpaces(ParamValue(1)));
        const std::string keysDir = IncludeBackslash(TrimSpaces(ParamValue(3))) + "KEYS\\";
        {
            CriticalGuard store(StoreLock());
            const std::int32_t backup = NextNumberedExtension(certDir, oldUid);
            const std::string keyFile = keysDir + "key" + FormatNumber5(NextNumberedName(keysDir, "key*.*")) + ".pem";
            UndoLog undo;
            // The new key goes in first, so that the certificate can be checked against it.
            if (platform::FileExists(keyFile) ||
                !platform::WriteWholeFile(keyFile, keyBytes, static_cast<std::size_t>(keySize), platform::kOwnerOnly))
                return kKeyExchangeError;
            undo.Add([keyFile] { platform::DeleteFile(keyFile); });
            TMProDLL* api = nullptr;
            code = RequireCryptoAPI(api);
            if (code != kOk) return code;
            if (!api->CertificateAndPrivateKeyMatch(BuildParamVector(*api), issued.c_str(), keyFile.c_str()))
                return kCertificateKeyMismatch;

            // The certificate filed under the old UID steps aside (kept when the new one takes
            // its name), the new one is filed under its UID, then the own certificate is replaced.
            const std::string filed = certDir + oldUid + ".pem";
            if (!SameTextAnsi(filed, own)) {
                const std::string filedBackup = certDir + oldUid + "." + FormatNumber3(backup + 1);
                const bool sameName = SameTextAnsi(oldUid, newUid);
                if (platform::FileExists(filed) &&
                    !(sameName ? Backup(undo, filed, filedBackup) : Rename(undo, filed, filedBackup)))
                    return kKeyExchangeError;
                if (!ReplaceFile(undo, certDir + newUid + ".pem", issued)) return kKeyExchangeError;
            }
            if (!Backup(undo, own, certDir + oldUid + "." + FormatNumber3(backup)) || !ReplaceFile(undo, own, issued))
                return kKeyExchangeError;
            undo.Commit();
        }
        EmptyRemoteGenerateDir();
        ClearCash();
        return kOk;
    });
}

}  // namespace vorlan
