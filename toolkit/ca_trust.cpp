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

// VerifiedBy: whether the installed certificate ca vouches for cert: it issued cert (and may
// issue certificates) or carries cert's key, and its key verifies cert's signature.
bool VerifiedBy(X509* ca, X509* cert) {
    EVP_PKEY* key = X509_get0_pubkey(ca);
    if (key == nullptr) return false;
    const bool issued = X509_NAME_cmp(X509_get_issuer_name(cert), X509_get_subject_name(ca)) == 0 && X509_check_ca(ca) != 0;
    const bool reissued = SamePublicKey(key, X509_get0_pubkey(cert));
    return (issued || reissued) && X509_verify(cert, key) == 1;
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
    if (X509_check_ca(cert) != 1) {
        ERR_clear_error();
        throw Failure(kErrNotCaCertificate, "The certificate " + subject + " in " + path + " is not a CA certificate");
    }
    bool verified = false;
    for (const SharedCert& ca : InstalledCaCertificates(ctx, path))
        if ((verified = VerifiedBy(ca.get(), cert))) break;
    ERR_clear_error();  // the keys that did not verify it are no error of the caller's
    if (!verified)
        throw Failure(kErrCaUntrusted,
                      "The CA certificate " + subject + " in " + path + " is not verifiable by an installed CA certificate");
}

}  // namespace vtk
