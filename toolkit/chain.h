// Whether a certificate chains to the CA certificates of a trust store, with the
// store's CRL and time checks.
#pragma once

#include <openssl/x509_vfy.h>

#include <ctime>
#include <string>

namespace vtk {

// ChainProblem: OpenSSL's verify error (X509_V_OK when the chain holds) and a text that
// names the reason and the certificate it concerns.
struct ChainProblem {
    int error = X509_V_OK;
    std::string text;
};

// CheckChain: builds and verifies the chain of cert in store; untrusted (may be null)
// offers intermediate certificates. When the chain holds and validUntil is given, it is
// lowered to the earliest end of validity of the chain's certificates and of the CRLs of
// their issuers in the store (to now when one cannot be read).
ChainProblem CheckChain(X509_STORE* store, X509* cert, STACK_OF(X509)* untrusted, std::time_t* validUntil = nullptr);

}  // namespace vtk
