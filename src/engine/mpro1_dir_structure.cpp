// TMPro1CryptoEngine: laying out a new user's directories with the own and the CA
// certificates, and asking whether a certificate transfer answers a request transfer.
#include <algorithm>
#include <set>
#include <vector>

#include "engine/mpro1_engine.h"
#include "engine/transfer_record.h"
#include "platform/guarded_files.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/scoped_removal.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

constexpr std::size_t kCAListLength = 255;

// CACertificateNames: the CA certificate files of a directory.
std::set<std::string> CACertificateNames(const std::string& caDir) {
    std::set<std::string> names;
    for (const auto& entry : platform::Enumerate(caDir + "ca*.pem")) names.insert(entry.name);
    return names;
}

// RemoveCACertificatesBut: deletes the CA certificate files of caDir that are not in kept.
void RemoveCACertificatesBut(const std::string& caDir, const std::set<std::string>& kept) {
    for (const std::string& name : CACertificateNames(caDir))
        if (kept.count(name) == 0) platform::DeleteFile(caDir + name);
}

}  // namespace

std::int32_t TMPro1CryptoEngine::CreateDirStructure(const char* certificateFile, const char* caFiles) {
    return Guarded("TMProCryptoEngine.CreateDirStructure: ", [&]() -> std::int32_t {
        // Parameters as GetCryptoParamValue gives them.
        const auto limit = static_cast<std::size_t>(std::max(GetMaxCryptoParamValueLength() - 1, 0));
        auto param = [&](std::int32_t index) { return ParamValue(index).substr(0, limit); };
        const std::string own = ExpandRootMacro(param(1));
        // Without the key or certificate directory there is nowhere to lay out: nothing is
        // created, least of all in the working directory.
        if (TrimSpaces(param(3)).empty() || TrimSpaces(param(2)).empty()) return kIOError;
        // CA certificates go where the toolkit looks for them.
        const std::string caDir = ExpandRootMacroDir(GetCADir());
        const std::string certDir = ExpandRootMacroDir(param(2));
        std::vector<std::string> caList;
        if (caFiles != nullptr) SplitList(std::string(caFiles).substr(0, kCAListLength).c_str(), caList);

        // Everything is read before anything changes, regular files of a certificate's size only.
        TMProDLL* api = nullptr;
        std::int32_t code = RequireCryptoAPI(api);
        if (code != kOk) return code;
        const auto size = static_cast<std::size_t>(std::max(api->GetMaxCertBufferSize(), 0));
        auto read = [&](const std::string& file) { return file.empty() ? std::nullopt : platform::ReadRegularFile(file, size); };
        const std::string source = ExpandRootMacro(certificateFile != nullptr ? certificateFile : "");
        if (!read(source)) return kIOError;
        std::vector<std::string> caCertificates;
        for (const std::string& entry : caList) {
            auto content = read(ExpandRootMacro(entry));
            if (!content) return kIOError;
            caCertificates.push_back(std::move(*content));
        }
        if ((code = CheckOwnKey(source)) != kOk) return code;
        for (const std::string& dir : {caDir, certDir})
            if (!IsDirectory(dir)) CreateDirectoryPath(dir);
        if (!IsDirectory(caDir) || !IsDirectory(certDir)) return kIOError;
        std::string uid;
        {
            // The files are laid out completely or not at all: the CA certificates and the own
            // certificate are taken back when a later step fails; the certificate filed under
            // its UID comes last.
            CriticalGuard store(StoreLock());
            UndoLog undo;
            undo.Add([caDir, present = CACertificateNames(caDir)] { RemoveCACertificatesBut(caDir, present); });
            for (const std::string& content : caCertificates)
                if (const std::int32_t filed = FileCACertificate(caDir, content, CASource::DirStructure); filed != kOk)
                    return filed;
            if (source != own && !ReplaceFile(undo, own, source)) return kIOError;
            if ((code = FileCertificateByUID(certDir, source, false, uid)) != kOk) return code;
            undo.Commit();
        }
        ForgetSubjects();
        return UpdateCertCashByFile(certDir + uid + ".pem");
    });
}

std::int32_t TMPro1CryptoEngine::CertAndRequestTransferMatch(const char* certificateTransfer,
                                                             const char* requestTransfer, std::int32_t* match) {
    if (match == nullptr) return kBadArgument;
    TransferBlock certificate, request;
    std::int32_t code = GetPublicKeyBlockByTransfer(certificateTransfer, certificate);
    if (code != kOk) return code;
    code = GetPublicKeyBlockByTransfer(requestTransfer, request);
    if (code != kOk) return code;

    // A private directory of this call's own, gone with its files on every way out.
    const std::string dir = platform::CreatePrivateDirectory(IncludeBackslash(GetTempDir()));
    if (dir.empty()) return kTempDirError;
    const ScopedRemoval cleanup(dir, ScopedRemoval::Kind::DirectoryTree);
    const std::string certificateFile = dir + "\\cer.pem", requestFile = dir + "\\req.pem";
    if (!WriteFileBuffer(certificateFile, certificate.block.data(), static_cast<std::int32_t>(certificate.block.size())) ||
        !WriteFileBuffer(requestFile, request.block.data(), static_cast<std::int32_t>(request.block.size())))
        return kTempSaveError;

    TMProDLL* api = nullptr;
    code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.CertAndRequestTransferMatch: ", [&]() -> std::int32_t {
        const bool matches =
            api->CertificateAndRequestMatch(BuildParamVector(*api), certificateFile.c_str(), requestFile.c_str());
        *match = matches ? -1 : 0;
        return kOk;
    });
}

std::int32_t TMPro1CryptoEngine::CheckOwnKey(const std::string& certificate) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    // The toolkit's own choice: the key file when one is set, else the key directory's container.
    const std::string keyFile = ExpandRootMacro(TrimSpaces(ParamValue(7)));
    const ParamVector vector = BuildParamVector(*api);
    const bool matches = !keyFile.empty()
                             ? api->CertificateAndPrivateKeyMatch(vector, certificate.c_str(), keyFile.c_str())
                             : api->CertificateAndPSePrivateKeyMatch(vector, certificate.c_str(),
                                                                     ExpandRootMacroDir(TrimSpaces(ParamValue(3))).c_str());
    return matches ? kOk : kOwnKeyMismatch;
}

}  // namespace vorlan
