#include "ca_trust.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include "algorithms.h"
#include "errors.h"
#include "file_io.h"
#include "keys.h"
#include "params.h"
#include "subject.h"

namespace vtk {

namespace {

// Refuse: throws a Failure of code; what OpenSSL noted on the way is no error of the caller's.
[[noreturn]] void Refuse(Code code, const std::string& reason) {
    ERR_clear_error();
    throw Failure(code, reason);
}

// VerifiedBy: whether the installed certificate ca vouches for cert: it issued cert (and may
// issue certificates) or carries cert's key, and its key verifies cert's signature.
bool VerifiedBy(X509* ca, X509* cert) {
    EVP_PKEY* key = X509_get0_pubkey(ca);
    if (key == nullptr) return false;
    const bool issued = X509_NAME_cmp(X509_get_issuer_name(cert), X509_get_subject_name(ca)) == 0 && X509_check_ca(ca) != 0;
    const bool reissued = SamePublicKey(key, X509_get0_pubkey(cert));
    return (issued || reissued) && X509_verify(cert, key) == 1;
}

// RevokedBy: whether an installed CRL of cert's issuer that ca's key verifies lists cert.
bool RevokedBy(const Context& ctx, X509* ca, X509* cert) {
    for (const auto& file : InstalledFiles(ctx.CrlDir(), ctx.PathParam(kCrlFile))) {
        SharedCrl crl = CachedCrl(file);
        X509_REVOKED* entry = nullptr;
        if (crl && X509_NAME_cmp(X509_CRL_get_issuer(crl.get()), X509_get_issuer_name(cert)) == 0 &&
            X509_CRL_verify(crl.get(), X509_get0_pubkey(ca)) == 1 && X509_CRL_get0_by_cert(crl.get(), &entry, cert) == 1)
            return true;
    }
    return false;
}

}  // namespace

std::vector<SharedCert> InstalledCaCertificates(const Context& ctx, const std::string& except) {
    std::vector<SharedCert> certificates;
    for (const auto& file : InstalledFiles(ctx.CaDir(), ctx.PathParam(kCaCertificateFile))) {
        if (IsStaged(file) || SameFile(file, except)) continue;
        if (SharedCert ca = CachedCertificate(file)) certificates.push_back(std::move(ca));
    }
    return certificates;
}

void CheckCaInstallable(Context& ctx, X509* cert, const std::string& path) {
    const std::string subject = SubjectLine(X509_get_subject_name(cert));
    RequireGostEngineFor(OBJ_nid2obj(X509_get_signature_nid(cert)), "The GOST signature of the CA certificate " + path);
    // 1: basic constraints say CA (and a key usage, when present, allows certificate signing).
    if (X509_check_ca(cert) != 1)
        Refuse(kErrNotCaCertificate, "The certificate " + subject + " in " + path + " is not a CA certificate");
    SharedCert verifier;
    for (const SharedCert& ca : InstalledCaCertificates(ctx, path))
        if (VerifiedBy(ca.get(), cert)) {
            verifier = ca;
            break;
        }
    if (!verifier)
        Refuse(kErrCaUntrusted, "The CA certificate " + subject + " in " + path + " is not verifiable by an installed CA certificate");
    // A trust anchor that has expired or that its issuer revoked would vouch for what it may not.
    if (X509_cmp_current_time(X509_get0_notAfter(cert)) <= 0)
        Refuse(kErrCaExpired, "The CA certificate " + subject + " in " + path + " has expired");
    if (RevokedBy(ctx, verifier.get(), cert))
        Refuse(kErrCaRevoked, "The CA certificate " + subject + " in " + path + " is revoked by an installed CRL");
    ERR_clear_error();  // the keys that did not verify it are no error of the caller's
}

}  // namespace vtk
