// TMPro1CryptoEngine: what a transfer carries (its owner, a CA certificate to file), transfers
// built from certificate and request files, and the one place where CA certificates are filed.
#include <cstring>

#include "engine/mpro1_engine.h"
#include "engine/transfer_record.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

std::int32_t TMPro1CryptoEngine::GetUIDByPublicKeyTransfer(const char* transfer, char* uid) {
    if (uid == nullptr) return kBadArgument;
    TransferBlock content;
    const std::int32_t code = GetPublicKeyBlockByTransfer(transfer, content);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.GetUIDByPublicKeyTransfer: ", [&]() -> std::int32_t {
        std::memcpy(uid, content.owner.c_str(), content.owner.size() + 1);  // at most 256 bytes
        return kOk;
    });
}

bool TMPro1CryptoEngine::FileCACertificate(const std::string& caDir, std::string_view certificate, CANaming naming) {
    std::string name;
    if (naming == CANaming::Numbered) {
        name = "ca" + std::to_string(NextNumberedName(caDir, "ca*.pem")) + ".pem";
    } else {
        name = "ca.pem";
        if (platform::GetAttributes(caDir + name)) name = "ca" + FormatNumber5(NextNumberedName(caDir, "ca*.pem")) + ".pem";
    }
    // A name cut to five digits can meet an existing certificate: never overwrite one.
    if (platform::GetAttributes(caDir + name)) return false;
    return WriteFileBuffer(caDir + name, certificate.data(), static_cast<std::int32_t>(certificate.size()));
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
        const std::string dir = GetCADir();
        if (!IsDirectory(dir)) CreateDirectoryPath(dir);
        if (!IsDirectory(dir)) return kIOError;
        bool written = false;
        {
            // Two filings must not take the same free name.
            CriticalGuard store(StoreLock());
            written = FileCACertificate(dir, content.block, CANaming::FirstPlain);
        }
        ClearCash();
        return written ? kOk : kIOError;
    });
}

std::int32_t TMPro1CryptoEngine::GetPublicKeyTransferByFile(char* transfer, const char* fileName) {
    if (transfer == nullptr) return kBadArgument;
    const std::string file = ExpandRootMacro(fileName != nullptr ? fileName : "");
    return Guarded("TMProCryptoEngine.GetPublicKeyTransferByFile: ", [&]() -> std::int32_t {
        std::string owner;
        if (file.empty() || GetCertUIDByFile(file, UIDField(), owner) != kOk) owner = "Certificate Request";
        // The record's block takes at most 8192 bytes: a longer file cannot travel.
        const auto size = platform::FileSize(file);
        if (!size || *size > static_cast<std::int64_t>(kTransferBlockCapacity)) return kIOError;
        const auto content = platform::ReadWholeFile(file);
        if (!content || content->size() > kTransferBlockCapacity) return kIOError;
        return BuildPublicKeyTransfer(owner, *content, transfer);
    });
}

std::int32_t TMPro1CryptoEngine::IncludePublicEncodeKey(const char* fileName) {
    return IncludePublicKey(ExpandRootMacro(fileName != nullptr ? fileName : "").c_str());
}

}  // namespace vorlan
