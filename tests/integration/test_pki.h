// A certification authority made at test time: keys, user certificates (valid, expired)
// and a CRL, in GOST R 34.10-2012 or RSA, written as PEM files.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

namespace vorlan::test {

enum class Algorithm { Gost, Rsa };

template <auto Free>
struct OpenSslDeleter {
    template <class T>
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;

class TestPKI {
public:
    // TestPKI: a new CA key and self-signed certificate ("Test CA <algorithm>").
    explicit TestPKI(Algorithm algorithm);
    // WriteCA: the CA certificate as PEM.
    void WriteCA(const std::string& file) const;
    // IssueUser: a key (PEM, unencrypted) and a certificate CN=cn with the serial, valid
    // from `fromDays` to `toDays` days relative to now.
    void IssueUser(const std::string& cn, long serial, const std::string& keyFile, const std::string& certFile,
                   long fromDays = -1, long toDays = 365) const;
    // WriteCRL: a CRL of the CA revoking the serials.
    void WriteCRL(const std::string& file, const std::vector<long>& revoked) const;
    // Available: false when the GOST engine is missing (GOST tests then skip).
    static bool Available(Algorithm algorithm);

private:
    KeyPtr NewKey() const;
    const EVP_MD* Digest() const;
    Algorithm algorithm_;
    KeyPtr caKey_;
    CertPtr caCert_;
};

}  // namespace vorlan::test
