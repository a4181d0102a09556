// TMPro1CryptoEngine: construction, the binding, the parameter vector, size limits and
// the helpers shared by the operations.
#include "engine/mpro1_engine.h"

#include <algorithm>
#include <cstring>

#include "engine/subject_utils.h"
#include "platform/platform.h"
#include "support/errors.h"
#include "support/file_utils.h"
#include "support/rwsync.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {
constexpr std::int32_t kFallbackErrorStringLength = 255;
constexpr std::int32_t kSignAdditionOverhead = 332;
}  // namespace

TMPro1CryptoEngine::TMPro1CryptoEngine() {
    // Parameters 1..25; the non-empty defaults are the cipher, the signature algorithm,
    // the key size and the country of new requests.
    ParamValues.resize(ParamValues.size() + 25);
    ParamValues[3] = "RUS-GAMMAR";
    ParamValues[4] = "R3410-R3411";
    ParamValues[5] = "1024";
    ParamValues[10] = "RU";
}

TMPro1CryptoEngine::~TMPro1CryptoEngine() = default;

// ---- binding -------------------------------------------------------------------------

std::int32_t TMPro1CryptoEngine::BindingState(TMProDLL* api) const {
    if (!api->Loaded) return kPluginNotLoaded;
    if (!api->Complete) return kPluginIncomplete;
    return kOk;
}

std::int32_t TMPro1CryptoEngine::CreateBinding_locked(TMProDLL*& api) {
    try {
        Binding = std::make_unique<TMProDLL>(PluginVariant);
    } catch (const std::exception& e) {
        BindingFailed = true;
        return StoreException("TMProCryptoEngine.GetCryptoAPI: ", e);
    }
    binding_.store(Binding.get(), std::memory_order_release);
    const std::int32_t state = BindingState(Binding.get());
    if (state == kOk) api = Binding.get();
    return state;
}

std::int32_t TMPro1CryptoEngine::GetCryptoAPI(TMProDLL*& api) {
    api = nullptr;
    if (BindingFailed) return kOk;
    TMProDLL* binding = binding_.load(std::memory_order_acquire);
    if (binding == nullptr) {
        std::lock_guard<std::mutex> guard(bindingMutex_);
        if (BindingFailed) return kOk;
        binding = binding_.load(std::memory_order_acquire);
        if (binding == nullptr) return CreateBinding_locked(api);
    }
    const std::int32_t state = BindingState(binding);
    if (state == kOk) api = binding;
    return state;
}

TMProDLL& TMPro1CryptoEngine::Bound(TMProDLL* api) {
    if (api == nullptr) throw ECryptoEngineError("Library not initialized");
    return *api;
}

std::int32_t TMPro1CryptoEngine::RequireCryptoAPI(TMProDLL*& api) {
    const std::int32_t code = GetCryptoAPI(api);
    if (code != kOk) return code;
    return api == nullptr ? kNotInitialized : kOk;
}

ParamVector TMPro1CryptoEngine::BuildParamVector(TMProDLL& api) const {
    const std::int32_t count = api.Fn.GetCryptoParamNumber();
    if (count < 0 || static_cast<std::size_t>(count) > ParamValues.size())
        throw ERangeError("The toolkit reports " + std::to_string(count) + " parameters, the engine holds " +
                          std::to_string(ParamValues.size()));
    return ParamVector(ParamValues.begin(), ParamValues.begin() + count);
}

// ---- exceptions ----------------------------------------------------------------------

std::int32_t TMPro1CryptoEngine::StoreException(const char* prefix, const std::exception& e) {
    ExceptStr->SetText(std::string(prefix) + ExceptionText(e));
    return kException;
}

std::int32_t TMPro1CryptoEngine::StoreUnknownException(const char* prefix) {
    ExceptStr->SetText(std::string(prefix) + "Exception: unknown exception");
    return kException;
}

// ---- parameters, UIDs, directories -----------------------------------------------------

std::string TMPro1CryptoEngine::ParamValue(std::int32_t index) const {
    if (index < 1 || static_cast<std::size_t>(index) > ParamValues.size()) return {};
    return ParamValues[static_cast<std::size_t>(index) - 1];
}

std::string TMPro1CryptoEngine::UIDField() const {
    std::string field = TrimSpaces(ParamValue(20));
    return field.empty() ? "CN" : field;
}

std::string TMPro1CryptoEngine::UIDFromSubject(const std::string& subject) const {
    const std::string field = UIDField();
    return field == "SN" ? subject : ExtractSubjectComponent(subject, "/" + field + "=");
}

std::int32_t TMPro1CryptoEngine::CopyUID(const std::string& uid, char* buffer) {
    if (buffer == nullptr) return kBadArgument;
    if (!UIDFits(uid)) return kUIDTooLong;
    std::memcpy(buffer, uid.c_str(), uid.size() + 1);
    return kOk;
}

std::vector<char> TMPro1CryptoEngine::UIDWorkBuffer(TMProDLL& api) {
    const std::int32_t size = api.Fn.GetMaxUIDLength();
    return std::vector<char>(static_cast<std::size_t>(size > 0 ? size : 0) + 1, '\0');
}

std::string TMPro1CryptoEngine::TextUpToZero(const std::vector<char>& buffer) {
    return std::string(buffer.begin(), std::find(buffer.begin(), buffer.end(), '\0'));
}

std::string TMPro1CryptoEngine::CertificateDir() const { return IncludeBackslash(TrimSpaces(ParamValue(2))); }

std::string TMPro1CryptoEngine::FindCertificateFile(const std::string& uid, platform::FileStamp* stamp) const {
    const std::string base = CertificateDir() + uid;
    for (const char* extension : {".pem", ".cer"}) {
        if (const auto found = platform::StampOfFile(base + extension)) {
            if (stamp != nullptr) *stamp = *found;
            return base + extension;
        }
    }
    return {};
}

// ---- names and size limits -----------------------------------------------------------

void TMPro1CryptoEngine::GetEngineName(char* buffer) {
    if (buffer != nullptr) std::memcpy(buffer, "Message-PRO 1.1", 16);
}

std::int32_t TMPro1CryptoEngine::ToolkitSize(mpro::FnGetMax ToolkitFunctions::*query, std::int32_t unusable) {
    TMProDLL* api = nullptr;
    if (GetCryptoAPI(api) != kOk) return unusable;
    return (Bound(api).Fn.*query)();
}

std::int32_t TMPro1CryptoEngine::GetMaxEncodeAddition() { return ToolkitSize(&ToolkitFunctions::GetMaxEncodeAddition); }
std::int32_t TMPro1CryptoEngine::GetMaxSignatureLength() { return ToolkitSize(&ToolkitFunctions::GetMaxSignatureLength); }
std::int32_t TMPro1CryptoEngine::GetMaxUIDLength() { return kMaxUIDBytes; }
std::int32_t TMPro1CryptoEngine::GetMaxCryptoParamNameLength() {
    return ToolkitSize(&ToolkitFunctions::GetMaxCryptoParamNameLength);
}
std::int32_t TMPro1CryptoEngine::GetMaxCryptoParamValueLength() {
    return ToolkitSize(&ToolkitFunctions::GetMaxCryptoParamValueLength, kDefaultParamValueLength);
}
std::int32_t TMPro1CryptoEngine::GetMaxErrorStringLength() {
    return ToolkitSize(&ToolkitFunctions::GetMaxErrorStringLength, kFallbackErrorStringLength);
}
std::int32_t TMPro1CryptoEngine::GetMaxPasswordLength() { return ToolkitSize(&ToolkitFunctions::GetMaxPasswordLength); }
std::int32_t TMPro1CryptoEngine::GetCryptoParamNumber() { return ToolkitSize(&ToolkitFunctions::GetCryptoParamNumber); }
std::int32_t TMPro1CryptoEngine::GetMaxSignAddition() { return GetMaxSignatureLength() + kSignAdditionOverhead; }

}  // namespace vorlan
