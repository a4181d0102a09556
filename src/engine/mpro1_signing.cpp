// TMPro1CryptoEngine: detached and attached signatures, and their verification.
#include <climits>
#include <cstdint>
#include <vector>

#include "engine/mpro1_engine.h"

namespace vorlan {

std::int32_t TMPro1CryptoEngine::SignData(const unsigned char* data, std::int32_t length, unsigned char* signature,
                                          std::int32_t* signatureLength, const char* signer) {
    TMProDLL* api = nullptr;
    const std::int32_t code = GetCryptoAPI(api);
    if (code != kOk) return code;
    if (length < 1 || data == nullptr || signature == nullptr || signatureLength == nullptr) return kBadArgument;
    return Guarded("TMProCryptoEngine.SignData: ", [&]() -> std::int32_t {
        std::string subject;
        if (signer != nullptr && *signer != '\0') {
            const std::int32_t result = ReadSubjectFromCert(signer, subject);
            if (result != kOk) return result;
        }
        TMProDLL& toolkit = Bound(api);
        return toolkit.SignData(BuildParamVector(toolkit), data, length, signature, signatureLength, subject.c_str());
    });
}

std::int32_t TMPro1CryptoEngine::AddSign(unsigned char* buffer, std::int32_t* size, const char* signer) {
    TMProDLL* api = nullptr;
    const std::int32_t code = GetCryptoAPI(api);
    if (code != kOk) return code;
    if (buffer == nullptr || size == nullptr || *size < 1) return kBadArgument;
    return Guarded("TMProCryptoEngine.AddSign: ", [&]() -> std::int32_t {
        std::string subject;
        if (signer != nullptr && *signer != '\0') {
            const std::int32_t result = ReadSubjectFromCert(signer, subject);
            if (result != kOk) return result;
        }
        TMProDLL& toolkit = Bound(api);
        // The caller's buffer holds the data and GetMaxSignAddition bytes more: a size whose
        // sum with that does not fit 32 bits cannot describe it.
        if (std::int64_t{*size} + GetMaxSignAddition() > INT32_MAX) return kBadArgument;
        // The toolkit appends the signature behind the data; it may use the signature's room.
        std::int32_t capacity = toolkit.Fn.GetMaxSignatureLength() + *size;
        const std::int32_t result =
            toolkit.SignData(BuildParamVector(toolkit), buffer, *size, nullptr, &capacity, subject.c_str());
        *size = capacity;
        return result;
    });
}

std::int32_t TMPro1CryptoEngine::VerifyData(const unsigned char* data, std::int32_t length,
                                            const unsigned char* signature, std::int32_t signatureLength,
                                            char* signer) {
    TMProDLL* api = nullptr;
    const std::int32_t code = GetCryptoAPI(api);
    if (code != kOk) return code;
    if (length < 1 || data == nullptr || signature == nullptr || signatureLength < 1 || signer == nullptr)
        return kBadArgument;
    return Guarded("TMProCryptoEngine.VerifyData: ", [&]() -> std::int32_t {
        TMProDLL& toolkit = Bound(api);
        std::vector<char> work = UIDWorkBuffer(toolkit);
        std::int32_t dataLength = length;
        const std::int32_t result =
            toolkit.VerifyData(BuildParamVector(toolkit), data, &dataLength, signature, signatureLength, work.data());
        if (result != kOk) return result;
        return CopyUID(UIDFromSubject(TextUpToZero(work)), signer);
    });
}

std::int32_t TMPro1CryptoEngine::RemoveSign(unsigned char* buffer, std::int32_t* size, char* signer) {
    TMProDLL* api = nullptr;
    const std::int32_t code = GetCryptoAPI(api);
    if (code != kOk) return code;
    if (buffer == nullptr || size == nullptr || *size < 1 || signer == nullptr) return kBadArgument;
    return Guarded("TMProCryptoEngine.RemoveSignature: ", [&]() -> std::int32_t {
        TMProDLL& toolkit = Bound(api);
        std::vector<char> work = UIDWorkBuffer(toolkit);
        // The whole buffer is the signed message; the toolkit sets size to the data's length.
        const std::int32_t whole = *size;
        const std::int32_t result = toolkit.VerifyData(BuildParamVector(toolkit), buffer, size, nullptr, whole, work.data());
        if (result != kOk) return result;
        const std::int32_t copied = CopyUID(UIDFromSubject(TextUpToZero(work)), signer);
        if (copied != kOk) *size = whole;  // a signer that does not fit: leave the caller's data as it was
        return copied;
    });
}

}  // namespace vorlan
