// TMPro1CryptoEngine: correspondents' certificates in the certificate directory, their
// numbered backups, the toolkit's certificate cache, and the CA and CRL directories.
#include <vector>

#include "engine/mpro1_engine.h"
#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {

std::int32_t TMPro1CryptoEngine::IncludePublicKey(const char* fileName) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.IncludePublicKey: ", [&]() -> std::int32_t {
        const std::string source = ExpandRootMacro(fileName != nullptr ? fileName : "");
        return InternalIncludePublicKey(CertificateDir(), source, true);
    });
}

std::int32_t TMPro1CryptoEngine::InternalIncludePublicKey(const std::string& targetDir, const std::string& source,
                                                          bool move) {
    if (source.empty() || !platform::FileExists(source)) return kPublicKeyNotFound;
    return Guarded("TMProCryptoEngine.InternalIncludePublicKey: ", [&]() -> std::int32_t {
        std::string uid;
        const std::int32_t code = GetCertUIDByFile(source, UIDField(), uid);
        if (code != kOk) return code;
        // The UID comes from the certificate and becomes a file name in the target directory.
        if (!IsSafeUID(uid)) return kUIDError;
        ForgetSubjects();
        const std::string base = targetDir + uid;
        const std::string backup = base + "." + FormatNumber3(NextNumberedExtension(targetDir, uid));
        const std::string current = base + ".pem";
        // Every step is attempted; any failure is reported after all of them.
        bool ok = true;
        if (platform::FileExists(current)) ok = platform::MoveFile(current, backup) && ok;
        if (platform::FileExists(base + ".cer")) ok = platform::MoveFile(base + ".cer", backup) && ok;
        ok = (move ? platform::MoveFile(source, current) : CopyFileWhole(source, current)) && ok;
        if (!ok) return kIOError;
        return UpdateCertCashByFile(current);
    });
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
        char own[40] = {};
        const std::int32_t code = GetCurrentUserUID(own);
        if (code != kOk) return code;
        // File names match without regard to case, so "user01" would reach USER01.pem.
        if (SameTextAscii(own, uid)) return kSelfCertificate;
        if (!IsSafeUID(uid)) return kUIDError;
        const std::string base = CertificateDir() + uid;
        for (const char* ext : {".pem", ".cer"}) {
            const std::string file = base + ext;
            if (platform::FileExists(file) && !platform::DeleteFile(file)) return kIOError;
        }
        ClearCash();
        return kOk;
    });
}

namespace {

// DirectoryParam: a configured directory with a trailing backslash, else base + sub.
std::string ConfiguredDir(const std::string& value, const std::string& baseDir, const char* sub) {
    if (value.empty()) return baseDir + sub;
    return IncludeBackslash(value);
}

}  // namespace

std::string TMPro1CryptoEngine::GetCADir() {
    const std::int32_t index = PluginVariant == 0 ? 24 : 25;
    const std::string value = GetCryptoParamNumber() >= index ? TrimSpaces(ParamValue(index)) : std::string();
    return ConfiguredDir(value, ExpandRootMacroDir(TrimSpaces(ParamValue(3))), "CA\\");
}

std::string TMPro1CryptoEngine::GetCRLDir() {
    const std::int32_t index = PluginVariant == 0 ? 25 : 26;
    const std::string value = GetCryptoParamNumber() >= index ? TrimSpaces(ParamValue(index)) : std::string();
    return ConfiguredDir(value, ExpandRootMacroDir(TrimSpaces(ParamValue(3))), "CRL\\");
}

}  // namespace vorlan
