// The Message-PRO toolkit plug-in's functions, declared once: the binding resolves
// them by name into a table of these types, and every plug-in (ours, the test fake)
// defines them with exactly these signatures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#if defined(_WIN32) && !defined(_WIN64)
#define MPRO_CALL __stdcall
#else
#define MPRO_CALL
#endif

#if defined(_WIN32)
#define MPRO_EXPORT extern "C"
#else
#define MPRO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace mpro {

using Context = std::int32_t;  // 0 means "no context"; never a pointer

// Name record: eight text fields (32 bytes on 32-bit Windows).
struct NameRecord {
    const char* C;
    const char* S;
    const char* L;
    const char* O;
    const char* OU;
    const char* T;
    const char* CN;
    const char* E;
};

// Certificate information record filled by GetCertInfoEx (96 bytes on 32-bit Windows).
struct CertInfoRecord {
    void* Reserved0;
    const char* SerialNumber;
    const char* NotBefore;
    const char* NotAfter;
    NameRecord Issuer;
    NameRecord Subject;
    const char* PublicKey;
    void* Reserved1[3];
};

// Request information record filled by GetReqInfo (48 bytes on 32-bit Windows).
struct ReqInfoRecord {
    void* Reserved0;
    NameRecord Subject;
    const char* PublicKey;
    void* Reserved1[2];
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(NameRecord) == 32);
static_assert(sizeof(CertInfoRecord) == 96);
static_assert(offsetof(CertInfoRecord, SerialNumber) == 4);
static_assert(offsetof(CertInfoRecord, NotBefore) == 8);
static_assert(offsetof(CertInfoRecord, NotAfter) == 12);
static_assert(offsetof(CertInfoRecord, Issuer) == 16);
static_assert(offsetof(CertInfoRecord, Subject) == 48);
static_assert(offsetof(CertInfoRecord, PublicKey) == 80);
static_assert(sizeof(ReqInfoRecord) == 48);
static_assert(offsetof(ReqInfoRecord, Subject) == 4);
static_assert(offsetof(ReqInfoRecord, PublicKey) == 36);
#endif

// Function types, one per toolkit function. Indexes are zero-based; codes: 0 = success.
using FnGetMax = std::int32_t(MPRO_CALL*)();  // every GetMax… and GetCryptoParamNumber
using FnGetCryptoErrorString = std::int32_t(MPRO_CALL*)(std::int32_t code, char* buffer);
using FnCtxBuffer = std::int32_t(MPRO_CALL*)(Context ctx, char* buffer);  // GetLastErrorMessage, GetCurrentUID, GenerateNewSSK/SEK (260 bytes)
using FnSetRootPath = std::int32_t(MPRO_CALL*)(const char* root);
using FnSetPasswordRequestFunc = std::int32_t(MPRO_CALL*)(void* callback);
using FnInitCrypto = Context(MPRO_CALL*)();
using FnCtx = std::int32_t(MPRO_CALL*)(Context ctx);  // DoneCrypto, KeysRenewal, IsDifferentKeys
using FnEncodeData = std::int32_t(MPRO_CALL*)(Context ctx, unsigned char* data, std::int32_t* length, const char* subjects);
using FnDecodeData = std::int32_t(MPRO_CALL*)(Context ctx, unsigned char* data, std::int32_t* length, char* subject);
using FnSignData = std::int32_t(MPRO_CALL*)(Context ctx, const unsigned char* data, std::int32_t length,
                                            unsigned char* signature, std::int32_t* signatureLength, const char* signer);
using FnVerifyData = std::int32_t(MPRO_CALL*)(Context ctx, const unsigned char* data, std::int32_t* length,
                                              const unsigned char* signature, std::int32_t signatureLength, char* signer);
using FnCtxText = std::int32_t(MPRO_CALL*)(Context ctx, const char* text);  // RemoveSignaturesFromFile, IncludePublicKey, IncludePublicEncodeKey
using FnGetCryptoParamName = std::int32_t(MPRO_CALL*)(Context ctx, std::int32_t index, char* buffer);
using FnGetCryptoParamValue = std::int32_t(MPRO_CALL*)(Context ctx, std::int32_t index, char* buffer);
using FnSetCryptoParamValue = std::int32_t(MPRO_CALL*)(Context ctx, std::int32_t index, const char* value);
using FnGetCertificateByUID = std::int32_t(MPRO_CALL*)(Context ctx, const char* subject, unsigned char* buffer, std::int32_t* length);
using FnGetCertInfo = std::int32_t(MPRO_CALL*)(Context ctx, const unsigned char* certificate, std::int32_t length, char* text);
using FnTwoTexts = std::int32_t(MPRO_CALL*)(Context ctx, const char* first, const char* second);  // MakeRequestForPSE, CertificateAnd…Match
using FnTwoTextsOut = std::int32_t(MPRO_CALL*)(Context ctx, const char* first, char* output);     // PSePrivateKeyBackup, GetCRLIssuerName
using FnCertAndPSeKeysMatch = std::int32_t(MPRO_CALL*)(Context ctx, const char* certificateFile, const char* keyDirectory, char* output);
using FnLoadCertificate = std::int32_t(MPRO_CALL*)(Context ctx, const unsigned char* certificate, std::int32_t length);
using FnGetCertInfoEx = std::int32_t(MPRO_CALL*)(Context ctx, const unsigned char* data, std::int32_t length, CertInfoRecord* record);
using FnFreeCertInfo = std::int32_t(MPRO_CALL*)(Context ctx, CertInfoRecord* record);
using FnGetReqInfo = std::int32_t(MPRO_CALL*)(Context ctx, const unsigned char* data, std::int32_t length, ReqInfoRecord* record);
using FnFreeReqInfo = std::int32_t(MPRO_CALL*)(Context ctx, ReqInfoRecord* record);

// X(name, type): the 41 required functions in resolution order.
#define MPRO_REQUIRED_FUNCTIONS(X)                        \
    X(GetMaxEncodeAddition, FnGetMax)                     \
    X(GetMaxSignatureLength, FnGetMax)                    \
    X(GetMaxUIDLength, FnGetMax)                          \
    X(GetMaxPasswordLength, FnGetMax)                     \
    X(GetMaxCryptoParamNameLength, FnGetMax)              \
    X(GetMaxCryptoParamValueLength, FnGetMax)             \
    X(GetMaxErrorStringLength, FnGetMax)                  \
    X(GetCryptoErrorString, FnGetCryptoErrorString)       \
    X(GetLastErrorMessage, FnCtxBuffer)                   \
    X(SetRootPath, FnSetRootPath)                         \
    X(GetCurrentUID, FnCtxBuffer)                         \
    X(GetMaxFileNameLength, FnGetMax)                     \
    X(SetPasswordRequestFunc, FnSetPasswordRequestFunc)   \
    X(InitCrypto, FnInitCrypto)                           \
    X(DoneCrypto, FnCtx)                                  \
    X(EncodeData, FnEncodeData)                           \
    X(DecodeData, FnDecodeData)                           \
    X(SignData, FnSignData)                               \
    X(VerifyData, FnVerifyData)                           \
    X(RemoveSignaturesFromFile, FnCtxText)                \
    X(GetCryptoParamNumber, FnGetMax)                     \
    X(GetCryptoParamName, FnGetCryptoParamName)           \
    X(GetCryptoParamValue, FnGetCryptoParamValue)         \
    X(SetCryptoParamValue, FnSetCryptoParamValue)         \
    X(GenerateNewSSK, FnCtxBuffer)                        \
    X(GenerateNewSEK, FnCtxBuffer)                        \
    X(IncludePublicKey, FnCtxText)                        \
    X(IncludePublicEncodeKey, FnCtxText)                  \
    X(IsDifferentKeys, FnCtx)                             \
    X(GetCertificateByUID, FnGetCertificateByUID)         \
    X(GetMaxCertificateLength, FnGetMax)                  \
    X(GetMaxCertInfoLength, FnGetMax)                     \
    X(GetCertInfo, FnGetCertInfo)                         \
    X(KeysRenewal, FnCtx)                                 \
    X(MakeRequestForPSE, FnTwoTexts)                      \
    X(CertificateAndPrivateKeyMatch, FnTwoTexts)          \
    X(CertificateAndPSePrivateKeyMatch, FnTwoTexts)       \
    X(CertificateAndPSePrivateKeysMatch, FnCertAndPSeKeysMatch) \
    X(CertificateAndRequestMatch, FnTwoTexts)             \
    X(PSePrivateKeyBackup, FnTwoTextsOut)                 \
    X(GetCRLIssuerName, FnTwoTextsOut)

// The six optional functions; VerifyDataIgnoreTime is looked up only for variants above 0.
#define MPRO_OPTIONAL_FUNCTIONS(X)                        \
    X(VerifyDataIgnoreTime, FnVerifyData)                 \
    X(LoadCertificate, FnLoadCertificate)                 \
    X(GetCertInfoEx, FnGetCertInfoEx)                     \
    X(FreeCertInfo, FnFreeCertInfo)                       \
    X(GetReqInfo, FnGetReqInfo)                           \
    X(FreeReqInfo, FnFreeReqInfo)

// Declarations for plug-ins that define the functions.
#define MPRO_DECLARE_FN(name, type) MPRO_EXPORT std::remove_pointer_t<mpro::type> name;

}  // namespace mpro

// On ELF a plug-in's file version is the text of its exported `VorlanFileVersion`
// (kFileVersionSymbol of the platform layer).
