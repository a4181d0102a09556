// TMProWinCryptoEngine: the request step of key renewal. After the host's key generation
// utility made a new key container in the backup directory, a certificate request for it is
// written to R and its key set copied there.
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_renewal_names.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {

std::string RenewalTimeStamp(double days) {
    // Days since 1899-12-30 to a civil date (days-from-civil inverted, era-based).
    const double whole = std::floor(days);
    auto milliseconds = static_cast<long long>(std::llround((days - whole) * 86400000.0));
    long long z = static_cast<long long>(whole) - 25569 + 719468;  // 1970-01-01 is day 25569
    if (milliseconds >= 86400000) {
        milliseconds -= 86400000;
        ++z;
    }
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const long long seconds = milliseconds / 1000;
    const auto two = [](long long n) { return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10); };
    return " (" + two(day) + "-" + two(month) + "-" + two(year / 100 % 100) + two(year % 100) + " " +
           two(seconds / 3600) + "-" + two(seconds / 60 % 60) + "-" + two(seconds % 60) + ")";
}

std::int32_t TMProWinCryptoEngine::InternalRemoteGenerateStart_WithUtility(char* marker, const char* name,
                                                                          bool subjectFromParams) {
    std::string subscriber;
    const std::int32_t code = SubscriberName(name, RemoteDir() + kSelfCertificateName, subscriber);
    if (code != kOk) return code;
    return RemoteGenerateEXStep_3(marker, subscriber, subjectFromParams);
}

std::int32_t TMProWinCryptoEngine::GetCertParameters(const std::string& file, TSubjectFields& fields) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    std::string subject;
    const std::int32_t result = GetCertSubjectByFile(file, "CN", subject);
    if (result != kOk) return result;
    return Guarded("TMProWinCryptoEngine.GetCertParameters: ", [&]() -> std::int32_t {
        fields.CN = GetSubjectCN(subject);
        fields.C = GetSubjectCountry(subject);
        fields.S = GetSubjectState(subject);
        fields.L = GetSubjectLocality(subject);
        fields.O = GetSubjectOrganization(subject);
        fields.OU = GetSubjectUnit(subject);
        fields.E = GetSubjectEmail(subject);
        fields.T = GetSubjectTitle(subject);
        return kOk;
    });
}

namespace {

// NameField: the field of a request subject that the UID field parameter names; null for none.
std::string* NameField(TSubjectFields& fields, const std::string& uidField) {
    const std::string field = UpperCaseAscii(TrimSpaces(uidField));
    if (field.empty() || field == "CN") return &fields.CN;
    if (field == "C") return &fields.C;
    if (field == "L") return &fields.L;
    if (field == "S") return &fields.S;
    if (field == "O") return &fields.O;
    if (field == "OU") return &fields.OU;
    if (field == "E") return &fields.E;
    if (field == "T") return &fields.T;
    return nullptr;
}

}  // namespace

std::int32_t TMProWinCryptoEngine::SubscriberName(const char* name, const std::string& certificate,
                                                 std::string& subscriber) {
    const std::int32_t code =
        Guarded("TMProWinCryptoEngine.InternalRemoteGenerateStart_WithUtility: ", [&]() -> std::int32_t {
            const std::string field = UIDField();
            std::string current;
            const std::int32_t result = GetCertUIDByFile(certificate, field, current);
            if (result != kOk) return result;
            if (name != nullptr && *name != '\0') subscriber = name;
            else if (field == "SN") subscriber = current;
            else subscriber = StripDateSuffix(current) + RenewalTimeStamp(platform::LocalNowDays());
            return kOk;
        });
    if (code != kOk) return code;
    // The name becomes the UID when it goes into the UID field (not with "SN": the serial).
    TSubjectFields fields;
    if (NameField(fields, ParamValue(20)) != nullptr && !UIDFits(subscriber)) {
        SetLastReason("The new UID \"" + subscriber + "\" would be longer than a UID may be");
        return kUIDError;
    }
    return kOk;
}

std::int32_t TMProWinCryptoEngine::RemoteGenerateEXStep_3(char* marker, const std::string& name,
                                                         bool subjectFromParams) {
    if (marker == nullptr) return kBadArgument;
    if (!RemoteDirUsable()) return kRemotePathError;
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProWinCryptoEngine.RemoteGenerateEXStep_3: ", [&]() -> std::int32_t {
        const std::string R = RemoteDir();
        const std::string B = GetPSEBackupDir();
        std::vector<char> text = BackupTextBuffer();
        std::int32_t result = RG_PSEPrivateKeyBackup(B.c_str(), text.data());
        if (result != kOk) return result;

        std::string previous;
        if (platform::FileExists(R + kBackupTextName)) {
            std::vector<char> old = BackupTextBuffer();
            auto length = static_cast<std::int32_t>(old.size() - 1);
            if (!ReadFileBuffer(R + kBackupTextName, old.data(), &length)) return kRemoteDirIOError;
            previous.assign(old.data(), static_cast<std::size_t>(length));
        }
        // The utility has to leave a different key container behind.
        if (previous == text.data()) return kKeyGenNotFinished;

        TSubjectFields fields;
        if (subjectFromParams) {
            fields = GetSubjectFromParams();
        } else {
            result = GetCertParameters(R + kSelfCertificateName, fields);
            if (result != kOk) return result;
        }
        if (std::string* field = NameField(fields, ParamValue(20))) *field = name;

        // BuildParamVector refuses a toolkit that reports more parameters than the engine holds.
        const ParamVector vector = BuildParamVector(*api);
        result = MakePSERequest(*api, vector, R + kSelfCertificateName, B, fields, R + kRequestFileName, ParamValue(21));
        if (result != kOk) return result;
        if (!RG_CopyKeySet(B.c_str())) return kRemoteDirIOError;
        std::memcpy(marker, "LAST STEP", 10);
        return kOk;
    });
}

std::int32_t TMProWinCryptoEngine::RemoteGenerateEXStep_4(char* marker) {
    if (marker == nullptr) return kBadArgument;
    const char* prefix = "TMProWinCryptoEngine.RemoteGenerateEXStep_4: ";
    std::int32_t code = Guarded(prefix, [&] {
        ClearCash();
        return kOk;
    });
    if (code != kOk) return code;
    char uid[256] = {};
    code = GetCurrentUserUID(uid);
    if (code != kOk) return code;
    code = RG_EncryptKeySet(uid);
    if (code != kOk) return code;
    const std::string request = RemoteDir() + kRequestFileName;
    if (!platform::FileExists(request)) return kPendingFileMissing;
    return Guarded(prefix, [&]() -> std::int32_t {
        std::vector<char> bytes(kMaxRequestFileSize);
        std::int32_t length = kMaxRequestFileSize;
        if (!ReadFileBuffer(request, bytes.data(), &length)) return kPendingFileMissing;
        return BuildPublicKeyTransfer(uid, std::string_view(bytes.data(), static_cast<std::size_t>(length)), marker);
    });
}

}  // namespace vorlan
