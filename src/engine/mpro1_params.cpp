// TMPro1CryptoEngine: parameter names, values and their kinds and hints.
#include <array>
#include <cstring>
#include <string_view>

#include "engine/mpro1_engine.h"
#include "support/errors.h"

namespace vorlan {

namespace {

struct ParamInfo {
    std::int32_t kind;
    std::string_view hint;
    bool rootPath;  // SetCryptoParamValue replaces the root macro
};

// Kinds: 1 range, 2 and 4 maximum length, 7 list of values, 10 file, 11 directory.
constexpr std::array<ParamInfo, 26> kParamInfo{{
    {10, "*.pem", true},                        // 1 own certificate file
    {11, "*.pem", true},                        // 2 certificate directory
    {11, "*.*", true},                          // 3 base key directory
    {7, "RUS-GAMMAR\r\nDES-EDE3-CBC", false},   // 4 cipher
    {7, "R3410-R3411\r\nSHA1", false},          // 5 signature and hash
    {1, "0..2048", false},                      // 6
    {10, "*.*", true},                          // 7 private key file
    {2, "32", true},                            // 8
    {10, "*.pem", true},                        // 9 request file
    {10, "*.pem", true},                        // 10
    {2, "2", false},                            // 11 C
    {2, "255", false},                          // 12 S
    {2, "255", false},                          // 13 L
    {2, "255", false},                          // 14 O
    {2, "255", false},                          // 15 OU
    {2, "255", false},                          // 16 CN
    {2, "255", false},                          // 17 E
    {10, "*.*", true},                          // 18
    {4, "255", false},                          // 19 default recipients
    {7, "CN\r\nSN", false},                     // 20 UID field
    {7, "0\r\n1", false},                       // 21
    {1, "0..2147483640", false},                // 22 context lifetime
    {11, "*.*", true},                          // 23
    {2, "255", false},                          // 24 (variant 0: CA directory, see below)
    {11, "*.pem", true},                        // 25
    {11, "*.pem", true},                        // 26
}};

constexpr ParamInfo kParam24Variant0{11, "*.pem", true};

const ParamInfo& InfoFor(std::int32_t index, std::int32_t variant) {
    if (index == 24 && variant == 0) return kParam24Variant0;
    return kParamInfo[static_cast<std::size_t>(index) - 1];
}

}  // namespace

void TMPro1CryptoEngine::GetCryptoParamName(std::int32_t index, char* buffer) {
    TMProDLL* api = nullptr;
    if (GetCryptoAPI(api) != kOk || index <= 0 || buffer == nullptr) return;
    if (api == nullptr) throw ECryptoEngineError("Library not initialized");
    api->GetCryptoParamName(index - 1, buffer);
}

std::int32_t TMPro1CryptoEngine::SetCryptoParamValue(std::int32_t index, const char* value) {
    TMProDLL* api = nullptr;
    const std::int32_t code = GetCryptoAPI(api);
    if (code != kOk) return code;
    if (index < 1 || value == nullptr) return kBadArgument;
    return Guarded("TMProCryptoEngine.SetCryptoParamValue: ", [&]() -> std::int32_t {
        std::string stored = value;
        if (index <= static_cast<std::int32_t>(kParamInfo.size()) && InfoFor(index, PluginVariant).rootPath)
            stored = ExpandRootMacro(stored);
        return TCryptoEngine::SetCryptoParamValue(index, stored.c_str());
    });
}

std::int32_t TMPro1CryptoEngine::GetParamInfo(std::int32_t index, std::int32_t* kind, char* hint, std::int32_t* length) {
    if (index < 1 || index > static_cast<std::int32_t>(kParamInfo.size())) return kParamIndex;
    if (index >= 20 && GetCryptoParamNumber() < index) return kParamIndex;
    if (kind == nullptr || length == nullptr) return kBadArgument;
    const ParamInfo& info = InfoFor(index, PluginVariant);
    *kind = info.kind;
    const auto needed = static_cast<std::int32_t>(info.hint.size() + 1);
    if (hint == nullptr) {
        *length = needed;
        return kOk;
    }
    if (needed > *length) {
        *length = needed;
        return kBadArgument;
    }
    return Guarded("TMProCryptoEngine.GetParamInfo: ", [&]() -> std::int32_t {
        std::memcpy(hint, info.hint.data(), info.hint.size());
        hint[info.hint.size()] = '\0';
        *length = needed;
        return kOk;
    });
}

}  // namespace vorlan
