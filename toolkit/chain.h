// Whether a certificate chains to the CA certificates of a trust store, with the
// store's CRL and time checks.
#pragma once

#include <openssl/x509_vfy.h>

#include <string>

namespace vtk {

// ChainProblem: OpenSSL's verify error (X509_V_OK when the chain holds) and a text that
// names the reason and the certificate it concerns.
struct ChainProblem {
    int error = X509_V_OK;
    std::string text;
};

// CheckChain: builds and verifies the chain of cert in store; untrusted (may be null)
// offers intermediate certificates.
ChainProblem CheckChain(X509_STORE* store, X509* cert, STACK_OF(X509)* untrusted);

}  // namespace vtk
