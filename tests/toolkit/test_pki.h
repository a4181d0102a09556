// A test PKI made at test time with OpenSSL: a CA, users USER01..USER03, an expired
// user, a revoked user with a CRL, in GOST or RSA, laid out as the toolkit expects.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <map>
#include <memory>
#include <string>

namespace tkt {

enum class Algo { Gost, Rsa };

// LoadGostEngine: makes GOST available in the test process; false when it cannot load.
bool LoadGostEngine();

struct KeyDeleter {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertDeleter {
    void operator()(X509* x) const { X509_free(x); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using Cert = std::unique_ptr<X509, CertDeleter>;

// Subject: the fields of a test certificate's subject, in this order.
struct Subject {
    std::string C = "RU", ST, L, O = "TESTBANK", OU, CN, E, T;
};

class TestPki {
public:
    // Builds the PKI under root: ca/ (CA certificate), certs/ (users), keys/, crl/.
    TestPki(const std::string& root, Algo algo);

    const std::string& Root() const { return root_; }
    std::string CertDir() const { return root_ + "/certs"; }
    std::string CaDir() const { return root_ + "/ca"; }
    std::string CrlDir() const { return root_ + "/crl"; }
    // CaCertFile / CaKeyFile: the CA's certificate and its key, for the openssl command line.
    std::string CaCertFile() const { return CaDir() + "/ca1.pem"; }
    std::string CaKeyFile() const { return root_ + "/ca.key"; }
    std::string CertFile(const std::string& user) const { return CertDir() + "/" + user + ".pem"; }
    std::string KeyFile(const std::string& user) const { return root_ + "/keys/" + user + ".key"; }
    // SubjectLine: the subject line of a user as the toolkit writes it.
    std::string SubjectLine(const std::string& user) const { return lines_.at(user); }
    // Serial: a user's serial number in upper-case hex.
    std::string Serial(const std::string& user) const { return serials_.at(user); }

    // Issue: a new user certificate for a key (days < 0: already expired), filed under
    // certs/<name>.pem unless file is given.
    std::string Issue(const std::string& name, EVP_PKEY* key, const Subject& subject, int days = 365,
                      const std::string& file = "");
    // IssueForRequest: a certificate for the key of a PEM request file.
    std::string IssueForRequest(const std::string& requestFile, const std::string& certFile);
    // NewKey: a fresh key of the PKI's algorithm.
    Key NewKey() const;

private:
    std::string root_;
    Algo algo_;
    Key caKey_;
    Cert caCert_;
    long nextSerial_ = 0x1001;
    std::map<std::string, std::string> lines_, serials_;
};

}  // namespace tkt
