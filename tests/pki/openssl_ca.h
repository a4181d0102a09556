// OpensslCA: the `openssl` command line acting as an outside certification authority, in a
// working directory of its own (database, serial file, configuration, command log). GOST
// keys and digests through the GOST engine. Subjects are "/K=V/..." in UTF-8, "\/" for a
// slash inside a value.
#pragma once

#include <string>

#include "pki/test_pki.h"

namespace vorlan::test {

class OpensslCA {
public:
    // OpensslCA: works in dir (native path, created when missing; its database is kept across
    // instances, so serial numbers stay unique); rsaBits: the size of new RSA keys.
    OpensslCA(std::string dir, Algorithm algorithm, int rsaBits = 2048);

    // MakeRoot: a new CA key (dir/ca.key) and a self-signed CA certificate for the subject,
    // valid for days, written to certFile (dir/ca.pem when empty).
    bool MakeRoot(const std::string& subject, int days, const std::string& certFile = "");
    // UseRoot: issue with a CA's existing certificate and key files instead.
    void UseRoot(std::string certFile, std::string keyFile);
    const std::string& CertFile() const { return caCert_; }
    const std::string& KeyFile() const { return caKey_; }

    // NewKey: a key file (PKCS#8 PEM) of the algorithm.
    bool NewKey(const std::string& keyFile) const;
    // Request: a certificate request file of the key for the subject.
    bool Request(const std::string& keyFile, const std::string& subject, const std::string& requestFile) const;
    // Issue: a new key and a certificate for exactly the subject, with `openssl ca` (serial
    // from the database, no extensions); start and end are openssl dates (YYYYMMDDHHMMSSZ),
    // empty for "now, one year".
    bool Issue(const std::string& subject, const std::string& certFile, const std::string& keyFile,
               const std::string& start = "", const std::string& end = "") const;
    // IssueRequest: a certificate for the key and subject of a request file, with
    // `openssl x509 -req`, the serial given and the extensions of an end user.
    bool IssueRequest(const std::string& requestFile, long serial, const std::string& certFile, int days = 365) const;
    // NewUser: a new key and a certificate for the subject through a request and IssueRequest.
    bool NewUser(const std::string& subject, long serial, const std::string& keyFile, const std::string& certFile) const;
    // SelfSigned: a new key and a self-signed certificate for the subject.
    bool SelfSigned(const std::string& subject, const std::string& certFile, const std::string& keyFile) const;
    // IssueCA: a new key and a CA certificate (basic constraints CA, key usage for certificates
    // and CRLs) for the subject, issued by the root: a subordinate, or the link certificate of
    // a CA that rolls over to a new key. Dates as Issue's.
    bool IssueCA(const std::string& subject, const std::string& certFile, const std::string& keyFile,
                 const std::string& start = "", const std::string& end = "") const;
    // Reissue: the root's key in a new self-signed certificate for the subject.
    bool Reissue(const std::string& subject, const std::string& certFile) const;
    // Revoke: the serial is listed in every CRL written from now on.
    void Revoke(long serial) const;
    // CRLOptions: the list's issue date in days from now, and whether it carries a CRL number.
    struct CRLOptions {
        long lastUpdateDays = 0;
        bool numbered = true;
    };
    // WriteCRL: a CRL of the root (`openssl ca -gencrl`), valid 30 days from its issue date.
    bool WriteCRL(const std::string& file, CRLOptions options) const;
    bool WriteCRL(const std::string& file) const { return WriteCRL(file, CRLOptions{}); }

    // Run: one openssl command (with the GOST engine for GOST), its output to the command log.
    bool Run(const std::string& command, const std::string& arguments) const;
    // Quote: one shell word, whatever the text holds.
    static std::string Quote(const std::string& text);

private:
    void WriteConfig(const std::string& file, bool numbered) const;
    std::string Digest() const;
    std::string dir_, caCert_, caKey_;
    Algorithm algorithm_;
    int rsaBits_;
};

}  // namespace vorlan::test
