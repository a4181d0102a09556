// The fake Message-PRO toolkit: every function of the toolkit interface with scripted
// answers, logged calls and the count of threads inside. Build definitions leave out the
// optional functions (FAKE_NO_OPTIONAL) or GetCRLIssuerName (FAKE_NO_CRL).
#include <cstring>
#include <string>
#include <type_traits>

#include "fake_state.h"

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
// The file version, read by the binding where modules carry no version resource.
FAKE_EXPORT const char* const VorlanFileVersion = FAKE_FILE_VERSION;
#endif

// Declared from the shared interface: a definition below that differs in type fails to compile.
MPRO_REQUIRED_FUNCTIONS(MPRO_DECLARE_FN)
MPRO_OPTIONAL_FUNCTIONS(MPRO_DECLARE_FN)

using fake::Arg;
using fake::Call;
using fake::CopyText;
using fake::kNoContext;
using fake::Result;
using fake::State;
using fake::Text;
using mpro::Context;
using std::int32_t;

namespace {

std::string Int(int32_t value) { return std::to_string(value); }
std::string Len(const int32_t* length) { return length ? Int(*length) : std::string("(null)"); }

// Writes the scripted text of a function into a data buffer and sets its length.
void WriteData(fake::Id id, void* data, int32_t* length) {
    std::string text;
    if (!Text(id, text) || !data) return;
    std::memcpy(data, text.data(), text.size());
    if (length) *length = static_cast<int32_t>(text.size());
}

void WriteText(fake::Id id, char* buffer) {
    std::string text;
    if (Text(id, text)) CopyText(buffer, text);
}

[[maybe_unused]] const char* Field(const std::string& name) {
    auto& fields = State().fields;  // caller holds State().mutex
    auto it = fields.find(name);
    return it == fields.end() ? nullptr : it->second.c_str();
}

[[maybe_unused]] void FillName(mpro::NameRecord& name, const std::string& prefix) {
    name.C = Field(prefix + "C");
    name.S = Field(prefix + "S");
    name.L = Field(prefix + "L");
    name.O = Field(prefix + "O");
    name.OU = Field(prefix + "OU");
    name.T = Field(prefix + "T");
    name.CN = Field(prefix + "CN");
    name.E = Field(prefix + "E");
}

}  // namespace

#define FAKE_SIZE_QUERY(name, fallback) \
    FAKE_EXPORT int32_t MPRO_CALL name() { return Result(fake::id_##name, fallback); }

FAKE_SIZE_QUERY(GetMaxEncodeAddition, 1024)
FAKE_SIZE_QUERY(GetMaxSignatureLength, 4096)
FAKE_SIZE_QUERY(GetMaxUIDLength, 40)
FAKE_SIZE_QUERY(GetMaxPasswordLength, 64)
FAKE_SIZE_QUERY(GetMaxCryptoParamNameLength, 64)
FAKE_SIZE_QUERY(GetMaxCryptoParamValueLength, 260)
FAKE_SIZE_QUERY(GetMaxErrorStringLength, 256)
FAKE_SIZE_QUERY(GetMaxFileNameLength, 260)
FAKE_SIZE_QUERY(GetCryptoParamNumber, 26)
FAKE_SIZE_QUERY(GetMaxCertificateLength, 8192)
FAKE_SIZE_QUERY(GetMaxCertInfoLength, 8192)

FAKE_EXPORT int32_t MPRO_CALL GetCryptoErrorString(int32_t code, char* buffer) {
    Call call(fake::id_GetCryptoErrorString, kNoContext, {Int(code)});
    std::string text;
    CopyText(buffer, Text(fake::id_GetCryptoErrorString, text) ? text : "Fake error " + Int(code));
    return Result(fake::id_GetCryptoErrorString, 0);
}

#define FAKE_CTX_BUFFER(name)                                  \
    FAKE_EXPORT int32_t MPRO_CALL name(Context ctx, char* buffer) { \
        Call call(fake::id_##name, ctx, {});                   \
        WriteText(fake::id_##name, buffer);                    \
        return Result(fake::id_##name, 0);                     \
    }
FAKE_CTX_BUFFER(GetLastErrorMessage)
FAKE_CTX_BUFFER(GetCurrentUID)
FAKE_CTX_BUFFER(GenerateNewSSK)
FAKE_CTX_BUFFER(GenerateNewSEK)

FAKE_EXPORT int32_t MPRO_CALL SetRootPath(const char* root) {
    Call call(fake::id_SetRootPath, kNoContext, {Arg(root)});
    return Result(fake::id_SetRootPath, 0);
}

FAKE_EXPORT int32_t MPRO_CALL SetPasswordRequestFunc(void* callback) {
    Call call(fake::id_SetPasswordRequestFunc, kNoContext, {callback ? "set" : "(null)"});
    return Result(fake::id_SetPasswordRequestFunc, 0);
}

FAKE_EXPORT Context MPRO_CALL InitCrypto() {
    auto& s = State();
    const Context context = s.hasResult[fake::id_InitCrypto] ? s.result[fake::id_InitCrypto].load() : s.nextContext++;
    Call call(fake::id_InitCrypto, context, {});
    if (context != 0) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.open.insert(context);
    }
    return context;
}

FAKE_EXPORT int32_t MPRO_CALL DoneCrypto(Context ctx) {
    Call call(fake::id_DoneCrypto, ctx, {});
    std::lock_guard<std::mutex> lock(State().mutex);
    State().open.erase(ctx);
    State().params.erase(ctx);
    return Result(fake::id_DoneCrypto, 0);
}

#define FAKE_CTX_ONLY(name)                       \
    FAKE_EXPORT int32_t MPRO_CALL name(Context ctx) { \
        Call call(fake::id_##name, ctx, {});      \
        return Result(fake::id_##name, 0);        \
    }
FAKE_CTX_ONLY(KeysRenewal)
FAKE_CTX_ONLY(IsDifferentKeys)

FAKE_EXPORT int32_t MPRO_CALL EncodeData(Context ctx, unsigned char* data, int32_t* length, const char* subjects) {
    Call call(fake::id_EncodeData, ctx, {Len(length), Arg(subjects)});
    WriteData(fake::id_EncodeData, data, length);
    return Result(fake::id_EncodeData, 0);
}

FAKE_EXPORT int32_t MPRO_CALL DecodeData(Context ctx, unsigned char*, int32_t* length, char* subject) {
    Call call(fake::id_DecodeData, ctx, {Len(length)});
    WriteText(fake::id_DecodeData, subject);
    return Result(fake::id_DecodeData, 0);
}

FAKE_EXPORT int32_t MPRO_CALL SignData(Context ctx, const unsigned char*, int32_t length, unsigned char* signature,
                                       int32_t* signatureLength, const char* signer) {
    Call call(fake::id_SignData, ctx, {Int(length), Len(signatureLength), Arg(signer)});
    WriteData(fake::id_SignData, signature, signatureLength);
    return Result(fake::id_SignData, 0);
}

FAKE_EXPORT int32_t MPRO_CALL VerifyData(Context ctx, const unsigned char*, int32_t* length, const unsigned char*,
                                         int32_t signatureLength, char* signer) {
    Call call(fake::id_VerifyData, ctx, {Len(length), Int(signatureLength)});
    WriteText(fake::id_VerifyData, signer);
    return Result(fake::id_VerifyData, 0);
}

#define FAKE_CTX_TEXT(name)                                            \
    FAKE_EXPORT int32_t MPRO_CALL name(Context ctx, const char* text) { \
        Call call(fake::id_##name, ctx, {Arg(text)});                  \
        return Result(fake::id_##name, 0);                             \
    }
FAKE_CTX_TEXT(RemoveSignaturesFromFile)
FAKE_CTX_TEXT(IncludePublicKey)
FAKE_CTX_TEXT(IncludePublicEncodeKey)

FAKE_EXPORT int32_t MPRO_CALL GetCryptoParamName(Context ctx, int32_t index, char* buffer) {
    Call call(fake::id_GetCryptoParamName, ctx, {Int(index)});
    std::string text;
    CopyText(buffer, Text(fake::id_GetCryptoParamName, text) ? text : "Param" + Int(index));
    return Result(fake::id_GetCryptoParamName, 0);
}

FAKE_EXPORT int32_t MPRO_CALL GetCryptoParamValue(Context ctx, int32_t index, char* buffer) {
    Call call(fake::id_GetCryptoParamValue, ctx, {Int(index)});
    std::string value;
    {
        std::lock_guard<std::mutex> lock(State().mutex);
        auto& params = State().params[ctx];
        if (auto it = params.find(index); it != params.end()) value = it->second;
    }
    CopyText(buffer, value);
    return Result(fake::id_GetCryptoParamValue, 0);
}

FAKE_EXPORT int32_t MPRO_CALL SetCryptoParamValue(Context ctx, int32_t index, const char* value) {
    Call call(fake::id_SetCryptoParamValue, ctx, {Int(index), Arg(value)});
    std::lock_guard<std::mutex> lock(State().mutex);
    State().params[ctx][index] = value ? value : "";
    return Result(fake::id_SetCryptoParamValue, 0);
}

FAKE_EXPORT int32_t MPRO_CALL GetCertificateByUID(Context ctx, const char* subject, unsigned char* buffer,
                                                  int32_t* length) {
    Call call(fake::id_GetCertificateByUID, ctx, {Arg(subject), Len(length)});
    WriteData(fake::id_GetCertificateByUID, buffer, length);
    return Result(fake::id_GetCertificateByUID, 0);
}

FAKE_EXPORT int32_t MPRO_CALL GetCertInfo(Context ctx, const unsigned char*, int32_t length, char* text) {
    Call call(fake::id_GetCertInfo, ctx, {Int(length)});
    WriteText(fake::id_GetCertInfo, text);
    return Result(fake::id_GetCertInfo, 0);
}

#define FAKE_TWO_TEXTS(name)                                                              \
    FAKE_EXPORT int32_t MPRO_CALL name(Context ctx, const char* first, const char* second) { \
        Call call(fake::id_##name, ctx, {Arg(first), Arg(second)});                       \
        return Result(fake::id_##name, 0);                                                \
    }
FAKE_TWO_TEXTS(MakeRequestForPSE)
FAKE_TWO_TEXTS(CertificateAndPrivateKeyMatch)
FAKE_TWO_TEXTS(CertificateAndPSePrivateKeyMatch)
FAKE_TWO_TEXTS(CertificateAndRequestMatch)

FAKE_EXPORT int32_t MPRO_CALL CertificateAndPSePrivateKeysMatch(Context ctx, const char* certificateFile,
                                                                const char* keyDirectory, char* output) {
    Call call(fake::id_CertificateAndPSePrivateKeysMatch, ctx, {Arg(certificateFile), Arg(keyDirectory)});
    WriteText(fake::id_CertificateAndPSePrivateKeysMatch, output);
    return Result(fake::id_CertificateAndPSePrivateKeysMatch, 0);
}

#define FAKE_TEXT_OUT(name)                                                        \
    FAKE_EXPORT int32_t MPRO_CALL name(Context ctx, const char* first, char* output) { \
        Call call(fake::id_##name, ctx, {Arg(first)});                             \
        WriteText(fake::id_##name, output);                                        \
        return Result(fake::id_##name, 0);                                         \
    }
FAKE_TEXT_OUT(PSePrivateKeyBackup)
#if !defined(FAKE_NO_CRL)
FAKE_TEXT_OUT(GetCRLIssuerName)
#endif

#if !defined(FAKE_NO_OPTIONAL)
FAKE_EXPORT int32_t MPRO_CALL VerifyDataIgnoreTime(Context ctx, const unsigned char*, int32_t* length,
                                                   const unsigned char*, int32_t signatureLength, char* signer) {
    Call call(fake::id_VerifyDataIgnoreTime, ctx, {Len(length), Int(signatureLength)});
    WriteText(fake::id_VerifyDataIgnoreTime, signer);
    return Result(fake::id_VerifyDataIgnoreTime, 0);
}

FAKE_EXPORT int32_t MPRO_CALL LoadCertificate(Context ctx, const unsigned char*, int32_t length) {
    Call call(fake::id_LoadCertificate, ctx, {Int(length)});
    return Result(fake::id_LoadCertificate, 0);
}

FAKE_EXPORT int32_t MPRO_CALL GetCertInfoEx(Context ctx, const unsigned char*, int32_t length,
                                            mpro::CertInfoRecord* record) {
    Call call(fake::id_GetCertInfoEx, ctx, {Int(length)});
    if (record) {
        std::lock_guard<std::mutex> lock(State().mutex);
        record->SerialNumber = Field("SN");
        record->NotBefore = Field("NotBefore");
        record->NotAfter = Field("NotAfter");
        record->PublicKey = Field("PublicKey");
        FillName(record->Issuer, "I");
        FillName(record->Subject, "");
    }
    return Result(fake::id_GetCertInfoEx, 0);
}

FAKE_EXPORT int32_t MPRO_CALL FreeCertInfo(Context ctx, mpro::CertInfoRecord* record) {
    Call call(fake::id_FreeCertInfo, ctx, {record ? "record" : "(null)"});
    return Result(fake::id_FreeCertInfo, 0);
}

FAKE_EXPORT int32_t MPRO_CALL GetReqInfo(Context ctx, const unsigned char*, int32_t length,
                                         mpro::ReqInfoRecord* record) {
    Call call(fake::id_GetReqInfo, ctx, {Int(length)});
    if (record) {
        std::lock_guard<std::mutex> lock(State().mutex);
        record->PublicKey = Field("PublicKey");
        FillName(record->Subject, "");
    }
    return Result(fake::id_GetReqInfo, 0);
}

FAKE_EXPORT int32_t MPRO_CALL FreeReqInfo(Context ctx, mpro::ReqInfoRecord* record) {
    Call call(fake::id_FreeReqInfo, ctx, {record ? "record" : "(null)"});
    return Result(fake::id_FreeReqInfo, 0);
}
#endif

