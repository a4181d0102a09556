// PkiLayout: a test PKI laid out as the toolkit's parameters expect it: ca/ (the CA
// certificate), certs/ (users USER01..USER03, an expired and a revoked one), keys/, crl/
// (a CRL revoking REVOKED), in GOST or RSA.
#pragma once

#include <map>
#include <string>

#include "pki/test_pki.h"

namespace tkt {

using Algo = vorlan::test::Algorithm;
using Key = vorlan::test::KeyPtr;

// Subject: a test certificate's subject, of the bank "TESTBANK" unless set otherwise.
struct Subject : vorlan::test::Subject {
    Subject() { O = "TESTBANK"; }
};

// LoadGostEngine: makes GOST available in the test process; false when it cannot load.
inline bool LoadGostEngine() { return vorlan::test::TestPKI::Available(Algo::Gost); }

class PkiLayout {
public:
    // Builds the PKI under root: ca/ (CA certificate), certs/ (users), keys/, crl/.
    PkiLayout(const std::string& root, Algo algo);

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
    Key NewKey() const { return pki_.NewKey(); }

private:
    void Record(const std::string& name, const vorlan::test::Subject& subject, long serial);
    std::string root_;
    vorlan::test::TestPKI pki_;
    long nextSerial_ = 0x1001;
    std::map<std::string, std::string> lines_, serials_;
};

}  // namespace tkt
