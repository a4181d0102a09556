// TMPro1CryptoEngine: UIDs of the current user and of correspondents, and the subject
// lines of the certificates filed under them.
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/mpro1_engine.h"
#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "support/errors.h"

namespace vorlan {

std::int32_t TMPro1CryptoEngine::GetEncodeUIDBySignUID(const char* signUid, char* encodeUid) {
    if (signUid == nullptr || encodeUid == nullptr) return kBadArgument;
    return CopyUID(signUid, encodeUid) ? kOk : kBadArgument;
}

std::int32_t TMPro1CryptoEngine::GetCurrentUserUID(char* uid) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    if (uid == nullptr) return kBadArgument;
    return Guarded("TMProCryptoEngine.GetCurrentUID: ", [&]() -> std::int32_t {
        std::vector<char> work = UIDWorkBuffer(*api);
        const std::int32_t result = api->GetCurrentUID(BuildParamVector(*api), work.data());
        if (result != kOk) return result;
        return CopyUID(UIDFromSubject(TextUpToZero(work)), uid) ? kOk : kBadArgument;
    });
}

std::int32_t TMPro1CryptoEngine::GetCertSubjectByFile(const std::string& file, const std::string& field,
                                                      std::string& subject) {
    subject.clear();
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    // A vector of its own: only the certificate file (1) and the UID field (20) are set, so the
    // toolkit's "current UID" is the one of that file.
    const std::int32_t count = api->Fn.GetCryptoParamNumber();
    if (count < 20) throw ERangeError("The toolkit reports only " + std::to_string(count) + " parameters");
    ParamVector vector(static_cast<std::size_t>(count));
    vector[0] = file;
    vector[19] = field.empty() ? "CN" : field;
    std::vector<char> work = UIDWorkBuffer(*api);
    // The binding keeps no per-call state for this question (contexts belong to the process-wide
    // cache, keyed by the vector), so the engine's own binding answers it.
    const std::int32_t result = api->GetCurrentUID(vector, work.data());
    if (result != kOk) return result;
    subject = TextUpToZero(work);
    return kOk;
}

std::int32_t TMPro1CryptoEngine::GetCertUIDByFile(const std::string& file, const std::string& field, std::string& uid) {
    const std::int32_t code = GetCertSubjectByFile(file, field, uid);
    const std::string name = field.empty() ? "CN" : field;
    if (code == kOk && name != "SN") uid = ExtractSubjectComponent(uid, "/" + name + "=");
    return code;
}

namespace {

// ContextLifetime: parameter 22 as the context cache reads it: a whole decimal number of
// seconds; empty, malformed or negative values give 0.
std::int32_t ContextLifetime(const std::string& text) {
    std::int32_t seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 0) return 0;
    return seconds;
}

constexpr double kDaysPerSecond = 1.1574e-5;

}  // namespace

std::int32_t TMPro1CryptoEngine::CertSubjectOfFiled(const std::string& file, const std::string& field,
                                                    std::string& subject) {
    const std::int32_t lifetime = ContextLifetime(ParamValue(22));
    if (lifetime == 0) return GetCertSubjectByFile(file, field, subject);
    // Asking the toolkit opens a context for the file; within the lifetime the answer is kept,
    // as the toolkit keeps the certificates of a cached context.
    const auto size = platform::FileSize(file);
    const double now = platform::LocalNowDays();
    const std::string key = file + '\0' + field;
    {
        std::lock_guard<std::mutex> guard(subjectsMutex_);
        const auto it = subjects_.find(key);
        if (it != subjects_.end() && size && it->second.fileSize == *size &&
            std::abs(now - it->second.readAt) <= lifetime * kDaysPerSecond) {
            subject = it->second.subject;
            return kOk;
        }
    }
    const std::int32_t code = GetCertSubjectByFile(file, field, subject);
    if (code == kOk && size) {
        std::lock_guard<std::mutex> guard(subjectsMutex_);
        subjects_[key] = RememberedSubject{subject, *size, now};
    }
    return code;
}

void TMPro1CryptoEngine::ForgetSubjects() {
    std::lock_guard<std::mutex> guard(subjectsMutex_);
    subjects_.clear();
}

std::int32_t TMPro1CryptoEngine::ReadSubjectFromCert(const std::string& uid, std::string& subject) {
    subject.clear();
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.ReadSubjectFromCert: ", [&]() -> std::int32_t {
        const std::string field = UIDField();
        if (field == "SN") {
            subject = uid;
            return kOk;
        }
        // The UID becomes a file name: refuse anything that could leave the directory.
        if (!IsSafeUID(uid)) return kUIDError;
        const std::string file = FindCertificateFile(uid);
        if (file.empty()) return kCertificateNotFound;
        std::string found;
        const std::int32_t result = CertSubjectOfFiled(file, field, found);
        if (result != kOk) return result;
        if (ExtractSubjectComponent(found, "/" + field + "=") != uid) return kFileMismatchUID;
        subject = found;
        return kOk;
    });
}

}  // namespace vorlan
