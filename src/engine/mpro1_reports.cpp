// TMPro1CryptoEngine: key=value reports of certificates and requests, by UID, from a
// transfer or a file: the toolkit's structured information, else its text dump converted.
#include <algorithm>
#include <cstring>
#include <new>

#include "engine/mpro1_engine.h"
#include "engine/report_dump.h"
#include "engine/transfer_record.h"
#include "platform/guarded_files.h"
#include "platform/platform.h"
#include "support/errors.h"
#include "support/file_utils.h"

namespace vorlan {

namespace {

constexpr std::int32_t kReportOverhead = 256;

// Allocate: a zeroed buffer of size bytes; false when the memory cannot be had.
bool Allocate(std::string& buffer, std::size_t size) {
    try {
        buffer.assign(size, '\0');
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

const unsigned char* Bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

}  // namespace

std::int32_t TMPro1CryptoEngine::GetMaxReportSize() {
    TMProDLL* api = nullptr;
    if (GetCryptoAPI(api) != kOk || api == nullptr) return kNotProvided;
    const std::int32_t infoLength = api->GetMaxCertInfoLength();
    return infoLength > INT32_MAX - kReportOverhead ? INT32_MAX : std::max(infoLength, 0) + kReportOverhead;
}

std::int32_t TMPro1CryptoEngine::GetReportByBuffer(const char* dump, char* report) {
    if (dump == nullptr || report == nullptr) return kBadArgument;
    const std::int32_t capacity = GetMaxReportSize();
    return Guarded("TMProCryptoEngine.GetReportByBuffer: ", [&]() -> std::int32_t {
        const std::string text = ReportFromDump(dump);
        if (capacity < 1 || text.size() >= static_cast<std::size_t>(capacity)) return kBadArgument;
        std::memcpy(report, text.c_str(), text.size() + 1);
        return kOk;
    });
}

std::int32_t TMPro1CryptoEngine::CertificateDump(TMProDLL& api, const ParamVector& vector, std::string_view block,
                                                 std::string& dump) {
    const std::int32_t capacity = GetMaxReportSize();
    if (capacity < 1) return kNotProvided;
    if (!Allocate(dump, static_cast<std::size_t>(capacity))) return kLowMemory;
    const std::int32_t code = api.GetCertInfo(vector, Bytes(block), static_cast<std::int32_t>(block.size()), dump.data());
    dump.back() = '\0';
    dump.resize(std::strlen(dump.c_str()));
    return code;
}

std::int32_t TMPro1CryptoEngine::CertificateReport(TMProDLL& api, std::string_view block, std::string& report) {
    const ParamVector vector = BuildParamVector(api);
    if (api.GetCertInfoText(vector, Bytes(block), static_cast<std::int32_t>(block.size()), report) == kOk) return kOk;
    std::string dump;
    const std::int32_t code = CertificateDump(api, vector, block, dump);
    if (code == kOk) report = ReportFromDump(std::move(dump));
    return code;
}

std::int32_t TMPro1CryptoEngine::ReportOfBlock(TMProDLL& api, std::string_view block, char* report) {
    const ParamVector vector = BuildParamVector(api);
    const auto length = static_cast<std::int32_t>(block.size());
    const bool request = block.find("-----BEGIN CERTIFICATE REQUEST-----") != std::string_view::npos;
    const std::int32_t capacity = GetMaxReportSize();
    if (capacity < 1) return kNotProvided;
    std::string text;
    const std::int32_t structured = request ? api.GetReqInfoText(vector, Bytes(block), length, text)
                                            : api.GetCertInfoText(vector, Bytes(block), length, text);
    if (structured == kOk) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
        std::memcpy(report, text.data(), n);
        report[n] = '\0';
        return kOk;
    }
    if (request) {
        // A toolkit that reads requests has the last word: what it cannot read is no request.
        if (api.Fn.GetReqInfo != nullptr) return structured;
        // Otherwise the request's own text gives its key lines, and nothing it says of itself.
        if (length > capacity - kReportOverhead) return kTransferError;
        text = KeyReportOfText(std::string(block));
        if (text.size() >= static_cast<std::size_t>(capacity)) return kBadArgument;
        std::memcpy(report, text.c_str(), text.size() + 1);
        return kOk;
    }
    const std::int32_t code = CertificateDump(api, vector, block, text);
    return code != kOk ? code : GetReportByBuffer(text.c_str(), report);
}

std::int32_t TMPro1CryptoEngine::GetReport(const char* uid, char* report) {
    if (report == nullptr) return kBadArgument;
    if (uid == nullptr || *uid == '\0') {
        // No UID: the request of a remote generation under way.
        if (RemoteGeneratePath.empty() || !IsDirectory(RemoteGeneratePath)) return kRemotePathError;
        const std::string file = IncludeBackslash(RemoteGeneratePath) + "Tmp_cert.pem";
        if (!platform::FileExists(file)) return kPendingFileMissing;
        return GetPublicKeyPropertiesByFile(file.c_str(), report);
    }
    return Guarded("TMProCryptoEngine.GetReport: ", [&]() -> std::int32_t {
        TMProDLL* api = nullptr;
        std::string certificate;
        const std::int32_t code = CertificateOfUID(uid, api, certificate);
        return code != kOk ? code : ReportOfBlock(*api, certificate, report);
    });
}

std::int32_t TMPro1CryptoEngine::GetPublicKeyPropertiesByFile(const char* fileName, char* report) {
    if (report == nullptr) return kBadArgument;
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.GetReportByFile: ", [&]() -> std::int32_t {
        const auto capacity = static_cast<std::size_t>(std::max(api->GetMaxCertBufferSize(), 0));
        const std::string file = ExpandRootMacro(fileName != nullptr ? fileName : "");
        std::optional<std::string> content;
        try {
            // A device or FIFO named here would give bytes without end, or none ever.
            if (!file.empty()) content = platform::ReadRegularFile(file, capacity);
        } catch (const std::bad_alloc&) {
            return kLowMemory;
        }
        return content ? ReportOfBlock(*api, *content, report) : kIOError;
    });
}

std::int32_t TMPro1CryptoEngine::GetPublicKeyPropertiesByTransfer(const char* transfer, char* report) {
    if (report == nullptr) return kBadArgument;
    TransferBlock content;
    std::int32_t code = GetPublicKeyBlockByTransfer(transfer, content);
    if (code != kOk) return code;
    TMProDLL* api = nullptr;
    code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.GetReportByTransfer: ",
                   [&]() -> std::int32_t { return ReportOfBlock(*api, content.block, report); });
}

}  // namespace vorlan
