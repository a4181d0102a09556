// Whether a CRL may be installed: signed by an installed CA certificate, and not older than
// the installed list of its issuer.
#pragma once

#include <openssl/x509.h>

#include <string>

#include "context.h"

namespace vtk {

// CheckCrlInstallable: throws kErrCrlUntrusted when no CA certificate of the context (CA
// directory, CA file) that names the list's issuer verifies its signature, and
// kErrCrlOutdated when a trusted installed list of the same issuer (CRL directory, CRL file;
// the file at path itself excepted) is newer: a higher CRL number when both carry one,
// otherwise a later this-update time.
void CheckCrlInstallable(Context& ctx, X509_CRL* crl, const std::string& path);

}  // namespace vtk
