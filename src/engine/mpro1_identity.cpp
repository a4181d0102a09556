// TMPro1CryptoEngine: UIDs of the current user and of correspondents, and the subject
// lines of the certificates filed under them.
#include <cstring>
#include <vector>

#include "engine/mpro1_engine.h"
#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "support/errors.h"

namespace vorlan {

std::int32_t TMPro1CryptoEngine::GetEncodeUIDBySignUID(const char* signUid, char* encodeUid) {
    if (signUid == nullptr || encodeUid == nullptr) return kBadArgument;
    return CopyUID(signUid, encodeUid);
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
        return CopyUID(UIDFromSubject(TextUpToZero(work)), uid);
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

// Files changed this recently may change again within the resolution of their time stamp.
constexpr std::int64_t kSettledNs = 2'000'000'000;
// Remembered subjects per engine, at most (one per correspondent file in practice).
constexpr std::size_t kMaxRememberedSubjects = 1024;

}  // namespace

std::int32_t TMPro1CryptoEngine::CertSubjectOfFiled(const std::string& file, const platform::FileStamp& stamp,
                                                    const std::string& field, std::string& subject) {
    // Asking the toolkit opens a context for the file; the subject of an unchanged file is kept.
    const std::string key = file + '\0' + field;
    {
        std::lock_guard<std::mutex> guard(subjectsMutex_);
        const auto it = subjects_.find(key);
        if (it != subjects_.end() && it->second.stamp == stamp) {
            subject = it->second.subject;
            return kOk;
        }
    }
    const std::int32_t code = GetCertSubjectByFile(file, field, subject);
    if (code == kOk && platform::NowNs() - stamp.modifiedNs >= kSettledNs) {
        std::lock_guard<std::mutex> guard(subjectsMutex_);
        if (subjects_.size() >= kMaxRememberedSubjects) subjects_.clear();
        subjects_[key] = RememberedSubject{subject, stamp};
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
        platform::FileStamp stamp;
        const std::string file = FindCertificateFile(uid, &stamp);
        if (file.empty()) return kCertificateNotFound;
        std::string found;
        const std::int32_t result = CertSubjectOfFiled(file, stamp, field, found);
        if (result != kOk) return result;
        if (ExtractSubjectComponent(found, "/" + field + "=") != uid) return kFileMismatchUID;
        subject = found;
        return kOk;
    });
}

}  // namespace vorlan
