// TMPro1CryptoEngine: installing a CRL in place of the list of the same issuer.
#include <algorithm>
#include <vector>

#include "engine/mpro1_engine.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

// CRL candidates of a directory: names ending in "pem", then those ending in "crl".
std::vector<std::string> CRLCandidates(const std::string& dir) {
    std::vector<std::string> pem, crl;
    for (const auto& entry : platform::Enumerate(dir + "*.*")) {
        if ((entry.attributes & platform::kAttrDirectory) != 0 || entry.name.empty() || entry.name[0] == '.') continue;
        if (entry.name.size() < 3) continue;
        const std::string ext = UpperCaseAscii(entry.name.substr(entry.name.size() - 3));
        if (ext == "PEM") pem.push_back(dir + entry.name);
        else if (ext == "CRL") crl.push_back(dir + entry.name);
    }
    pem.insert(pem.end(), crl.begin(), crl.end());
    return pem;
}

std::string WithoutBackslash(std::string dir) {
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    return dir;
}

}  // namespace

std::int32_t TMPro1CryptoEngine::IncludeCRL(const char* fileName) {
    const std::string source = ExpandRootMacro(fileName != nullptr ? fileName : "");
    if (source.empty() || !platform::FileExists(source)) return kCRLNotFound;
    const std::string dir = GetCRLDir();
    if (!platform::DirectoryExists(dir)) platform::CreateDir(WithoutBackslash(dir));
    if (!platform::DirectoryExists(dir)) return kCRLDirError;
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    return Guarded("TMProCryptoEngine.IncludeCRL: ", [&]() -> std::int32_t {
        const ParamVector vector = BuildParamVector(*api);
        const auto size = static_cast<std::size_t>(std::max(api->Fn.GetMaxCryptoParamValueLength(), 0)) + 1;
        auto issuerOf = [&](const std::string& file, std::int32_t& result) {
            std::vector<char> buffer(size, '\0');
            result = api->GetCRLIssuerName(vector, file.c_str(), buffer.data());
            return TextUpToZero(buffer);
        };
        std::int32_t result = kOk;
        const std::string issuer = issuerOf(source, result);
        if (issuer.empty()) return kCRLIncorrect;

        std::string old;
        for (const auto& candidate : CRLCandidates(dir)) {
            std::int32_t ignored = kOk;
            if (issuerOf(candidate, ignored) == issuer) {
                old = candidate;
                break;
            }
        }
        // The old list steps aside under a name no scan picks up, and goes only once the new
        // one is in place; its number is free for the new list as if it had been deleted.
        const std::string parked = old + ".old";
        if (!old.empty()) {
            if (platform::FileExists(parked)) platform::DeleteFile(parked);
            if (!platform::MoveFile(old, parked)) return kIOError;
        }
        const std::string target = dir + "crl" + std::to_string(NextNumberedName(dir, "crl*.pem")) + ".pem";
        if (!platform::MoveFile(source, target)) {
            if (!old.empty()) platform::MoveFile(parked, old);
            return kIOError;
        }
        if (!old.empty() && !platform::DeleteFile(parked)) return kIOError;
        ClearCash();
        return result;
    });
}

}  // namespace vorlan
