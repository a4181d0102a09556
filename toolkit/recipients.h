// Which of the certificates a context knows a subject line (or serial) names, and
// whether mail may be encrypted to a certificate.
#pragma once

#include <string>
#include <vector>

#include "object_cache.h"
#include "trust_store.h"

namespace vtk {

// CertificateMatch: the certificates that carry one subject line, or one serial number
// when certificates are named by serial, and the file the engine keeps them under.
class CertificateMatch {
public:
    // uid: a subject line, or a serial in hexadecimal when bySerial; field: the subject
    // field whose value names the certificate's file (the UID field).
    CertificateMatch(const std::string& uid, bool bySerial, const std::string& field);
    // Carries: whether cert has that subject line (serials compare without regard to case).
    bool Carries(const X509* cert) const;
    // FiledUnder: the file UID.pem of the certificate directory, else UID.cer, when it
    // carries the uid; nullptr otherwise (as the engine, which never uses UID.cer beside UID.pem).
    SharedCert FiledUnder(const std::string& certDir) const;
    // Collect: appends the certificates of from that carry the uid.
    void Collect(const std::vector<SharedCert>& from, std::vector<SharedCert>& into) const;

private:
    std::string uid_;
    bool bySerial_;
    std::string fileUid_;  // the UID the engine files the certificate under; "" when no plain file name
};

// InUse: of several certificates of one subject, the one valid now with the latest start
// of validity (none valid now: the latest start); nullptr for none.
SharedCert InUse(const std::vector<SharedCert>& certs);

// CheckTrusted: throws a Failure that begins with `who` and names the reason when cert is
// expired, not yet valid, revoked by an installed CRL or not issued by a CA of the
// installation (trust: the store of the context's CA and CRL directories, with time checks).
void CheckTrusted(TrustStore& trust, const SharedCert& cert, const std::string& who);

}  // namespace vtk
