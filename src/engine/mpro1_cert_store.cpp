// TMPro1CryptoEngine: correspondents' certificates in the certificate directory, their
// numbered backups, the toolkit's certificate cache, and the CA and CRL directories.
#include <algorithm>
#include <vector>

#include "binding/subject_line.h"
#include "engine/mpro1_engine.h"
#include "engine/report_dump.h"
#include "engine/store_filing.h"
#include "engine/subject_utils.h"
#include "platform/guarded_files.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/store_change.h"
#include "support/text_utils.h"

namespace vorlan {

std::int32_t TMPro1CryptoEngine::IncludePublicKey(const char* fileName) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.IncludePublicKey: ", [&]() -> std::int32_t {
        const std::string source = ExpandRootMacro(fileName != nullptr ? fileName : "");
        return InternalIncludePublicKey(CertificateDir(), source, true, true);
    });
}

std::int32_t TMPro1CryptoEngine::InternalIncludePublicKey(const std::string& targetDir, const std::string& source,
                                                          bool move, bool refuseOwnUID) {
    if (source.empty() || !platform::FileExists(source)) return kPublicKeyNotFound;
    return Guarded("TMProCryptoEngine.InternalIncludePublicKey: ", [&]() -> std::int32_t {
        std::string uid;
        std::int32_t code = kOk;
        Correspondent correspondent;
        if (refuseOwnUID && (code = ReadOwnCertificate(correspondent.own)) != kOk) return code;
        code = FileCertificateByUID(targetDir, source, move, uid, refuseOwnUID ? &correspondent : nullptr);
        if (code != kOk) return code;
        ForgetSubjects();
        return UpdateCertCashByFile(targetDir + uid + ".pem");
    });
}

std::int32_t TMPro1CryptoEngine::ReadOwnCertificate(OwnCertificate& own) {
    own = {};
    // No own certificate: there is no current user whose copy could be replaced.
    const std::string file = ExpandRootMacro(TrimSpaces(ParamValue(1)));
    if (file.empty() || !platform::FileExists(file)) return kOk;
    char current[kMaxUIDBytes] = {};
    const std::int32_t code = GetCurrentUserUID(current);
    if (code != kOk) return code;
    own.uid = current;
    own.content = platform::ReadWholeFile(file).value_or(std::string());
    return kOk;
}

std::int32_t TMPro1CryptoEngine::FileCertificateByUID(const std::string& targetDir, const std::string& source, bool move,
                                                      std::string& uid, const Correspondent* correspondent) {
    std::int32_t code = GetCertUIDByFile(source, UIDField(), uid);
    if (code != kOk) return code;
    // The UID comes from the certificate and becomes a file name in the target directory.
    if (!IsSafeUID(uid)) return kUIDError;
    CertificateMark mark;
    if (correspondent != nullptr) {
        if (correspondent->owner != nullptr && *correspondent->owner != uid) return kTransferOwnerMismatch;
        // File names match without regard to case, so "user01" would reach USER01.pem; the own
        // certificate itself, filed again, changes nothing.
        const OwnCertificate& own = correspondent->own;
        if (!own.uid.empty() && SameTextAnsi(own.uid, uid)) {
            const auto incoming = platform::ReadWholeFile(source);
            if (own.content.empty() || !incoming || *incoming != own.content) return kSelfCertificate;
        }
        // What mail could never be sent to is not filed.
        if ((code = CertificateTrust(source)) != kOk || (code = MarkOfCertificate(source, mark)) != kOk) return code;
    }
    CriticalGuard store(StoreLock());
    if (correspondent != nullptr && (code = CheckSuccession_locked(targetDir, uid, mark)) != kOk) return code;
    return FileCertificate_locked(targetDir, uid, source, move) ? kOk : kIOError;
}

namespace {

// WithoutComponent: a subject line without its first component of tag (e.g. "/CN=").
std::string WithoutComponent(std::string line, const std::string& tag) {
    const std::size_t start = mpro::FindUnescaped(line, tag);
    if (start == std::string::npos) return line;
    const std::size_t end = mpro::FindUnescaped(line, "/", start + 1);
    return line.erase(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::int32_t TMPro1CryptoEngine::MarkOfCertificate(const std::string& file, CertificateMark& mark) {
    TMProDLL* api = nullptr;
    std::int32_t code = RequireCryptoAPI(api);
    if (code == kOk) code = GetCertSubjectByFile(file, "CN", mark.subject);
    if (code != kOk) return code;
    if (const std::string field = UIDField(); field != "SN") mark.subject = WithoutComponent(mark.subject, "/" + field + "=");
    const auto content = platform::ReadRegularFile(file, static_cast<std::size_t>(std::max(api->GetMaxCertBufferSize(), 0)));
    if (!content) return kIOError;
    std::string report;
    if ((code = CertificateReport(*api, *content, report)) != kOk) return code;
    mark.issuer = IssuerLines(report);
    mark.start = SortableReportDate(ReportValue(report, "NotBefore="));
    return kOk;
}

std::int32_t TMPro1CryptoEngine::CheckSuccession_locked(const std::string& dir, const std::string& uid,
                                                        const CertificateMark& mark) {
    std::string filed = dir + uid + ".pem";
    if (!platform::FileExists(filed)) filed = dir + uid + ".cer";
    CertificateMark current;
    // A filed file that the toolkit cannot read carries no mail: a certificate may replace it.
    if (!platform::FileExists(filed) || MarkOfCertificate(filed, current) != kOk) return kOk;
    if (mark.subject != current.subject || mark.issuer != current.issuer) return kCertificateChanged;
    return !mark.start.empty() && !current.start.empty() && mark.start < current.start ? kOlderCertificate : kOk;
}

std::int32_t TMPro1CryptoEngine::UpdateCertCashByFile(const std::string& file) {
    if (!platform::FileExists(file)) return kPublicKeyNotFound;
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMPro1CryptoEngine.UpdateCertCashByFile: ", [&]() -> std::int32_t {
        const std::int32_t capacity = api->GetMaxCertBufferSize();
        const auto content = platform::ReadWholeFile(file);
        if (!content || content->size() > static_cast<std::size_t>(capacity > 0 ? capacity : 0)) return kIOError;
        return api->LoadCertificate(BuildParamVector(*api), reinterpret_cast<const unsigned char*>(content->data()),
                                    static_cast<std::int32_t>(content->size()));
    });
}

std::int32_t TMPro1CryptoEngine::CertificateTrust(const std::string& file) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return api->IncludePublicEncodeKey(BuildParamVector(*api), file.c_str());
}

std::int32_t TMPro1CryptoEngine::UpdateCertificateCash(const char* uid) {
    if (uid == nullptr || *uid == '\0') return kBadArgument;
    return Guarded("TMPro1CryptoEngine.UpdateCertificateCash: ", [&]() -> std::int32_t {
        std::string subject;
        std::int32_t code = ReadSubjectFromCert(uid, subject);
        if (code != kOk) return code;
        TMProDLL* api = nullptr;
        code = RequireCryptoAPI(api);
        if (code != kOk) return code;
        std::int32_t capacity = api->GetMaxCertBufferSize();
        std::vector<unsigned char> buffer(static_cast<std::size_t>(capacity > 0 ? capacity : 0) + 1);
        if (api->GetCertificateByUID(BuildParamVector(*api), subject.c_str(), buffer.data(), &capacity) == kOk)
            return kOk;
        if (!IsSafeUID(uid)) return kUIDError;
        const std::string file = FindCertificateFile(uid);
        if (file.empty()) return kPublicKeyNotFound;
        return UpdateCertCashByFile(file);
    });
}

void TMPro1CryptoEngine::ClearCash() {
    ForgetSubjects();
    TMProDLL* api = nullptr;
    if (GetCryptoAPI(api) == kOk && api != nullptr) api->ClearCash();
}

std::int32_t TMPro1CryptoEngine::RemoveCertificate(const char* uid) {
    if (uid == nullptr || *uid == '\0') return kBadArgument;
    return Guarded("TMProCryptoEngine.RemoveCertificate: ", [&]() -> std::int32_t {
        char own[kMaxUIDBytes] = {};
        const std::int32_t code = GetCurrentUserUID(own);
        if (code != kOk) return code;
        // File names match without regard to case, so "user01" would reach USER01.pem.
        if (SameTextAnsi(own, uid)) return kSelfCertificate;
        if (!IsSafeUID(uid)) return kUIDError;
        const std::string base = CertificateDir() + uid;
        {
            // Both files go or neither: UID.cer first, so that while UID.pem is still there
            // no reader takes the older file for the current one; a failure puts it back.
            CriticalGuard store(StoreLock());
            UndoLog undo;
            for (const char* ext : {".cer", ".pem"}) {
                const std::string file = base + ext;
                if (!platform::FileExists(file)) continue;
                const auto content = platform::ReadWholeFile(file);
                if (!content || !platform::DeleteFile(file)) return kIOError;
                undo.Add([file, content] { platform::WriteWholeFile(file, content->data(), content->size()); });
            }
            undo.Commit();
        }
        ClearCash();
        return kOk;
    });
}

namespace {

// StoreDir: the directory of parameter index with a trailing backslash; when it is empty or
// missing, sub under the key directory (parameter 3); empty when that is not set either, as
// the toolkit then has no such directory.
std::string StoreDir(TMPro1CryptoEngine& engine, std::int32_t index, const char* sub) {
    const std::string value =
        engine.GetCryptoParamNumber() >= index ? TrimSpaces(engine.ParamValue(index)) : std::string();
    if (!value.empty()) return IncludeBackslash(value);
    const std::string keyDir = engine.ExpandRootMacroDir(TrimSpaces(engine.ParamValue(3)));
    return keyDir.empty() ? std::string() : keyDir + sub;
}

}  // namespace

std::string TMPro1CryptoEngine::GetCADir() { return StoreDir(*this, PluginVariant == 0 ? 24 : 25, "CA\\"); }

std::string TMPro1CryptoEngine::GetCRLDir() { return StoreDir(*this, PluginVariant == 0 ? 25 : 26, "CRL\\"); }

}  // namespace vorlan
