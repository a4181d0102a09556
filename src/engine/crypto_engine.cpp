// TCryptoEngine: defaults of the operation table and the helpers derived engines share.
#include "engine/crypto_engine.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "support/errors.h"
#include "support/file_utils.h"
#include "support/rwsync.h"
#include "support/text_utils.h"

namespace vorlan {

namespace {

constexpr const char* kRootMacro = "%ZELROOT%";
constexpr std::size_t kRootMacroLength = 9;
constexpr std::int32_t kNotProvided = -1;
constexpr std::int32_t kBadArgument = -101;
constexpr std::int32_t kException = -102;
constexpr std::int32_t kWriteFailed = -106;
constexpr std::size_t kDecodeScratch = 260;

[[noreturn]] void Abstract(const char* operation) {
    throw EAbstractError(std::string("Abstract error: TCryptoEngine.") + operation);
}

// 32-bit products and sums wrap as the engine's integers do, without overflow.
std::int32_t Wrap32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

const char* AsText(Word w) { return reinterpret_cast<const char*>(w); }

// The entry at a 1-based index, or null when the index is outside the list or the entry is empty.
const std::string* Entry(const std::vector<std::string>& list, std::int32_t index) {
    if (index < 1 || static_cast<std::size_t>(index) > list.size()) return nullptr;
    const std::string& entry = list[static_cast<std::size_t>(index) - 1];
    return entry.empty() ? nullptr : &entry;
}

std::string AppendBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

}  // namespace

TCryptoEngine::TCryptoEngine() : ExceptStr(std::make_unique<TSyncExceptStr>()) {}

TCryptoEngine::~TCryptoEngine() = default;

// ---- slots 0 to 11 -------------------------------------------------------------------------

std::int32_t TCryptoEngine::Reserved0() { return kNotProvided; }
std::int32_t TCryptoEngine::Reserved1(Word, Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::Reserved2(Word, Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::Reserved3(Word a, Word b, Word c) { return Reserved2(a, b, c); }
std::int32_t TCryptoEngine::Reserved4(Word, Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::Reserved5(Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::Reserved6(Word, Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::Reserved7(Word, Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::Reserved8(Word, Word, Word, Word) { return kNotProvided; }

void TCryptoEngine::SetPasswordRequestFunc(void* callback) { PasswordRequestFunc = callback; }

void TCryptoEngine::SetRemoteGeneratePath(const char* path) {
    RemoteGeneratePath = AppendBackslash(ExpandRootMacro(path != nullptr ? path : ""));
}

// ---- sizes and parameters (slots 12 to 26) ---------------------------------------------------

void TCryptoEngine::GetEngineName(char*) { Abstract("GetEngineName"); }
std::int32_t TCryptoEngine::GetMaxEncodeAddition() { return 255; }
std::int32_t TCryptoEngine::GetMaxSignatureLength() { return 255; }
std::int32_t TCryptoEngine::GetMaxUIDLength() { return 255; }
std::int32_t TCryptoEngine::GetMaxCryptoParamNameLength() { return 255; }
std::int32_t TCryptoEngine::GetMaxCryptoParamValueLength() { return kDefaultParamValueLength; }
std::int32_t TCryptoEngine::GetMaxErrorStringLength() { return 255; }
std::int32_t TCryptoEngine::GetMaxPasswordLength() { return 255; }

std::int32_t TCryptoEngine::GetCryptoParamNumber() { return static_cast<std::int32_t>(ParamNames.size()); }

void TCryptoEngine::GetCryptoParamName(std::int32_t index, char* buffer) {
    if (buffer == nullptr) return;
    const std::string* name = Entry(ParamNames, index);
    if (name == nullptr) {
        buffer[0] = '\0';
        return;
    }
    std::memcpy(buffer, name->c_str(), name->size() + 1);
}

void TCryptoEngine::GetCryptoParamValue(std::int32_t index, char* buffer) {
    if (buffer == nullptr) return;
    std::int32_t room = 0;
    try {
        room = GetMaxCryptoParamValueLength();
    } catch (...) {
    }
    // A plug-in that cannot be asked: the base's own limit, so the caller still gets a text.
    if (room <= 0) room = kDefaultParamValueLength;
    const std::string* value = Entry(ParamValues, index);
    const std::size_t n = value == nullptr ? 0 : std::min(value->size(), static_cast<std::size_t>(room) - 1);
    if (n > 0) std::memcpy(buffer, value->data(), n);
    buffer[n] = '\0';
}

std::int32_t TCryptoEngine::SetCryptoParamValue(std::int32_t index, const char* value) {
    if (index < 1 || static_cast<std::size_t>(index) > ParamValues.size()) return kNotProvided;
    ParamValues[static_cast<std::size_t>(index) - 1] = value != nullptr ? value : "";
    return 0;
}

std::int32_t TCryptoEngine::GetEncodeUIDBySignUID(const char*, char*) { Abstract("GetEncodeUIDBySignUID"); }
std::int32_t TCryptoEngine::GetCurrentUserUID(char*) { Abstract("GetCurrentUserUID"); }

void TCryptoEngine::GetCryptoErrorString(std::int32_t code, char* buffer) {
    if (buffer == nullptr) return;
    try {
        const std::int32_t room = GetMaxErrorStringLength();
        if (room <= 0) return;
        std::memset(buffer, 0, static_cast<std::size_t>(room));
        const std::string text = "CRYPTO ENGINE ERROR : " + std::to_string(code);
        // The last byte of the cleared area stays the terminating NUL.
        std::memcpy(buffer, text.data(), std::min(text.size(), static_cast<std::size_t>(room) - 1));
    } catch (...) {
        // The buffer keeps what was written so far.
    }
}

// ---- cryptographic operations (slots 27 to 45) ------------------------------------------------

std::int32_t TCryptoEngine::EncodeData(unsigned char*, std::int32_t*, const char*) { Abstract("EncodeData"); }
std::int32_t TCryptoEngine::DecodeData(unsigned char*, std::int32_t*, char*) { Abstract("DecodeData"); }
std::int32_t TCryptoEngine::SignData(const unsigned char*, std::int32_t, unsigned char*, std::int32_t*, const char*) {
    Abstract("SignData");
}
std::int32_t TCryptoEngine::VerifyData(const unsigned char*, std::int32_t, const unsigned char*, std::int32_t,
                                       char*) {
    Abstract("VerifyData");
}
std::int32_t TCryptoEngine::IncludePublicKey(const char*) { return kNotProvided; }
void TCryptoEngine::ClearCash() {}
std::int32_t TCryptoEngine::UpdateCertificateCash(const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::RemoveCertificate(const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::IncludeCRL(const char*) { return kNotProvided; }

void TCryptoEngine::GetLastErrorMessage(char* buffer) {
    if (buffer == nullptr) AssertionFailure("dlls.sys\\Cryptlib\\cryptobj", 719);
    buffer[0] = '\0';
}

std::int32_t TCryptoEngine::GenerateNewSSK() { return kNotProvided; }
std::int32_t TCryptoEngine::GenerateNewSEK() { return kNotProvided; }
bool TCryptoEngine::IsDifferentKeys() { return false; }
std::int32_t TCryptoEngine::IncludePublicEncodeKey(const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::SignFile(Word) { return kNotProvided; }
std::int32_t TCryptoEngine::VerifyFile(Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::RemoveSignaturesFromFile(Word) { return kNotProvided; }
std::int32_t TCryptoEngine::TransPrivateKeyFromFileToTM() { return kNotProvided; }
std::int32_t TCryptoEngine::TransSignatureFromFileToTM() { return kNotProvided; }

// ---- transfers and remote generation (slots 46 to 58) -----------------------------------------

std::int32_t TCryptoEngine::GetMaxPublicKeyTransferSize() { return 4096; }
std::int32_t TCryptoEngine::RemoteGenerateStart(char*) { return kNotProvided; }
std::int32_t TCryptoEngine::RemoteGenerateFinish(const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::ExcludeSelfPublicKeyTransfer(char*) { return kNotProvided; }
std::int32_t TCryptoEngine::IncludePublicKeyTransfer(const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::GetPublicKeyTransfer(const char*, char*) { return kNotProvided; }
std::int32_t TCryptoEngine::SavePublicKeyFromTransfer(const char*, const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::RemoteGenerateStartEx(const char*, char*, std::int32_t*) { return kNotProvided; }
std::int32_t TCryptoEngine::RemoteGenerateFinishEx(const char*, std::int32_t*) { return kNotProvided; }
std::int32_t TCryptoEngine::GetPublicKeyTransferByFile(char*, const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::IncludeCACertificateFromTransfer(const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::AddSign(unsigned char*, std::int32_t*, const char*) { return kNotProvided; }
std::int32_t TCryptoEngine::RemoveSign(unsigned char*, std::int32_t*, char*) { return kNotProvided; }

// ---- sizes, files and reports (slots 59 to 69) --------------------------------------------------

std::int32_t TCryptoEngine::GetMaxSignAddition() {
    return Wrap32(std::int64_t{GetMaxSignatureLength()} + 255);
}

std::int32_t TCryptoEngine::GetMaxEncodeAdditionFor(std::int32_t count) {
    return Wrap32(std::int64_t{count} * GetMaxEncodeAddition());
}

std::int32_t TCryptoEngine::SaveSignedDataToFile(const unsigned char* data, std::int32_t length,
                                                 const unsigned char* signature, std::int32_t signatureLength,
                                                 const char* fileName) {
    // A negative length is a caller's fault, not an empty file: it is reported.
    if (length < 0 || signatureLength < 0) return kBadArgument;
    if (fileName == nullptr || data == nullptr || length == 0) return 0;
    const std::int64_t total = std::int64_t{length} + signatureLength;
    if (total > INT32_MAX) return kException;  // cannot be written as one 32-bit length
    try {
        std::vector<unsigned char> block(static_cast<std::size_t>(total));
        std::memcpy(block.data(), data, static_cast<std::size_t>(length));
        if (signatureLength != 0 && signature != nullptr) {
            std::memcpy(block.data() + length, signature, static_cast<std::size_t>(signatureLength));
        }
        const std::string name = ExpandRootMacro(fileName);
        return WriteFileBuffer(name, block.data(), static_cast<std::int32_t>(total)) ? 0 : kWriteFailed;
    } catch (...) {
        return kException;
    }
}

std::int32_t TCryptoEngine::GetRemoteGenType() { return 1; }
std::int32_t TCryptoEngine::GetMaxReportSize() { return kNotProvided; }
std::int32_t TCryptoEngine::GetReport(const char*, char*) { return kNotProvided; }

std::int32_t TCryptoEngine::GetMaxAdditionEx(const char* recipients) {
    std::int32_t result = GetMaxEncodeAddition();
    if (recipients != nullptr && recipients[0] != '\0') {
        std::vector<std::string> items;
        result = Wrap32(std::int64_t{result} * SplitList(recipients, items));
    }
    return result;
}

std::int32_t TCryptoEngine::GetUIDByPublicKeyTransfer(const char*, char*) { return kNotProvided; }
std::int32_t TCryptoEngine::GetPublicKeyPropertiesByTransfer(const char*, char*) { return kNotProvided; }
std::int32_t TCryptoEngine::GetPublicKeyPropertiesByFile(const char*, char*) { return kNotProvided; }
std::int32_t TCryptoEngine::CreateDirStructure(const char*, const char*) { return kNotProvided; }

// ---- slots 70 to 81 ---------------------------------------------------------------------------

std::int32_t TCryptoEngine::VerifySignWOCheckValidity(const unsigned char* data, std::int32_t length,
                                                      const unsigned char* signature, std::int32_t signatureLength,
                                                      char* signer) {
    return VerifyData(data, length, signature, signatureLength, signer);
}

std::int32_t TCryptoEngine::CertAndRequestTransferMatch(const char*, const char*, std::int32_t* match) {
    if (match != nullptr) *match = -1;
    return 0;
}

std::int32_t TCryptoEngine::ConvertTransferToSignedRequest(Word) { return kNotProvided; }
std::int32_t TCryptoEngine::HashData(Word, Word, Word, Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::ShowCertificate(Word) { return kNotProvided; }
std::int32_t TCryptoEngine::GetPureSign(Word, Word, Word, Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::GetUIDByCertIdent(Word, Word) { return kNotProvided; }
std::int32_t TCryptoEngine::InstallCertsInMyStore(Word) { return kNotProvided; }
std::int32_t TCryptoEngine::RegisterOIDInfo(const char*, const char16_t*) { return kNotProvided; }
std::int32_t TCryptoEngine::GetParamInfo(std::int32_t, std::int32_t*, char*, std::int32_t*) { return kNotProvided; }

std::int32_t TCryptoEngine::IncludeByKind(std::int32_t kind, Word a, Word b, Word c) {
    switch (kind) {
        case 1: return Reserved2(a, b, c);
        case 2: return IncludePublicKey(AsText(b));
        case 3: return Reserved3(a, b, c);
        case 4: return IncludePublicEncodeKey(AsText(b));
        case 5: return Reserved4(a, b, c);
        case 6: return Reserved5(a, b);
        case 7: return IncludePublicKeyTransfer(AsText(b));
        case 8: return IncludeCACertificateFromTransfer(AsText(b));
        case 9: return Reserved1(a, b, c);
        case 10: return IncludeCRL(AsText(b));
        case 11: return Reserved6(a, b, c);
        default: return kNotProvided;
    }
}

std::int32_t TCryptoEngine::OperationByKind(std::int32_t kind, Word a, Word /*b: unused*/, Word c, Word d, Word e) {
    switch (kind) {
        case 4: return Reserved7(c, d, e);
        case 5: return Reserved8(c, a, d, e);
        default: return kNotProvided;
    }
}

// ---- helpers ------------------------------------------------------------------------------------

void TCryptoEngine::SetRootPath(const std::string& path) {
    // An empty root would send "%ZELRoot%" paths to the working directory.
    if (!path.empty()) RootPath = AppendBackslash(path);
}

std::string TCryptoEngine::ExpandRootMacro(const std::string& path) const {
    if (path.empty()) return path;
    if (UpperCaseAscii(path.substr(0, kRootMacroLength)) != kRootMacro) return path;
    std::string rest = path.substr(std::min(path.size(), kRootMacroLength));
    if (!rest.empty() && rest.front() == '\\') rest.erase(0, 1);
    return UpperCaseAscii(RootPath + rest);
}

std::string TCryptoEngine::ExpandRootMacroDir(const std::string& path) const {
    return IncludeBackslash(ExpandRootMacro(path));
}

bool TCryptoEngine::CopyToBuffer(const char* source, char* destination, std::int32_t size) {
    if (source == nullptr || destination == nullptr || size <= 0) return false;
    // Look no further into the source than size bytes.
    std::int32_t n = 0;
    while (n < size && source[n] != '\0') ++n;
    std::memcpy(destination, source, static_cast<std::size_t>(n < size ? n + 1 : size));
    return true;
}

std::int32_t TCryptoEngine::EncodeAfterHeader(const std::string& header, unsigned char* buffer, std::int32_t* size,
                                              const char* recipients) {
    if (buffer == nullptr || size == nullptr || *size < 0) return kNotProvided;
    const std::size_t h = header.size();
    std::memmove(buffer + h + 1, buffer, static_cast<std::size_t>(*size));
    std::memcpy(buffer, header.data(), h);
    buffer[h] = '\0';
    std::int32_t inner = *size;
    const std::int32_t result = EncodeData(buffer + h + 1, &inner, recipients);
    *size = Wrap32(std::int64_t{inner} + static_cast<std::int64_t>(h) + 1);
    return result;
}

std::int32_t TCryptoEngine::DecodeAfterHeader(unsigned char* buffer, std::int32_t size, unsigned char** data,
                                              std::int32_t* dataSize) {
    if (buffer == nullptr || data == nullptr || dataSize == nullptr || size <= 0) return kNotProvided;
    // The header must end inside the buffer; otherwise there is no data behind it.
    std::int32_t h = 0;
    while (h < size && buffer[h] != '\0') ++h;
    if (h >= size) return kNotProvided;
    *dataSize = size - h - 1;
    *data = buffer + h + 1;
    char scratch[kDecodeScratch] = {};
    return DecodeData(*data, dataSize, scratch);
}

}  // namespace vorlan
