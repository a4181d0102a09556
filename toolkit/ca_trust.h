// Whether a certificate may join the installation's CA certificates (the trust anchors of
// every chain check): a CA certificate that the key of an installed one verifies, not expired
// and not revoked.
#pragma once

#include <openssl/x509.h>

#include <string>
#include <vector>

#include "context.h"

namespace vtk {

// InstalledCaCertificates: the certificates of the context's CA directory and CA file; a file
// staged beside a store change (name ending in ".new") and the file `except` are left out.
std::vector<SharedCert> InstalledCaCertificates(const Context& ctx, const std::string& except = "");

// CheckCaInstallable: throws kErrNotCaCertificate when cert (read from path) is no CA
// certificate (basic constraints CA, key usage allowing certificate signing when present), and
// kErrCaUntrusted when no installed CA certificate's key verifies its signature, that of one
// whose subject is cert's issuer (a subordinate CA, a rolled-over CA's link certificate) or of
// one with cert's own public key (a re-issued root); then kErrCaExpired when its validity
// has ended and kErrCaRevoked when an installed CRL of its issuer, signed by that verifying
// certificate's key, lists it.
void CheckCaInstallable(Context& ctx, X509* cert, const std::string& path);

}  // namespace vtk
