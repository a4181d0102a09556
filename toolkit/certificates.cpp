// The certificates a context knows: its own, loaded ones and the certificate
// directory; whether a CA certificate file may be installed; and the issuer of a CRL file
// that may be installed.
#include <openssl/pem.h>

#include <cstring>

#include "ca_trust.h"
#include "crl_trust.h"
#include "errors.h"
#include "file_io.h"
#include "file_system.h"
#include "size_limits.h"
#include "operations.h"
#include "recipients.h"
#include "subject.h"

namespace vtk {

namespace {

void PutHostText(char* buffer, std::size_t cap, const std::string& text) {
    if (text.size() + 1 > cap)
        Fail(kErrNoRoom, "Text of " + std::to_string(text.size()) + " bytes exceeds the buffer of " + std::to_string(cap));
    std::memcpy(buffer, text.c_str(), text.size() + 1);
}

}  // namespace

void PutText(char* buffer, std::size_t cap, const std::string& text) {
    if (buffer == nullptr) Fail(kErrArgument, "No output buffer");
    PutHostText(buffer, cap, os::HostText(text));
}

void PutName(char* buffer, std::size_t cap, const std::string& name) {
    if (buffer == nullptr) Fail(kErrArgument, "No output buffer");
    bool lossy = false;
    const std::string text = os::HostText(name, &lossy);
    if (lossy) throw Failure(kErrNameCodePage, "The name " + name + " cannot be written in the ANSI code page");
    PutHostText(buffer, cap, text);
}

void GetCurrentUID(Context& ctx, char* buffer) {
    if (buffer == nullptr) Fail(kErrArgument, "No output buffer");
    SharedCert cert = ctx.OwnCertificate();
    PutName(buffer, kMaxUIDLength, CertUid(cert.get(), ctx.UseSerial()));
}

void GetCertificateByUID(Context& ctx, const char* subject, unsigned char* buffer, std::int32_t* length) {
    if (subject == nullptr || buffer == nullptr || length == nullptr) Fail(kErrArgument, "GetCertificateByUID: null argument");
    SharedCert cert = ctx.FindCertificate(subject);
    if (!cert) throw Failure(kErrCertificateNotFound, std::string("No certificate for ") + subject);
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (PEM_write_bio_X509(bio.get(), cert.get()) != 1) Fail(kErrInternal, "Certificate cannot be encoded");
    std::string pem = BioText(bio.get());
    long long room = *length > 0 ? std::min<long long>(*length, kMaxCertificateLength) : kMaxCertificateLength;
    if (static_cast<long long>(pem.size()) > room) Fail(kErrNoRoom, "Certificate larger than the buffer");
    std::memcpy(buffer, pem.data(), pem.size());
    if (static_cast<long long>(pem.size()) < room) buffer[pem.size()] = 0;
    *length = static_cast<std::int32_t>(pem.size());
}

void LoadCertificate(Context& ctx, const unsigned char* data, std::int32_t length) {
    if (data == nullptr || length < 1) Fail(kErrArgument, "LoadCertificate: no data");
    SharedCert cert = ParseCertificate(std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length)));
    if (!cert) Fail(kErrCertificateFormat, "Data is not a certificate");
    ctx.AddCertificate(cert);
}

namespace {

// CertificateFile: the certificate of a file named by the caller, and its resolved path.
SharedCert CertificateFile(const char* file, std::string& path) {
    if (file == nullptr || *file == '\0') Fail(kErrArgument, "No file given");
    path = ResolvePath(ExpandRoot(file));
    if (!IsFile(path)) Fail(kErrFile, "Certificate file " + path + " not found");
    SharedCert cert = CachedCertificate(path);
    if (!cert) Fail(kErrCertificateFormat, path + " is not a certificate");
    return cert;
}

}  // namespace

void IncludeCertificateFile(Context& ctx, const char* file) {
    std::string path;
    SharedCert cert = CertificateFile(file, path);
    CheckTrusted(*ctx.Trust(true), cert, "Certificate of " + CertUid(cert.get(), ctx.UseSerial()) + " (" + path + ")");
    ctx.AddCertificate(cert);
}

void AcceptCACertificateFile(Context& ctx, const char* file) {
    std::string path;
    SharedCert cert = CertificateFile(file, path);
    CheckCaInstallable(ctx, cert.get(), path);
}

void GetCRLIssuerName(Context& ctx, const char* file, char* output) {
    if (file == nullptr || output == nullptr) Fail(kErrArgument, "GetCRLIssuerName: null argument");
    output[0] = '\0';
    std::string path = ResolvePath(ExpandRoot(file));
    SharedCrl crl = CachedCrl(path);
    if (!crl) return;  // not a CRL: empty issuer
    // Only a list that may be installed has an issuer for the engine.
    CheckCrlInstallable(ctx, crl.get(), path);
    PutName(output, kMaxParamValueLength, SubjectLine(X509_CRL_get_issuer(crl.get())));
}

}  // namespace vtk
