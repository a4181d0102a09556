// TMPro1CryptoEngine: the start of remote key generation. A new key and request are made in
// the remote generate directory; the request leaves as a transfer, the new key stays there
// encrypted for the current user ("key.dat") until the issued certificate comes back.
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "engine/mpro1_engine.h"
#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "support/errors.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

constexpr std::int32_t kRemoteFileLimit = 8192;  // key.dat, Tmp_key.pem, the rewritten Tmp_cert.pem
constexpr const char* kKeyHeader = "Tmp_Key.pem";
constexpr std::size_t kUIDBuffer = 40;

// ParamsSnapshot: parameter values saved on construction and put back, whole, on destruction.
class ParamsSnapshot {
public:
    ParamsSnapshot(std::vector<std::string>& values, std::initializer_list<std::int32_t> indexes) : values_(values) {
        for (const std::int32_t index : indexes)
            if (index >= 1 && static_cast<std::size_t>(index) <= values_.size())
                saved_.emplace_back(index, values_[static_cast<std::size_t>(index) - 1]);
    }
    ~ParamsSnapshot() {
        for (auto& [index, value] : saved_) values_[static_cast<std::size_t>(index) - 1] = std::move(value);
    }
    ParamsSnapshot(const ParamsSnapshot&) = delete;
    ParamsSnapshot& operator=(const ParamsSnapshot&) = delete;

private:
    std::vector<std::string>& values_;
    std::vector<std::pair<std::int32_t, std::string>> saved_;
};

// ReadLimited: a whole file of at most limit bytes into bytes; false when missing or larger.
bool ReadLimited(const std::string& file, std::int32_t limit, std::string& bytes) {
    bytes.assign(static_cast<std::size_t>(std::max(limit, 0)), '\0');
    std::int32_t size = limit;
    if (!ReadFileBuffer(file, bytes.data(), &size)) return false;
    bytes.resize(static_cast<std::size_t>(size));
    return true;
}

}  // namespace

bool TMPro1CryptoEngine::EmptyRemoteGenerateDir() {
    if (RemoteGeneratePath.empty() || !IsDirectory(RemoteGeneratePath)) return false;
    return DeleteDirectory(RemoteGeneratePath, false);
}

bool TMPro1CryptoEngine::PrepareRemoteGenerateDir() {
    try {
        if (!EmptyRemoteGenerateDir()) return false;
        const std::string keyBase = TrimSpaces(ExpandRootMacro(TrimSpaces(ParamValue(3))));
        const std::string own = ExpandRootMacro(TrimSpaces(ParamValue(1)));
        if (keyBase.empty() || own.empty()) return false;
        const std::string base = IncludeBackslash(keyBase);
        if (!platform::FileExists(own) || !IsDirectory(base + "CA") || !IsDirectory(base + "Keys")) return false;
        const std::string& work = RemoteGeneratePath;
        return platform::CreateDir(work + "CA") && platform::CreateDir(work + "Keys") &&
               CopyFileWhole(own, work + ExtractFileName(own)) && CopyDirectory(base + "CA", work + "CA") &&
               CopyDirectory(base + "Keys", work + "Keys");
    } catch (...) {
        return false;
    }
}

std::int32_t TMPro1CryptoEngine::RemoteGenerateStart(char* transfer) {
    char uid[kUIDBuffer] = {};
    const std::int32_t code = GetCurrentUserUID(uid);
    if (code != kOk) return code;
    return InternalRemoteGenerateStart(transfer, uid, false);
}

std::int32_t TMPro1CryptoEngine::RemoteGenerateStartEx(const char* name, char* buffer, std::int32_t* step) {
    return RemoteGenerateStartExBody(name, buffer, step);
}

std::int32_t TMPro1CryptoEngine::RemoteGenerateStartExBody(const char* name, char* transfer, std::int32_t* step) {
    if (step == nullptr) return kBadArgument;
    const std::int32_t stepIn = *step;
    std::vector<char> current(static_cast<std::size_t>(std::max<std::int32_t>(GetMaxCryptoParamValueLength(), 0)) +
                                  kUIDBuffer,
                              '\0');
    const std::int32_t code = GetCurrentUserUID(current.data());
    if (code != kOk) {
        // No usable certificate yet: the caller asked to be told so rather than to fail.
        if (stepIn != 0 && stepIn != 10) return code;
        *step = stepIn + 2;
        ClearCash();
        return kOk;
    }
    std::string uid;
    if (name != nullptr && *name != '\0') {
        uid = name;
    } else if (UIDField() != "SN") {
        // A new certificate gets the name with a fresh date stamp, replacing an earlier one.
        const std::int32_t stamped = Guarded("TMProCryptoEngine.RemoteGenerateStartEx: ", [&]() -> std::int32_t {
            uid = StripDateSuffix(current.data()) + " (" + FormatDateStamp(platform::LocalNowDays()) + ")";
            return kOk;
        });
        if (stamped != kOk) return stamped;
    } else {
        uid = current.data();
    }
    // A name that cannot be a UID is refused before a key is made.
    if (UIDField() != "SN" && !UIDFits(uid)) {
        SetLastReason("The new UID \"" + uid + "\" would be longer than a UID may be");
        return kUIDError;
    }
    const std::int32_t result = InternalRemoteGenerateStart(transfer, uid.c_str(), stepIn > 9);
    if (result == kOk) *step = 1;
    return result;
}

std::int32_t TMPro1CryptoEngine::InternalRemoteGenerateStart(char* transfer, const char* uid, bool keepSubject) {
    TMProDLL* api = nullptr;
    std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    if (transfer == nullptr) return kBadArgument;
    return Guarded("TMProCryptoEngine.InternalRemoteGenerateStart: ", [&]() -> std::int32_t {
        std::string subject;
        code = GetCertSubjectByFile(ExpandRootMacro(TrimSpaces(ParamValue(1))), "CN", subject);
        if (code != kOk) return code;
        const std::string field = UIDField();
        const std::int32_t uidParam = field == "SN" ? 0 : SubjectFieldParam(field);
        char oldUid[kUIDBuffer] = {};
        code = GetCurrentUserUID(oldUid);
        if (code != kOk) return code;
        if (!PrepareRemoteGenerateDir())
            throw EInOutError("The remote generate directory \"" + RemoteGeneratePath + "\" cannot be prepared");

        const std::string work = RemoteGeneratePath;
        char newUid[kUIDBuffer] = {};
        {
            // The toolkit takes the new key's files and subject from the parameters; they are
            // put back on every way out of this block.
            const ParamsSnapshot saved(ParamValues, {9, 7, 11, 12, 13, 14, 15, 16, 17, uidParam});
            ParamValues[9 - 1] = work + "Tmp_cert.pem";
            ParamValues[7 - 1] = work + "Tmp_key.pem";
            if (!keepSubject) {
                const std::string fields[] = {GetSubjectCountry(subject), GetSubjectState(subject),
                                              GetSubjectLocality(subject), GetSubjectOrganization(subject),
                                              GetSubjectUnit(subject),    GetSubjectCN(subject),
                                              GetSubjectEmail(subject)};
                for (std::size_t i = 0; i < std::size(fields); ++i) ParamValues[11 - 1 + i] = fields[i];
            }
            if (uidParam != 0) ParamValues[static_cast<std::size_t>(uidParam) - 1] = uid != nullptr ? uid : "";
            code = GenerateNewSSK();
            // The binding reports the toolkit's success as -100.
            if (code == kOk) throw ECryptoEngineError("The key generation answered without making a key");
            if (code != kNotInitialized) return code;
            code = GetCurrentUserUID(newUid);
            if (code != kOk) return code;
        }

        std::string request;
        if (!ReadLimited(work + "Tmp_cert.pem", api->GetMaxCertBufferSize(), request)) return kPendingFileMissing;
        code = BuildPublicKeyTransfer(newUid, request, transfer);
        if (code != kOk) return code;

        std::string pending, key;
        if (!ReadLimited(work + "Tmp_cert.pem", kRemoteFileLimit, pending)) return kRemoteDirIOError;
        if (!ReadLimited(work + "Tmp_key.pem", kRemoteFileLimit, key)) return kPendingFileMissing;
        // key.dat: the header, a zero byte and the key encrypted for the user as it is now.
        const std::size_t header = std::strlen(kKeyHeader) + 1;
        std::vector<unsigned char> package(header + key.size() +
                                           static_cast<std::size_t>(std::max<std::int32_t>(GetMaxEncodeAddition(), 0)));
        std::copy(key.begin(), key.end(), package.begin());
        std::fill(key.begin(), key.end(), '\0');
        std::int32_t packageSize = static_cast<std::int32_t>(key.size());
        code = EncodeAfterHeader(kKeyHeader, package.data(), &packageSize, oldUid);
        // Without a usable key.dat the plain new key is the only copy: it stays where it is.
        if (code != kOk) return code;

        try {
            if (!EmptyRemoteGenerateDir()) return kRemoteDirIOError;
        } catch (...) {
            return kKeyExchangeError;
        }
        if (!WriteFileBuffer(work + "Tmp_cert.pem", pending.data(), static_cast<std::int32_t>(pending.size())) ||
            !WriteFileBuffer(work + "key.dat", package.data(), packageSize))
            return kRemoteDirIOError;
        return kOk;
    });
}

}  // namespace vorlan
