#include "recipients.h"

#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cctype>
#include <string_view>

#include "errors.h"
#include "file_io.h"
#include "subject.h"
#include "subject_line.h"

namespace vtk {

namespace {

// PlainFileName: a UID that names a file inside the directory and nothing else.
bool PlainFileName(const std::string& uid) {
    if (uid.empty() || uid.find("..") != std::string::npos) return false;
    return std::none_of(uid.begin(), uid.end(), [](unsigned char c) {
        return c < 0x20 || c == 0x7F || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
    });
}

// ValidNow: whether now lies in the certificate's validity.
bool ValidNow(const X509* cert) {
    return X509_cmp_current_time(X509_get0_notBefore(cert)) < 0 && X509_cmp_current_time(X509_get0_notAfter(cert)) > 0;
}

// StartsLater: whether a's validity starts after b's.
bool StartsLater(const X509* a, const X509* b) {
    int days = 0, seconds = 0;
    return ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(b), X509_get0_notBefore(a)) == 1 && (days > 0 || seconds > 0);
}

Code RecipientCode(int error) {
    switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED: return kErrRecipientExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID: return kErrRecipientNotYetValid;
    case X509_V_ERR_CERT_REVOKED: return kErrRecipientRevoked;
    default: return kErrRecipientUntrusted;
    }
}

}  // namespace

CertificateMatch::CertificateMatch(const std::string& uid, bool bySerial, const std::string& field)
    : uid_(uid), bySerial_(bySerial) {
    std::string fileUid = bySerial ? uid : mpro::SubjectComponent(uid, "/" + field + "=");
    if (PlainFileName(fileUid)) fileUid_ = std::move(fileUid);
}

bool CertificateMatch::Carries(const X509* cert) const {
    if (cert == nullptr) return false;
    const std::string id = CertUid(cert, bySerial_);
    return bySerial_ ? EqualNoCase(id, uid_) : id == uid_;
}

SharedCert CertificateMatch::FiledUnder(const std::string& certDir) const {
    if (certDir.empty() || fileUid_.empty()) return nullptr;
    for (const char* extension : {".pem", ".cer"}) {
        bool present = false;
        SharedCert cert = CachedCertificate(JoinPath(certDir, fileUid_ + extension), &present);
        if (!present) continue;
        return Carries(cert.get()) ? cert : nullptr;
    }
    return nullptr;
}

void CertificateMatch::Collect(const std::vector<SharedCert>& from, std::vector<SharedCert>& into) const {
    for (const auto& cert : from)
        if (Carries(cert.get())) into.push_back(cert);
}

SharedCert InUse(const std::vector<SharedCert>& certs) {
    SharedCert best;
    for (const auto& cert : certs) {
        if (!best) {
            best = cert;
            continue;
        }
        const bool valid = ValidNow(cert.get()), bestValid = ValidNow(best.get());
        if (valid != bestValid ? valid : StartsLater(cert.get(), best.get())) best = cert;
    }
    return best;
}

void CheckTrusted(TrustStore& trust, const SharedCert& cert, const std::string& who) {
    const ChainProblem problem = trust.Check(cert);
    if (problem.error != X509_V_OK) throw Failure(RecipientCode(problem.error), who + ": " + problem.text);
}

}  // namespace vtk
