#include "crl_trust.h"

#include <openssl/err.h>

#include <vector>

#include "algorithms.h"
#include "ca_trust.h"
#include "errors.h"
#include "file_io.h"
#include "params.h"
#include "subject.h"

namespace vtk {

namespace {

using AsnIntegerPtr = std::unique_ptr<ASN1_INTEGER, Deleter<ASN1_INTEGER_free>>;

// MayIssueCrls: a key usage extension, when present, allows CRL signing.
bool MayIssueCrls(X509* ca) {
    return (X509_get_extension_flags(ca) & EXFLAG_KUSAGE) == 0 || (X509_get_key_usage(ca) & KU_CRL_SIGN) != 0;
}

bool SignedByInstalledCa(Context& ctx, X509_CRL* crl) {
    const X509_NAME* issuer = X509_CRL_get_issuer(crl);
    bool verified = false;
    for (const SharedCert& ca : InstalledCaCertificates(ctx)) {
        if (X509_NAME_cmp(X509_get_subject_name(ca.get()), issuer) != 0 || !MayIssueCrls(ca.get())) continue;
        EVP_PKEY* key = X509_get0_pubkey(ca.get());
        if (key != nullptr && X509_CRL_verify(crl, key) == 1) {
            verified = true;
            break;
        }
    }
    ERR_clear_error();  // the keys that did not verify it are no error of the caller's
    return verified;
}

AsnIntegerPtr CrlNumber(X509_CRL* crl) {
    return AsnIntegerPtr(static_cast<ASN1_INTEGER*>(X509_CRL_get_ext_d2i(crl, NID_crl_number, nullptr, nullptr)));
}

// Older: whether list a was issued before list b of the same issuer.
bool Older(X509_CRL* a, X509_CRL* b) {
    const AsnIntegerPtr na = CrlNumber(a), nb = CrlNumber(b);
    ERR_clear_error();  // a list without a number leaves a note in the queue
    if (na && nb) return ASN1_INTEGER_cmp(na.get(), nb.get()) < 0;
    return ASN1_TIME_compare(X509_CRL_get0_lastUpdate(a), X509_CRL_get0_lastUpdate(b)) < 0;
}

}  // namespace

void CheckCrlInstallable(Context& ctx, X509_CRL* crl, const std::string& path) {
    const std::string issuer = SubjectLine(X509_CRL_get_issuer(crl));
    RequireGostEngineFor(OBJ_nid2obj(X509_CRL_get_signature_nid(crl)), "The GOST signature of the CRL " + path);
    if (!SignedByInstalledCa(ctx, crl))
        throw Failure(kErrCrlUntrusted, "The CRL " + path + " of " + issuer + " is not signed by an installed CA certificate");
    for (const auto& file : InstalledFiles(ctx.CrlDir(), ctx.PathParam(kCrlFile))) {
        if (SameFile(file, path)) continue;
        SharedCrl installed = CachedCrl(file);
        if (!installed || X509_NAME_cmp(X509_CRL_get_issuer(installed.get()), X509_CRL_get_issuer(crl)) != 0) continue;
        if (Older(crl, installed.get()) && SignedByInstalledCa(ctx, installed.get()))
            throw Failure(kErrCrlOutdated, "The CRL " + path + " of " + issuer + " is older than the installed " + file);
    }
    ERR_clear_error();
}

}  // namespace vtk
