// TMProWinCryptoEngine: the key set of the remote generation directory packed, copied in
// from a PSE directory, deleted and restored; the archive name of a replaced signature key.
#include <array>
#include <string_view>

#include "platform/new_file.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_key_set.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {

std::string TMProWinCryptoEngine::RemoteDir() const { return ExpandRootMacroDir(RemoteGeneratePath); }

std::int32_t TMProWinCryptoEngine::RG_EncryptKeySet(const char* uid) {
    if (uid == nullptr) return kBadArgument;
    const std::string D = RemoteDir();
    std::array<bool, kKeySet.size()> packed{};
    for (std::size_t i = 0; i < kKeySet.size(); ++i) {
        const std::int32_t result = EncryptFileToDat(D + kKeySet[i].name, uid);
        // Nothing is deleted unless every required file is packed.
        if (kKeySet[i].required && result != kOk) return result;
        packed[i] = result == kOk;
    }
    for (const char* name : kKeySetDeleteOrder) {
        std::size_t i = 0;
        while (std::string_view(kKeySet[i].name) != name) ++i;
        // An optional file that could not be packed stays plain rather than being lost.
        if (packed[i]) platform::DeleteFile(D + name);
    }
    return kOk;
}

bool TMProWinCryptoEngine::RG_CopyKeySet(const char* sourceDir) {
    if (sourceDir == nullptr) return false;
    const std::string S = ExpandRootMacroDir(sourceDir);
    const std::string D = RemoteDir();
    const auto copy = [&](const char* name) { return CopyFileWhole(S + name, D + name); };
    for (const char* name : {"uz.db3", "gk.db3", "num"})
        if (!copy(name)) return false;
    copy("sc_pub.key");
    for (const char* dir : kKeySetDirs) {
        if (!IsDirectory(D + dir)) platform::CreateDir(D + dir);
        if (!IsDirectory(D + dir)) return false;
    }
    if (!copy("DB\\CRYPT\\ckd.key")) return false;
    copy("DB\\CRYPT\\net_ks.key");
    copy(kSignaturePublicKeyFile);
    return copy(kSignatureKeyFile);
}

void TMProWinCryptoEngine::RG_DeleteKeySet() {
    const std::string D = RemoteDir();
    for (const char* name : kKeySetDeleteOrder)
        if (platform::FileExists(D + name)) platform::DeleteFile(D + name);
}

std::int32_t TMProWinCryptoEngine::RG_DecryptKeySet() { return DecryptKeySet(RemoteDir(), RemoteDir()); }

std::int32_t TMProWinCryptoEngine::DecryptKeySet(const std::string& D, const std::string& target) {
    for (const char* dir : kKeySetDirs)
        if (!IsDirectory(target + dir) && !platform::CreatePrivateDir(target + dir)) return kIOError;
    for (const auto& file : kKeySet) {
        const std::string plain = target + file.name, twin = DatTwinName(D + file.name);
        // An optional file may be missing; one that was packed must come back whole.
        if (!file.required && !platform::FileExists(twin)) continue;
        const std::int32_t result = DecryptDatToFile(twin, plain);
        if (result != kOk) return result;
    }
    return kOk;
}

void TMProWinCryptoEngine::RG_NextSignKeyArchiveName(const char* pseDir, std::string& archiveName) {
    const std::string P = IncludeBackslash(pseDir != nullptr ? pseDir : "");
    const std::int32_t number = NextNumberedExtension(P + "DB\\SIGN", "sec_sgn");
    archiveName = P + "DB\\SIGN\\sec_sgn." + FormatNumber3(number);
}

}  // namespace vorlan
