// The plug-in's exported functions: each finds its context, runs one operation and
// turns any failure into a toolkit code with the reason kept for GetLastErrorMessage.
// Texts cross here: the host's arguments become UTF-8 (In), outputs go back through PutText.
#include <openssl/err.h>

#include <cstring>
#include <new>
#include <utility>

#include "algorithms.h"
#include "crypto_shutdown.h"
#include "errors.h"
#include "file_system.h"
#include "size_limits.h"
#include "operations.h"
#include "params.h"
#include "toolkit_api.h"

using vtk::Context;
using std::int32_t;

namespace mpro {
MPRO_REQUIRED_FUNCTIONS(MPRO_DECLARE_FN)
MPRO_OPTIONAL_FUNCTIONS(MPRO_DECLARE_FN)
}  // namespace mpro

// Above 1.0.0.0: the plug-in is reentrant (on Windows the version resource says so).
#if !defined(_WIN32)
extern "C" __attribute__((visibility("default"))) const char* const VorlanFileVersion = "1.1.0.0";
#endif

namespace {

// In: a text argument of the host as the toolkit's UTF-8 for the length of the call; null stays null.
class In {
public:
    explicit In(const char* text) : null_(text == nullptr), utf8_(null_ ? std::string() : vtk::os::Utf8Text(text)) {}
    operator const char*() const { return null_ ? nullptr : utf8_.c_str(); }

private:
    bool null_;
    std::string utf8_;
};

// PutMessage: a message as the host writes it, cut to the room of an error text.
void PutMessage(char* buffer, const std::string& utf8) {
    std::string t = vtk::os::HostText(utf8);
    t.resize(std::min<std::size_t>(t.size(), vtk::kMaxErrorStringLength - 1));
    std::memcpy(buffer, t.c_str(), t.size() + 1);
}

int32_t Report(int32_t code, const std::string& text) {
    vtk::SetLastMessage(text);
    if (!vtk::CryptoShutDown()) ERR_clear_error();
    return code;
}

// Guarded: f() under the failure convention; 0 on success.
template <typename F>
int32_t Guarded(F&& f) {
    try {
        f();
        return vtk::kOk;
    } catch (const vtk::Failure& e) {
        return Report(e.code(), e.what());
    } catch (const std::bad_alloc&) {
        return Report(vtk::kErrInternal, "Out of memory");
    } catch (const std::exception& e) {
        return Report(vtk::kErrInternal, e.what());
    } catch (...) {
        return Report(vtk::kErrInternal, "Unknown failure");
    }
}

// Run: Guarded with OpenSSL's error queue cleared first (refused once OpenSSL is cleaned up).
template <typename F>
int32_t Run(F&& f) {
    if (vtk::CryptoShutDown()) {
        vtk::SetLastMessage("The process is exiting: OpenSSL has been cleaned up");
        return vtk::kErrInternal;
    }
    ERR_clear_error();
    return Guarded(std::forward<F>(f));
}

// OnContext: f(context) for a known context id.
template <typename F>
int32_t OnContext(int32_t id, F&& f) {
    return Run([&] { f(*vtk::contexts::Get(id)); });
}

// Match: the answer of a comparison, 0 also on failure (non-zero means "match").
template <typename F>
int32_t Match(int32_t id, F&& f) {
    bool answer = false;
    int32_t code = OnContext(id, [&](Context& c) { answer = f(c); });
    return code == 0 && answer ? 1 : 0;
}

}  // namespace

MPRO_EXPORT int32_t MPRO_CALL GetMaxEncodeAddition() { return vtk::kMaxEncodeAddition; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxSignatureLength() { return vtk::kMaxSignatureLength; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxUIDLength() { return vtk::kMaxUIDLength; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxPasswordLength() { return vtk::kMaxPasswordLength; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxCryptoParamNameLength() { return vtk::kMaxParamNameLength; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxCryptoParamValueLength() { return vtk::kMaxParamValueLength; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxErrorStringLength() { return vtk::kMaxErrorStringLength; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxFileNameLength() { return vtk::kMaxFileNameLength; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxCertificateLength() { return vtk::kMaxCertificateLength; }
MPRO_EXPORT int32_t MPRO_CALL GetMaxCertInfoLength() { return vtk::kMaxCertInfoLength; }
MPRO_EXPORT int32_t MPRO_CALL GetCryptoParamNumber() { return vtk::ParamCount(); }

MPRO_EXPORT int32_t MPRO_CALL GetCryptoErrorString(int32_t code, char* buffer) {
    if (buffer == nullptr) return vtk::kErrArgument;
    const char* text = vtk::ErrorText(code);
    PutMessage(buffer, text != nullptr ? text : "Unknown toolkit error code " + std::to_string(code));
    return text != nullptr ? vtk::kOk : vtk::kErrArgument;
}

MPRO_EXPORT int32_t MPRO_CALL GetLastErrorMessage(mpro::Context, char* buffer) {
    if (buffer == nullptr) return vtk::kErrArgument;
    PutMessage(buffer, vtk::LastMessage());
    return vtk::kOk;
}

MPRO_EXPORT int32_t MPRO_CALL SetRootPath(const char* root) {
    return Run([&] { vtk::SetRoot(root != nullptr ? vtk::os::Utf8Text(root) : ""); });
}

MPRO_EXPORT int32_t MPRO_CALL SetPasswordRequestFunc(void*) { return vtk::kOk; }  // passwords come from parameter 7

MPRO_EXPORT mpro::Context MPRO_CALL InitCrypto() {
    int32_t id = 0;
    Run([&] {
        vtk::EnsureCryptoReady();
        id = vtk::contexts::Open();
    });
    return id;
}

MPRO_EXPORT int32_t MPRO_CALL DoneCrypto(mpro::Context ctx) {
    return vtk::contexts::Close(ctx) ? vtk::kOk : Report(vtk::kErrContext, "Unknown toolkit context");
}

MPRO_EXPORT int32_t MPRO_CALL KeysRenewal(mpro::Context ctx) {
    return OnContext(ctx, [](Context& c) { c.Renew(); });
}

MPRO_EXPORT int32_t MPRO_CALL EncodeData(mpro::Context ctx, unsigned char* data, int32_t* length, const char* subjects) {
    return OnContext(ctx, [&](Context& c) { vtk::EncodeData(c, data, length, In(subjects)); });
}

MPRO_EXPORT int32_t MPRO_CALL DecodeData(mpro::Context ctx, unsigned char* data, int32_t* length, char* subject) {
    return OnContext(ctx, [&](Context& c) { vtk::DecodeData(c, data, length, subject); });
}

MPRO_EXPORT int32_t MPRO_CALL SignData(mpro::Context ctx, const unsigned char* data, int32_t length, unsigned char* signature,
                                       int32_t* signatureLength, const char* signer) {
    return OnContext(ctx, [&](Context& c) { vtk::SignData(c, data, length, signature, signatureLength, In(signer)); });
}

MPRO_EXPORT int32_t MPRO_CALL VerifyData(mpro::Context ctx, const unsigned char* data, int32_t* length,
                                         const unsigned char* signature, int32_t signatureLength, char* signer) {
    return OnContext(ctx, [&](Context& c) { vtk::VerifyData(c, data, length, signature, signatureLength, signer, true); });
}

MPRO_EXPORT int32_t MPRO_CALL VerifyDataIgnoreTime(mpro::Context ctx, const unsigned char* data, int32_t* length,
                                                   const unsigned char* signature, int32_t signatureLength, char* signer) {
    return OnContext(ctx, [&](Context& c) { vtk::VerifyData(c, data, length, signature, signatureLength, signer, false); });
}

MPRO_EXPORT int32_t MPRO_CALL RemoveSignaturesFromFile(mpro::Context ctx, const char* file) {
    return OnContext(ctx, [&](Context& c) { vtk::RemoveSignaturesFromFile(c, In(file)); });
}

MPRO_EXPORT int32_t MPRO_CALL GetCryptoParamName(mpro::Context ctx, int32_t index, char* buffer) {
    return OnContext(ctx, [&](Context&) {
        if (index < 0 || index >= vtk::ParamCount()) vtk::Fail(vtk::kErrParamIndex, "Parameter number out of range");
        vtk::PutText(buffer, vtk::kMaxParamNameLength, vtk::ParamName(index));
    });
}

MPRO_EXPORT int32_t MPRO_CALL GetCryptoParamValue(mpro::Context ctx, int32_t index, char* buffer) {
    return OnContext(ctx, [&](Context& c) {
        if (index < 0 || index >= vtk::ParamCount()) vtk::Fail(vtk::kErrParamIndex, "Parameter number out of range");
        const std::string value = c.Param(index);  // the password as the host's bytes, the rest as UTF-8
        vtk::PutText(buffer, vtk::kMaxParamValueLength, index == vtk::kPassword ? vtk::os::Utf8Text(value) : value);
    });
}

// Setting a value does not touch OpenSSL: no error queue to clear (one call per parameter
// of every context opened). The password stays the bytes the host gave: keys written with it
// open with the same bytes.
MPRO_EXPORT int32_t MPRO_CALL SetCryptoParamValue(mpro::Context ctx, int32_t index, const char* value) {
    return Guarded([&] {
        const std::string text = value == nullptr ? "" : index == vtk::kPassword ? value : vtk::os::Utf8Text(value);
        vtk::contexts::Get(ctx)->SetParam(index, text);
    });
}

MPRO_EXPORT int32_t MPRO_CALL GenerateNewSSK(mpro::Context ctx, char* buffer) {
    return OnContext(ctx, [&](Context& c) { vtk::GenerateKeyAndRequest(c, buffer); });
}

MPRO_EXPORT int32_t MPRO_CALL GenerateNewSEK(mpro::Context ctx, char* buffer) {
    return OnContext(ctx, [&](Context& c) { vtk::GenerateKeyAndRequest(c, buffer); });
}

// IncludePublicKey: the toolkit's word on a CA certificate file that is to join the
// installation's CA certificates (0: it may); the library files it only then.
MPRO_EXPORT int32_t MPRO_CALL IncludePublicKey(mpro::Context ctx, const char* file) {
    return OnContext(ctx, [&](Context& c) { vtk::AcceptCACertificateFile(c, In(file)); });
}

// IncludePublicEncodeKey: the toolkit's word on a correspondent's certificate file (0: an
// installed CA issued it, it is valid now and not revoked); a trusted one becomes known to
// the context.
MPRO_EXPORT int32_t MPRO_CALL IncludePublicEncodeKey(mpro::Context ctx, const char* file) {
    return OnContext(ctx, [&](Context& c) { vtk::IncludeCertificateFile(c, In(file)); });
}

// One key pair signs and decrypts: the keys are never different.
MPRO_EXPORT int32_t MPRO_CALL IsDifferentKeys(mpro::Context) { return 0; }

MPRO_EXPORT int32_t MPRO_CALL GetCertificateByUID(mpro::Context ctx, const char* subject, unsigned char* buffer, int32_t* length) {
    return OnContext(ctx, [&](Context& c) { vtk::GetCertificateByUID(c, In(subject), buffer, length); });
}

MPRO_EXPORT int32_t MPRO_CALL GetCertInfo(mpro::Context ctx, const unsigned char* certificate, int32_t length, char* text) {
    return OnContext(ctx, [&](Context& c) { vtk::GetCertInfo(c, certificate, length, text); });
}

MPRO_EXPORT int32_t MPRO_CALL GetCurrentUID(mpro::Context ctx, char* buffer) {
    return OnContext(ctx, [&](Context& c) { vtk::GetCurrentUID(c, buffer); });
}

MPRO_EXPORT int32_t MPRO_CALL MakeRequestForPSE(mpro::Context ctx, const char* dir, const char* requestFile) {
    return OnContext(ctx, [&](Context& c) { vtk::MakeRequestForPSE(c, In(dir), In(requestFile)); });
}

MPRO_EXPORT int32_t MPRO_CALL CertificateAndPrivateKeyMatch(mpro::Context ctx, const char* certFile, const char* keyFile) {
    return Match(ctx, [&](Context& c) { return vtk::CertificateAndPrivateKeyMatch(c, In(certFile), In(keyFile)); });
}

MPRO_EXPORT int32_t MPRO_CALL CertificateAndPSePrivateKeyMatch(mpro::Context ctx, const char* certFile, const char* dir) {
    return Match(ctx, [&](Context& c) { return vtk::CertificateAndPSePrivateKeyMatch(c, In(certFile), In(dir)); });
}

MPRO_EXPORT int32_t MPRO_CALL CertificateAndPSePrivateKeysMatch(mpro::Context ctx, const char* certFile, const char* dir, char* output) {
    return Match(ctx, [&](Context& c) { return vtk::CertificateAndPSePrivateKeysMatch(c, In(certFile), In(dir), output); });
}

MPRO_EXPORT int32_t MPRO_CALL CertificateAndRequestMatch(mpro::Context ctx, const char* certFile, const char* requestFile) {
    return Match(ctx, [&](Context& c) { return vtk::CertificateAndRequestMatch(c, In(certFile), In(requestFile)); });
}

MPRO_EXPORT int32_t MPRO_CALL PSePrivateKeyBackup(mpro::Context ctx, const char* dir, char* output) {
    return OnContext(ctx, [&](Context& c) { vtk::PSePrivateKeyBackup(c, In(dir), output); });
}

MPRO_EXPORT int32_t MPRO_CALL GetCRLIssuerName(mpro::Context ctx, const char* file, char* output) {
    return OnContext(ctx, [&](Context& c) { vtk::GetCRLIssuerName(c, In(file), output); });
}

MPRO_EXPORT int32_t MPRO_CALL LoadCertificate(mpro::Context ctx, const unsigned char* certificate, int32_t length) {
    return OnContext(ctx, [&](Context& c) { vtk::LoadCertificate(c, certificate, length); });
}

MPRO_EXPORT int32_t MPRO_CALL GetCertInfoEx(mpro::Context ctx, const unsigned char* data, int32_t length, mpro::CertInfoRecord* record) {
    return OnContext(ctx, [&](Context& c) { vtk::GetCertInfoEx(c, data, length, record); });
}

MPRO_EXPORT int32_t MPRO_CALL FreeCertInfo(mpro::Context ctx, mpro::CertInfoRecord* record) {
    return OnContext(ctx, [&](Context& c) { vtk::FreeCertInfo(c, record); });
}

MPRO_EXPORT int32_t MPRO_CALL GetReqInfo(mpro::Context ctx, const unsigned char* data, int32_t length, mpro::ReqInfoRecord* record) {
    return OnContext(ctx, [&](Context& c) { vtk::GetReqInfo(c, data, length, record); });
}

MPRO_EXPORT int32_t MPRO_CALL FreeReqInfo(mpro::Context ctx, mpro::ReqInfoRecord* record) {
    return OnContext(ctx, [&](Context& c) { vtk::FreeReqInfo(c, record); });
}
