// TMPro1CryptoEngine: public key transfers. Building a signed transfer of a certificate,
// reading one back (signature checked and removed, body unpacked), and filing the
// certificate it carries in the certificate directory.
#include <algorithm>
#include <cstring>
#include <new>

#include "binding/base64.h"
#include "engine/mpro1_engine.h"
#include "engine/subject_utils.h"
#include "engine/transfer_record.h"
#include "platform/platform.h"
#include "support/errors.h"
#include "support/file_utils.h"
#include "support/scoped_removal.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

}  // namespace

std::int32_t TMPro1CryptoEngine::GetMaxPublicKeyTransferSize() { return kMaxPublicKeyTransferSize; }

std::int32_t TMPro1CryptoEngine::BuildPublicKeyTransfer(const std::string& owner, std::string_view block,
                                                        char* transfer) {
    if (transfer == nullptr) return kBadArgument;
    if (!TransferOwnerFits(owner)) return kUIDError;
    if (block.size() > kTransferBlockCapacity) return kBadArgument;
    char uid[kMaxUIDBytes] = {};
    std::int32_t code = GetCurrentUserUID(uid);
    if (code != kOk) return code;
    std::string record = PackTransferRecord(owner, block);
    record.resize(kTransferRecordSize + static_cast<std::size_t>(std::max(GetMaxSignAddition(), 0)));
    auto size = static_cast<std::int32_t>(kTransferRecordSize);
    code = AddSign(Bytes(record), &size, uid);
    if (code != kOk) return code;
    if (size < static_cast<std::int32_t>(kTransferRecordSize) || static_cast<std::size_t>(size) > record.size())
        throw ERangeError("The signed transfer record is reported as " + std::to_string(size) + " bytes");
    const std::string text = Base64Encode(record.data(), size);
    if (text.empty()) throw EOutOfMemory("The transfer could not be coded as text");
    if (text.size() > static_cast<std::size_t>(kMaxPublicKeyTransferSize))
        throw ERangeError("The transfer text of " + std::to_string(text.size()) + " characters exceeds " +
                          std::to_string(kMaxPublicKeyTransferSize));
    std::memcpy(transfer, text.c_str(), text.size() + 1);
    return kOk;
}

std::int32_t TMPro1CryptoEngine::GetPublicKeyBlockByTransfer(const char* transfer, TransferBlock& out) {
    if (transfer == nullptr || *transfer == '\0') return kBadArgument;
    return Guarded("TMProCryptoEngine.GetPublicKeyBlockByTransfer: ", [&]() -> std::int32_t {
        // The longest transfer anyone sends: a long-layout body with the largest signature.
        const std::size_t signedMax = kLongTransferBodySize + static_cast<std::size_t>(std::max(GetMaxSignAddition(), 0));
        // Line breaks and blanks that a mail client put in do not count.
        std::string decoded = Base64DecodeLines(transfer, 4 * ((signedMax + 2) / 3));
        if (decoded.empty()) return kBadArgument;
        char signer[kMaxUIDBytes] = {};
        auto size = static_cast<std::int32_t>(decoded.size());
        const std::int32_t code = RemoveSign(Bytes(decoded), &size, signer);
        if (code != kOk) return code;
        if (size < 0 || static_cast<std::size_t>(size) > decoded.size()) return kTransferError;
        return UnpackTransferBody(std::string_view(decoded).substr(0, static_cast<std::size_t>(size)), out)
                   ? kOk
                   : kTransferError;
    });
}

std::int32_t TMPro1CryptoEngine::SaveTransferToFile(const std::string& directory, const char* transfer,
                                                    const std::string& fileName) {
    TransferBlock content;
    const std::int32_t code = GetPublicKeyBlockByTransfer(transfer, content);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.SaveTransferToFile: ", [&]() -> std::int32_t {
        // A file of that name is replaced in one rename: it is never gone without the new one.
        const std::string file = IncludeBackslash(directory) + fileName, staged = StagedName(file);
        ScopedRemoval leftover(staged, ScopedRemoval::Kind::File);
        if (!WriteFileBuffer(staged, content.block.data(), static_cast<std::int32_t>(content.block.size())) ||
            !platform::RenameReplacing(staged, file))
            return kIOError;
        leftover.Keep();
        return kOk;
    });
}

std::int32_t TMPro1CryptoEngine::CertificateOfUID(const std::string& uid, TMProDLL*& api, std::string& certificate) {
    std::string subject;
    std::int32_t code = ReadSubjectFromCert(uid, subject);
    if (code != kOk) return code;
    code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    const std::int32_t capacity = std::max(api->GetMaxCertBufferSize(), 0);
    try {
        certificate.assign(static_cast<std::size_t>(capacity) + 1, '\0');
    } catch (const std::bad_alloc&) {
        return kLowMemory;
    }
    std::int32_t length = capacity;
    code = api->GetCertificateByUID(BuildParamVector(*api), subject.c_str(), Bytes(certificate), &length);
    if (code != kOk) return code;
    if (length < 0 || length > capacity)
        throw ERangeError("The toolkit reports a certificate of " + std::to_string(length) + " bytes");
    certificate.resize(static_cast<std::size_t>(length));
    return kOk;
}

std::int32_t TMPro1CryptoEngine::GetPublicKeyTransfer(const char* uid, char* transfer) {
    if (transfer == nullptr) return kBadArgument;
    const std::string owner = uid != nullptr ? uid : "";
    return Guarded("TMProCryptoEngine.GetPublicKeyTransfer: ", [&]() -> std::int32_t {
        TMProDLL* api = nullptr;
        std::string certificate;
        const std::int32_t code = CertificateOfUID(owner, api, certificate);
        return code != kOk ? code : BuildPublicKeyTransfer(owner, certificate, transfer);
    });
}

std::int32_t TMPro1CryptoEngine::ExcludeSelfPublicKeyTransfer(char* transfer) {
    char uid[kMaxUIDBytes] = {};
    const std::int32_t code = GetCurrentUserUID(uid);
    if (code != kOk) return code;
    return GetPublicKeyTransfer(uid, transfer);
}

std::int32_t TMPro1CryptoEngine::SavePublicKeyFromTransfer(const char* directory, const char* transfer) {
    // Without a directory the file would land wherever the process happens to run.
    if (directory == nullptr || *directory == '\0') return kBadArgument;
    return SaveTransferToFile(ExpandRootMacro(directory), transfer, "Tmp_cert.pem");
}

std::int32_t TMPro1CryptoEngine::IncludePublicKeyTransfer(const char* transfer) {
    return Guarded("TMProCryptoEngine.IncludePublicKeyTransfer: ", [&]() -> std::int32_t {
        const std::string dir = CertificateDir();
        if (dir.empty()) return kIOError;
        TransferBlock content;
        std::int32_t code = GetPublicKeyBlockByTransfer(transfer, content);
        if (code != kOk) return code;
        // The owner must be the certificate's UID, so it must be one at all.
        if (!UIDFits(content.owner) || !IsSafeUID(content.owner)) return kUIDError;
        Correspondent correspondent{{}, &content.owner};
        code = ReadOwnCertificate(correspondent.own);
        if (code != kOk) return code;
        {
            // The file takes the next "crt" number and is filed under its UID as IncludePublicKey
            // files one: backup copied, replaced in one rename, complete or not at all.
            CriticalGuard store(StoreLock());
            const std::string name = "crt" + FormatNumber5(NextNumberedName(dir, "crt*.*")) + ".pem";
            // The toolkit finds certificates in this directory by subject: a file that is not
            // filed under its UID must not stay, whatever goes wrong from here on.
            ScopedRemoval temporary(dir + name, ScopedRemoval::Kind::File);
            if (!WriteFileBuffer(temporary.Path(), content.block.data(), static_cast<std::int32_t>(content.block.size())))
                return kIOError;
            std::string uid;
            code = FileCertificateByUID(dir, temporary.Path(), false, uid, &correspondent);
            if (code != kOk) return code;
        }
        // Contexts that read the directory before would still answer with the replaced certificate.
        ClearCash();
        return kOk;
    });
}

}  // namespace vorlan
