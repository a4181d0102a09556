// TMPro1CryptoEngine: the finish of remote key generation. The issued certificate of the
// transfer is checked before anything changes (it belongs to the pending key, an installed CA
// issued it, it is valid, its UID is the one its request asked for and no correspondent's),
// then installed with the pending key in place of the old ones, all steps or none: a failing
// step takes back the earlier ones, and the pending files stay for a repeat. Certificates
// that others read are replaced in one rename after their backup was made.
#include <algorithm>
#include <optional>
#include <vector>

#include "binding/key_exchange.h"
#include "binding/line_escape.h"
#include "engine/mpro1_engine.h"
#include "engine/subject_utils.h"
#include "engine/transfer_record.h"
#include "platform/new_file.h"
#include "platform/platform.h"
#include "support/file_change.h"
#include "support/file_utils.h"
#include "support/scoped_removal.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

constexpr std::int32_t kKeyPackageLimit = 8192;

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

// ReqInfoKey: the key of the request information line that holds a UID field ("" for none).
std::string ReqInfoKey(const std::string& field) {
    const std::string f = UpperCaseAscii(field);
    if (f == "ST" || f == "SP") return "S=";
    for (const char* known : {"CN", "C", "S", "L", "O", "OU", "E", "T"})
        if (f == known) return f + "=";
    return {};
}

// InfoValue: the value of the line of an information text that begins with key.
std::string InfoValue(const std::string& text, const std::string& key) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.starts_with(key)) return line.substr(key.size());
        if (end == std::string::npos) break;
        at = end + 2;
    }
    return {};
}

// OwnOrAbsent: no certificate is filed as base + ".pem" or ".cer", or the one filed is the
// user's: the own certificate, or the one it replaced (its ".old" copy).
bool OwnOrAbsent(const std::string& base, const std::string& own) {
    if (platform::FileExists(base + ".cer")) return false;
    const auto filed = platform::ReadWholeFile(base + ".pem");
    if (!filed) return !platform::FileExists(base + ".pem");
    for (const std::string& mine : {own, BackupName(own)})
        if (platform::ReadWholeFile(mine) == filed) return true;
    return false;
}

}  // namespace

std::int32_t TMPro1CryptoEngine::CheckRenewedCertificate(const std::string& certificate, const std::string& request,
                                                         std::string& uid) {
    // The toolkit's word: an installed CA issued it, it is valid now, no CRL revokes it.
    std::int32_t code = CertificateTrust(certificate);
    if (code != kOk) return code;
    const std::string field = UIDField();
    code = GetCertUIDByFile(certificate, field, uid);
    if (code != kOk) return code;
    const std::string shown = mpro::EscapeControlBytes(uid);
    if (!UIDFits(uid)) {
        SetLastReason("The UID \"" + shown + "\" of the certificate is longer than a UID may be");
        return kUIDTooLong;
    }
    if (field != "SN") {
        TMProDLL* api = nullptr;
        code = RequireCryptoAPI(api);
        if (code != kOk) return code;
        std::string bytes(static_cast<std::size_t>(std::max(api->GetMaxCertBufferSize(), 0)), '\0');
        auto length = static_cast<std::int32_t>(bytes.size());
        std::string text;
        const std::string key = ReqInfoKey(field);
        if (key.empty() || !ReadFileBuffer(request, bytes.data(), &length) ||
            api->GetReqInfoText(BuildParamVector(*api), reinterpret_cast<const unsigned char*>(bytes.data()), length,
                                text) != kOk) {
            SetLastReason("The UID that the request " + request + " asked for cannot be read");
            return kRequestedUIDMismatch;
        }
        if (const std::string requested = InfoValue(text, key); requested != shown) {
            SetLastReason("The certificate is for UID \"" + shown + "\"; its request asked for \"" + requested + "\"");
            return kRequestedUIDMismatch;
        }
    }
    // The UID becomes a file name in the certificate directory.
    if (!IsSafeUID(uid)) return kUIDError;
    char current[kMaxUIDBytes] = {};
    code = TMPro1CryptoEngine::GetCurrentUserUID(current);  // the caller may hold the PSELock
    if (code != kOk) return code;
    if (!SameTextAnsi(uid, current) && !OwnOrAbsent(CertificateDir() + uid, ExpandRootMacro(TrimSpaces(ParamValue(1))))) {
        SetLastReason("A certificate of \"" + shown + "\", another user, is filed in the certificate directory");
        return kForeignUIDFiled;
    }
    return kOk;
}

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

        // The certificate and the key wait beside the request until they are checked; the
        // request itself stays, for the check of its UID and for a repeat.
        TransferBlock content;
        code = GetPublicKeyBlockByTransfer(transfer, content);
        if (code != kOk) return code;
        const ScopedRemoval issued(work + "issued.pem", ScopedRemoval::Kind::File);
        const ScopedRemoval pendingKey(work + "Tmp_key.pem", ScopedRemoval::Kind::File);
        if (platform::FileExists(pendingKey.Path())) platform::DeleteFile(pendingKey.Path());
        if (!WriteFileBuffer(issued.Path(), content.block.data(), static_cast<std::int32_t>(content.block.size())))
            return kTransferError;
        if (!platform::WriteNewFile(pendingKey.Path(), keyBytes, static_cast<std::size_t>(keySize), platform::kOwnerOnly))
            return kRemoteDirIOError;
        TMProDLL* api = nullptr;
        code = RequireCryptoAPI(api);
        if (code != kOk) return code;
        if (!api->CertificateAndPrivateKeyMatch(BuildParamVector(*api), issued.Path().c_str(), pendingKey.Path().c_str()))
            return kCertificateKeyMismatch;
        char oldUid[kMaxUIDBytes] = {};
        code = GetCurrentUserUID(oldUid);
        if (code != kOk) return code;
        // The old UID becomes a file name in the certificate directory.
        if (!IsSafeUID(oldUid)) return kUIDError;

        const std::string certDir = CertificateDir();
        const std::string own = ExpandRootMacro(TrimSpaces(ParamValue(1)));
        const std::string keysDir = IncludeBackslash(TrimSpaces(ParamValue(3))) + "KEYS\\";
        {
            CriticalGuard store(StoreLock());
            std::string newUid;
            code = CheckRenewedCertificate(issued.Path(), work + "Tmp_cert.pem", newUid);
            if (code != kOk) return code;
            const std::int32_t backup = NextNumberedExtension(certDir, oldUid);
            const std::string keyFile = keysDir + "key" + FormatNumber5(NextNumberedName(keysDir, "key*.*")) + ".pem";
            UndoLog undo;
            if (!platform::WriteNewFile(keyFile, keyBytes, static_cast<std::size_t>(keySize), platform::kOwnerOnly))
                return kKeyExchangeError;
            undo.Add([keyFile] { platform::DeleteFile(keyFile); });

            // The certificate filed under the old UID steps aside (kept when the new one takes
            // its name), the new one is filed under its UID, then the own certificate is replaced.
            const std::string filed = certDir + oldUid + ".pem";
            if (!SamePath(filed, own)) {
                const std::string filedBackup = certDir + oldUid + "." + FormatNumber3(backup + 1);
                const bool sameName = SameTextAnsi(oldUid, newUid);
                if (platform::FileExists(filed) &&
                    !(sameName ? Backup(undo, filed, filedBackup) : Rename(undo, filed, filedBackup)))
                    return kKeyExchangeError;
                if (!ReplaceFile(undo, certDir + newUid + ".pem", issued.Path())) return kKeyExchangeError;
            }
            if (!Backup(undo, own, certDir + oldUid + "." + FormatNumber3(backup)) ||
                !ReplaceFile(undo, own, issued.Path()))
                return kKeyExchangeError;
            undo.Commit();
        }
        EmptyRemoteGenerateDir();
        ClearCash();
        return kOk;
    });
}

}  // namespace vorlan
