// TMPro1CryptoEngine: encryption for correspondents and decryption for the current user.
#include <vector>

#include "engine/mpro1_engine.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan {

std::int32_t TMPro1CryptoEngine::EncodeData(unsigned char* buffer, std::int32_t* size, const char* recipients) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    if (buffer == nullptr || size == nullptr || *size < 1) return kBadArgument;
    return Guarded("TMProCryptoEngine.EncodeData: ", [&]() -> std::int32_t {
        const std::string text = RecipientText(recipients);
        // Each recipient's UID becomes the subject line of its certificate, in order.
        std::string subjects;
        if (!text.empty()) {
            std::vector<std::string> uids;
            SplitList(text.c_str(), uids);
            for (std::size_t i = 0; i < uids.size(); ++i) {
                std::string subject;
                const std::int32_t result = ReadSubjectFromCert(uids[i], subject);
                if (result != kOk) return result;
                if (i > 0) subjects += ';';
                subjects += subject;
            }
        }
        return api->EncodeData(BuildParamVector(*api), buffer, size, subjects.c_str());
    });
}

std::string TMPro1CryptoEngine::RecipientText(const char* recipients) const {
    return (recipients != nullptr && *recipients != '\0') ? std::string(recipients) : TrimSpaces(ParamValue(19));
}

std::int32_t TMPro1CryptoEngine::GetMaxAdditionEx(const char* recipients) {
    return TCryptoEngine::GetMaxAdditionEx(RecipientText(recipients).c_str());
}

std::int32_t TMPro1CryptoEngine::DecodeData(unsigned char* buffer, std::int32_t* size, char* output) {
    TMProDLL* api = nullptr;
    const std::int32_t code = RequireCryptoAPI(api);
    if (code != kOk) return code;
    if (buffer == nullptr || size == nullptr || *size < 1 || output == nullptr) return kBadArgument;
    return Guarded("TMProCryptoEngine.DecodeData: ", [&]() -> std::int32_t {
        // The toolkit names the recipient here; the caller is not told.
        std::vector<char> work = UIDWorkBuffer(*api);
        return api->DecodeData(BuildParamVector(*api), buffer, size, work.data());
    });
}

}  // namespace vorlan
