#include "pki_layout.h"

namespace tkt {

namespace {

using vorlan::test::TestPKI;
using vorlan::test::Validity;

Subject Named(const char* cn) {
    Subject subject;
    subject.CN = cn;
    return subject;
}

// Validity: from an hour ago for `days`; days < 0: from 30 days ago until yesterday.
Validity For(int days) { return days < 0 ? Validity::Days(-30, -1) : Validity{-3600, 86400L * days}; }

}  // namespace

PkiLayout::PkiLayout(const std::string& root, Algo algo)
    : root_(root), pki_(algo, Named("TEST CA"), Validity::Days(-1, 3650)) {
    pki_.WriteCA(CaCertFile());
    pki_.WriteCAKey(CaKeyFile());
    for (const char* user : {"USER01", "USER02", "USER03", "EXPIRED", "REVOKED"}) {
        const Key key = NewKey();
        Subject subject = Named(user);
        subject.OU = "IT";
        Issue(user, key.get(), subject, std::string(user) == "EXPIRED" ? -1 : 365);
        TestPKI::WritePem(KeyFile(user), key.get());
    }
    pki_.WriteCRL(CrlDir() + "/crl1.pem", {std::stol(Serial("REVOKED"), nullptr, 16)});
}

void PkiLayout::Record(const std::string& name, const vorlan::test::Subject& subject, long serial) {
    lines_[name] = subject.Line();
    serials_[name] = TestPKI::SerialText(serial);
}

std::string PkiLayout::Issue(const std::string& name, EVP_PKEY* key, const Subject& subject, int days,
                             const std::string& file) {
    const long serial = nextSerial_++;
    const std::string path = file.empty() ? CertFile(name) : file;
    TestPKI::WritePem(path, pki_.Issue(key, subject, serial, For(days)).get());
    Record(name, subject, serial);
    return path;
}

std::string PkiLayout::IssueForRequest(const std::string& requestFile, const std::string& certFile) {
    const long serial = nextSerial_++;
    const vorlan::test::CertPtr cert = pki_.IssueForRequest(requestFile, serial, For(365));
    TestPKI::WritePem(certFile, cert.get());
    // The request's CN names the certificate ("REQ-" + CN), as the toolkit tests look it up.
    char cn[256] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(cert.get()), NID_commonName, cn, sizeof cn);
    vorlan::test::Subject subject;
    subject.C.clear();
    subject.O.clear();
    subject.CN = cn;
    Record(std::string("REQ-") + cn, subject, serial);
    return certFile;
}

}  // namespace tkt
