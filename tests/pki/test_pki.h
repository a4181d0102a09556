// TestPKI: a certification authority made in the test process with OpenSSL: its key and
// self-signed certificate, user keys and certificates, requests and CRLs, in GOST R
// 34.10-2012 (through the GOST engine) or RSA, written as PEM files.
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

// Subject: the fields of a test certificate's subject in certificate order; empty ones are left out.
struct Subject {
    std::string C = "RU", ST, L, O = "Test Bank", OU, CN, E, T;
    // Line: the subject as the toolkit writes it ("/C=RU/O=Test Bank/CN=USER01").
    std::string Line() const;
};

// Validity: start and end of a certificate in seconds relative to now.
struct Validity {
    long from, to;
    static constexpr Validity Days(long fromDays, long toDays) { return {fromDays * 86400, toDays * 86400}; }
};

class TestPKI {
public:
    // TestPKI: a new CA key and self-signed CA certificate (serial 1, valid ten years) for
    // the subject; by default "/C=RU/O=Test Bank/CN=Test CA GOST" (or RSA).
    explicit TestPKI(Algorithm algorithm);
    TestPKI(Algorithm algorithm, const Subject& ca, Validity validity);
    // Available: false when the GOST engine is missing (GOST tests then skip).
    static bool Available(Algorithm algorithm);

    Algorithm algorithm() const { return algorithm_; }
    // NewKey: a fresh key of the PKI's algorithm (RSA: 2048 bits; GOST: 256 bits, set A).
    KeyPtr NewKey() const;
    // Issue: a user certificate for key (basic constraints and key usage of an end user).
    CertPtr Issue(EVP_PKEY* key, const Subject& subject, long serial, Validity validity) const;
    // IssueForRequest: a certificate for the key of a PEM request, with the request's CN alone.
    CertPtr IssueForRequest(const std::string& requestFile, long serial, Validity validity) const;

    // WriteCA: the CA certificate as PEM; WriteCAKey: its key (PEM, unencrypted).
    void WriteCA(const std::string& file) const;
    void WriteCAKey(const std::string& file) const;
    // IssueUser: a key and a certificate "/C=RU/O=Test Bank/CN=cn" with the serial, valid
    // from `fromDays` to `toDays` days relative to now, as PEM files.
    void IssueUser(const std::string& cn, long serial, const std::string& keyFile, const std::string& certFile,
                   long fromDays = -1, long toDays = 365) const;
    // WriteRequest: a certificate request "/C=RU/CN=cn" of the key in keyFile (PEM).
    void WriteRequest(const std::string& keyFile, const std::string& cn, const std::string& requestFile) const;
    // WriteCRL: a CRL of the CA (issued an hour ago, next in 30 days) revoking the serials.
    void WriteCRL(const std::string& file, const std::vector<long>& revoked) const;

    // WritePem: a certificate or a key (unencrypted) as a PEM file; its directory is created.
    static void WritePem(const std::string& file, X509* cert);
    static void WritePem(const std::string& file, EVP_PKEY* key);
    // SerialText: a serial number in upper-case hexadecimal, as the toolkit writes it.
    static std::string SerialText(long serial);

private:
    Algorithm algorithm_;
    KeyPtr caKey_;
    CertPtr caCert_;
};

}  // namespace vorlan::test
