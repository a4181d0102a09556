// TMPro1CryptoEngine: installing a CRL in place of the list of the same issuer.
#include <algorithm>
#include <vector>

#include "engine/mpro1_engine.h"
#include "engine/store_filing.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/store_change.h"
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

bool SameFile(const std::string& a, const std::string& b) {
    return SameTextAnsi(platform::NativePath(a), platform::NativePath(b));
}

}  // namespace

std::int32_t TMPro1CryptoEngine::IncludeCRL(const char* fileName) {
    const std::string source = ExpandRootMacro(fileName != nullptr ? fileName : "");
    if (source.empty() || !platform::FileExists(source)) return kCRLNotFound;
    // Without a CRL directory the toolkit reads no list: none is reported installed.
    const std::string dir = GetCRLDir();
    if (dir.empty()) return kCRLDirError;
    if (!platform::DirectoryExists(dir)) platform::CreateDir(WithoutBackslash(dir));
    if (!platform::DirectoryExists(dir)) return kCRLDirError;
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    bool installed = false;
    const std::int32_t result = Guarded("TMProCryptoEngine.IncludeCRL: ", [&]() -> std::int32_t {
        const ParamVector vector = BuildParamVector(*api);
        const auto size = static_cast<std::size_t>(std::max(api->Fn.GetMaxCryptoParamValueLength(), 0)) + 1;
        auto issuerOf = [&](const std::string& file, std::int32_t& answer) {
            std::vector<char> buffer(size, '\0');
            answer = api->GetCRLIssuerName(vector, file.c_str(), buffer.data());
            return TextUpToZero(buffer);
        };
        // The issuer queries and the change form one step against other includes.
        CriticalGuard store(StoreLock());
        std::int32_t answer = kOk;
        const std::string issuer = issuerOf(source, answer);
        // No issuer: not a list, or one the toolkit refuses (its code, with its reason).
        if (issuer.empty()) return answer < 0 ? answer : kCRLIncorrect;

        std::string replaced;
        for (const auto& candidate : CRLCandidates(dir)) {
            std::int32_t ignored = kOk;
            if (!SameFile(candidate, source) && issuerOf(candidate, ignored) == issuer) {
                replaced = candidate;
                break;
            }
        }
        if (!InstallCRL_locked(dir, source, replaced)) return kIOError;
        installed = true;
        return kOk;
    });
    if (installed) ClearCash();
    return result;
}

}  // namespace vorlan
