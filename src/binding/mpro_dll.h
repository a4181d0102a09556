// TMProDLL: the engine's only way to the Message-PRO toolkit plug-in. Loads the plug-in
// of its variant once per process, resolves its functions, and offers one operation
// per use of the toolkit, each run on the cached context of the caller's parameter vector.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "binding/toolkit_api.h"

namespace vorlan {

// ParamVector: the engine's current parameter values; entry i is toolkit parameter i.
using ParamVector = std::vector<std::string>;

// TCrypto_DLL: the two state flags shared by bindings and cache nodes.
class TCrypto_DLL {
public:
    virtual ~TCrypto_DLL() = default;
    bool Loaded = false;    // the plug-in module of the variant is loaded
    bool Complete = false;  // every required toolkit function was found
};

// The resolved toolkit functions, null when not found.
struct ToolkitFunctions {
#define VORLAN_FN_FIELD(name, type) mpro::type name = nullptr;
    MPRO_REQUIRED_FUNCTIONS(VORLAN_FN_FIELD)
    MPRO_OPTIONAL_FUNCTIONS(VORLAN_FN_FIELD)
#undef VORLAN_FN_FIELD
};

class TMProDLL : public TCrypto_DLL {
public:
    // TMProDLL: loads the variant's plug-in (0 "mplug.dll", 1 "mplugf.dll", 2 "mplug2.dll")
    // if no binding did yet, and resolves the functions. Never fails on a missing file.
    explicit TMProDLL(std::int32_t variant);
    // ~TMProDLL: closes OwnContext; the module and cached contexts stay (process-wide).
    ~TMProDLL() override;
    TMProDLL(const TMProDLL&) = delete;
    TMProDLL& operator=(const TMProDLL&) = delete;

    std::int32_t PluginVariant;
    std::string ExceptionText;      // appended to the text of code -2
    mpro::Context OwnContext = 0;   // opened by the first GetCryptoParamName
    ToolkitFunctions Fn;            // size queries and GetCryptoParamNumber are called straight through

    // ---- operations on the context of a parameter vector (no-context result in brackets) ----
    std::int32_t EncodeData(const ParamVector& v, unsigned char* data, std::int32_t* length, const char* subjects);  // -6
    std::int32_t DecodeData(const ParamVector& v, unsigned char* data, std::int32_t* length, char* buffer);           // -6
    std::int32_t SignData(const ParamVector& v, const unsigned char* data, std::int32_t length, unsigned char* signature,
                          std::int32_t* signatureLength, const char* signer);                                      // -6
    std::int32_t VerifyData(const ParamVector& v, const unsigned char* data, std::int32_t* length,
                            const unsigned char* signature, std::int32_t signatureLength, char* signer);            // -6
    // VerifyDataIgnoreTime: -1 when the toolkit has none (always for variant 0).
    std::int32_t VerifyDataIgnoreTime(const ParamVector& v, const unsigned char* data, std::int32_t* length,
                                      const unsigned char* signature, std::int32_t signatureLength, char* signer);
    // GenerateNewSEK / GenerateNewSSK: a toolkit 0 becomes -100.
    std::int32_t GenerateNewSEK(const ParamVector& v);
    std::int32_t GenerateNewSSK(const ParamVector& v);
    std::int32_t GetCurrentUID(const ParamVector& v, char* buffer);                                     // -6
    // GetLastErrorMessage: always 0.
    std::int32_t GetLastErrorMessage(const ParamVector& v, char* buffer);
    std::int32_t GetCertificateByUID(const ParamVector& v, const char* subject, unsigned char* buffer,
                                     std::int32_t* length);                                            // -6
    std::int32_t GetCertInfo(const ParamVector& v, const unsigned char* certificate, std::int32_t length, char* text);  // -6
    std::int32_t CertificateAndPSePrivateKeysMatch(const ParamVector& v, const char* certificateFile,
                                                   const char* keyDirectory, char* output);            // -6
    // CertificateAndRequestMatch: true when the toolkit answers non-zero; false without context.
    bool CertificateAndRequestMatch(const ParamVector& v, const char* certificateFile, const char* requestFile);
    // CertificateAndPrivateKeyMatch: true when the key file holds the certificate's private key
    // (read with the vector's password); false without context.
    bool CertificateAndPrivateKeyMatch(const ParamVector& v, const char* certificateFile, const char* keyFile);
    // CertificateAndPSePrivateKeyMatch: true when the key container of the directory holds the
    // certificate's private key; false without context.
    bool CertificateAndPSePrivateKeyMatch(const ParamVector& v, const char* certificateFile, const char* keyDirectory);
    std::int32_t PSePrivateKeyBackup(const ParamVector& v, const char* directory, char* output);       // -6
    // GetCRLIssuerName: the toolkit's result (a toolkit may refuse a list with an empty issuer
    // and a code of its own); -6 without context.
    std::int32_t GetCRLIssuerName(const ParamVector& v, const char* fileName, char* output);
    // IncludePublicKey: the toolkit's answer whether the CA certificate file may join the
    // installation's CA certificates (0: it may; the toolkit's code and message otherwise); -6
    // without context.
    std::int32_t IncludePublicKey(const ParamVector& v, const char* fileName);
    // IncludePublicEncodeKey: the toolkit's answer whether a correspondent's certificate file
    // is trusted (0: an installed CA issued it, valid now, not revoked; the toolkit's code and
    // message otherwise); -6 without context.
    std::int32_t IncludePublicEncodeKey(const ParamVector& v, const char* fileName);
    // LoadCertificate: adds a certificate to a cached context; without the function clears the cache; 0 default.
    std::int32_t LoadCertificate(const ParamVector& v, const unsigned char* certificate, std::int32_t length);
    // GetCertInfoText / GetReqInfoText: key=value text of a certificate or request; -1 without the functions.
    std::int32_t GetCertInfoText(const ParamVector& v, const unsigned char* data, std::int32_t length, std::string& text);
    std::int32_t GetReqInfoText(const ParamVector& v, const unsigned char* data, std::int32_t length, std::string& text);

    // ---- operations without a vector ----
    // GetCryptoParamName: toolkit name of a zero-based parameter, on OwnContext; -6 without one.
    std::int32_t GetCryptoParamName(std::int32_t index, char* buffer);
    // GetMaxCertBufferSize: GetMaxCertificateLength + GetMaxCertInfoLength, under ToolkitLock.
    std::int32_t GetMaxCertBufferSize();
    // GetMaxCertInfoLength: the toolkit's value, under ToolkitLock.
    std::int32_t GetMaxCertInfoLength();
    // GetErrorText: the binding's text of a code (-1…-6, -100), else the toolkit's.
    void GetErrorText(char* buffer, std::int32_t size, std::int32_t code);
    // MakeRequest: a request for the PSE on a context of its own (T1 own certificate, T2 PSE
    // directory, T3 CN, T4 C, T5 S, T6 L, T7 O, T8 OU, T9 E, T10 T, T11 request file, T12 UID field).
    // With the caller's vector, its signature algorithm and key size (entries 4 and 5, when not
    // empty) go to the request context too, so that new keys are of the installation's kind.
    std::int32_t MakeRequest(const char* t1, const char* t2, const char* t3, const char* t4, const char* t5,
                             const char* t6, const char* t7, const char* t8, const char* t9, const char* t10,
                             const char* t11, const char* t12, const ParamVector* v = nullptr);
    // ExchangeKeyFiles: puts the key set of source directory S in place of target T, keeping ".old" copies.
    bool ExchangeKeyFiles(const std::string& targetDir, const std::string& sourceDir,
                          const std::string& targetCertificate, const std::string& sourceCertificate);
    // ClearCash: closes every cached context of the process.
    void ClearCash();

private:
    std::mutex ownContextMutex_;  // guards the opening of OwnContext
};

// Load/unload of the binding module's process-wide state (locks, plug-in handles, cache);
// counted, so that repeated calls act once.
void BindingModuleLoad();
void BindingModuleUnload();

}  // namespace vorlan
