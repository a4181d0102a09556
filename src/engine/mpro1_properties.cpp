// TMPro1CryptoEngine: what a transfer carries (its owner, a CA certificate to file), transfers
// built from certificate and request files, and the one place where CA certificates are filed.
#include "engine/mpro1_engine.h"
#include "engine/report_dump.h"
#include "engine/subject_utils.h"
#include "engine/transfer_record.h"
#include "platform/guarded_files.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/scoped_removal.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

std::int32_t TMPro1CryptoEngine::GetUIDByPublicKeyTransfer(const char* transfer, char* uid) {
    if (uid == nullptr) return kBadArgument;
    TransferBlock content;
    std::int32_t code = GetPublicKeyBlockByTransfer(transfer, content);
    if (code != kOk) return code;
    // The owner is a UID for the caller: a file name that fits a buffer of GetMaxUIDLength.
    if (!UIDFits(content.owner) || !IsSafeUID(content.owner)) return kUIDError;
    TMProDLL* api = nullptr;
    if ((code = RequireCryptoAPI(api)) != kOk) return code;
    return Guarded("TMProCryptoEngine.GetUIDByPublicKeyTransfer: ", [&]() -> std::int32_t {
        // A certificate names its owner itself; a request's owner is only what the sender says.
        std::string report;
        if (CertificateReport(*api, content.block, report) == kOk && ReportValue(report, UIDField() + "=") != content.owner)
            return kTransferOwnerMismatch;
        return CopyUID(content.owner, uid);
    });
}

std::int32_t TMPro1CryptoEngine::FileCACertificate(const std::string& caDir, std::string_view certificate,
                                                   CASource source) {
    TMProDLL* api = nullptr;
    if (source == CASource::Transfer) {
        const std::int32_t code = RequireCryptoAPI(api);
        if (code != kOk) return code;
    }
    CriticalGuard store(StoreLock());
    std::string name;
    if (source == CASource::DirStructure) {
        name = "ca" + std::to_string(NextNumberedName(caDir, "ca*.pem")) + ".pem";
    } else {
        name = "ca.pem";
        if (platform::GetAttributes(caDir + name)) name = "ca" + FormatNumber5(NextNumberedName(caDir, "ca*.pem")) + ".pem";
    }
    const std::string target = caDir + name;
    // A name cut to five digits can meet an existing certificate: never overwrite one.
    if (platform::GetAttributes(target)) return kIOError;
    ScopedRemoval staged(StagedName(target), ScopedRemoval::Kind::File);
    if (!platform::WriteWholeFile(staged.Path(), certificate.data(), certificate.size())) return kIOError;
    // What a correspondent sends becomes a trust anchor only with the toolkit's word on it.
    if (source == CASource::Transfer) {
        const std::int32_t code = api->IncludePublicKey(BuildParamVector(*api), staged.Path().c_str());
        if (code != kOk) return code;
    }
    // One rename that never replaces: the certificate appears whole, or not at all.
    if (!platform::MoveFile(staged.Path(), target)) return kIOError;
    staged.Keep();
    return kOk;
}

std::int32_t TMPro1CryptoEngine::IncludeCACertificateFromTransfer(const char* transfer) {
    TMProDLL* api = nullptr;
    std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    // The transfer is read before anything is created on disk.
    TransferBlock content;
    code = GetPublicKeyBlockByTransfer(transfer, content);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.IncludeCACertificateFromTransfer: ", [&]() -> std::int32_t {
        // Neither the CA parameter nor the key directory set: no CA directory, and nothing is
        // filed (least of all in the working directory).
        const std::string dir = GetCADir();
        if (dir.empty()) return kIOError;
        if (!IsDirectory(dir)) CreateDirectoryPath(dir);
        if (!IsDirectory(dir)) return kIOError;
        const std::int32_t filed = FileCACertificate(dir, content.block, CASource::Transfer);
        ClearCash();
        return filed;
    });
}

std::int32_t TMPro1CryptoEngine::GetPublicKeyTransferByFile(char* transfer, const char* fileName) {
    if (transfer == nullptr) return kBadArgument;
    const std::string file = ExpandRootMacro(fileName != nullptr ? fileName : "");
    return Guarded("TMProCryptoEngine.GetPublicKeyTransferByFile: ", [&]() -> std::int32_t {
        // The record's block takes at most 8192 bytes: a longer file cannot travel. A device or
        // FIFO is refused before the toolkit opens it.
        const auto content = file.empty() ? std::nullopt : platform::ReadRegularFile(file, kTransferBlockCapacity);
        if (!content) return kIOError;
        std::string owner;
        if (GetCertUIDByFile(file, UIDField(), owner) != kOk) owner = "Certificate Request";
        return BuildPublicKeyTransfer(owner, *content, transfer);
    });
}

std::int32_t TMPro1CryptoEngine::IncludePublicEncodeKey(const char* fileName) {
    return IncludePublicKey(ExpandRootMacro(fileName != nullptr ? fileName : "").c_str());
}

}  // namespace vorlan
