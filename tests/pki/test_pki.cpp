// The test PKI with OpenSSL calls; the GOST engine is reached through the deprecated ENGINE
// interface (its warnings are silenced for this file by the build).
#include "pki/test_pki.h"

#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>
#if defined(VORLAN_GOST_BUILT_IN)
extern "C" {
#include <gost-engine.h>  // linked in statically: registers itself by id
}
#endif

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace vorlan::test {

namespace {

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using CrlPtr = std::unique_ptr<X509_CRL, OpenSslDeleter<X509_CRL_free>>;
using RevokedPtr = std::unique_ptr<X509_REVOKED, OpenSslDeleter<X509_REVOKED_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, OpenSslDeleter<ASN1_TIME_free>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>>;
using ReqPtr = std::unique_ptr<X509_REQ, OpenSslDeleter<X509_REQ_free>>;
using NamePtr = std::unique_ptr<X509_NAME, OpenSslDeleter<X509_NAME_free>>;
using IntegerPtr = std::unique_ptr<ASN1_INTEGER, OpenSslDeleter<ASN1_INTEGER_free>>;

void Check(bool ok, const char* what) {
    if (ok) return;
    char reason[256] = {};
    ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
    throw std::runtime_error(std::string("test PKI: ") + what + ": " + reason);
}

bool LoadGost() {
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] {
#if defined(VORLAN_GOST_BUILT_IN)
        OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);  // as the toolkit does
        ENGINE_load_gost();
#endif
        ENGINE* e = ENGINE_by_id("gost");
        if (e == nullptr) {
            ERR_clear_error();
            return;
        }
        loaded = ENGINE_init(e) == 1 && ENGINE_set_default(e, ENGINE_METHOD_ALL) == 1;
        ENGINE_free(e);
        ERR_clear_error();
    });
    return loaded;
}

BioPtr CreateFile(const std::string& file) {
    const std::filesystem::path parent = std::filesystem::path(file).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    BioPtr bio(BIO_new_file(file.c_str(), "wb"));
    Check(bio != nullptr, ("cannot create " + file).c_str());
    return bio;
}

const EVP_MD* Digest(Algorithm algorithm) {
    return algorithm == Algorithm::Rsa ? EVP_sha256() : EVP_get_digestbyname("md_gost12_256");
}

// The subject fields in certificate order: OpenSSL's field name, the subject-line tag.
struct SubjectField {
    const char* field;
    const char* tag;
    std::string Subject::*value;
};
constexpr SubjectField kSubjectFields[] = {
    {"C", "C", &Subject::C},   {"ST", "ST", &Subject::ST}, {"L", "L", &Subject::L},
    {"O", "O", &Subject::O},   {"OU", "OU", &Subject::OU}, {"CN", "CN", &Subject::CN},
    {"emailAddress", "E", &Subject::E}, {"title", "T", &Subject::T},
};

// Values go in as UTF8String without the length limits of the string table: tests need
// fields longer than a CA would allow.
NamePtr MakeName(const Subject& subject) {
    NamePtr name(X509_NAME_new());
    Check(name != nullptr, "name");
    for (const SubjectField& f : kSubjectFields) {
        const std::string& v = subject.*f.value;
        if (v.empty()) continue;
        Check(X509_NAME_add_entry_by_txt(name.get(), f.field, V_ASN1_UTF8STRING, reinterpret_cast<const unsigned char*>(v.data()),
                                         static_cast<int>(v.size()), -1, 0) == 1,
              "name entry");
    }
    return name;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    const ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    Check(ext && X509_add_ext(cert, ext.get(), -1) == 1, "extension");
}

// MakeCert: a certificate signed by issuer (itself when null) with the extensions of a CA or a user.
CertPtr MakeCert(const Subject& subject, long serial, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, const EVP_MD* md,
                 Validity validity, bool ca) {
    CertPtr cert(X509_new());
    Check(cert != nullptr, "X509_new");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), validity.from);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), validity.to);
    Check(X509_set_subject_name(cert.get(), MakeName(subject).get()) == 1, "subject");
    X509* signer = issuer != nullptr ? issuer : cert.get();
    Check(X509_set_issuer_name(cert.get(), X509_get_subject_name(signer)) == 1, "issuer");
    Check(X509_set_pubkey(cert.get(), key) == 1, "public key");
    AddExtension(cert.get(), signer, NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE");
    AddExtension(cert.get(), signer, NID_key_usage,
                 ca ? "critical,keyCertSign,cRLSign" : "digitalSignature,nonRepudiation,keyEncipherment,keyAgreement");
    Check(X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, md) > 0, "certificate signature");
    return cert;
}

KeyPtr ReadKey(const std::string& file) {
    const BioPtr in(BIO_new_file(file.c_str(), "rb"));
    Check(in != nullptr, ("cannot open " + file).c_str());
    KeyPtr key(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    Check(key != nullptr, "read key");
    return key;
}

Subject DefaultCA(Algorithm algorithm) {
    Subject ca;
    ca.CN = algorithm == Algorithm::Gost ? "Test CA GOST" : "Test CA RSA";
    return ca;
}

}  // namespace

std::string Subject::Line() const {
    std::string line;
    for (const SubjectField& f : kSubjectFields)
        if (!(this->*f.value).empty()) line += std::string("/") + f.tag + "=" + this->*f.value;
    return line;
}

bool TestPKI::Available(Algorithm algorithm) { return LoadGost() || algorithm == Algorithm::Rsa; }

TestPKI::TestPKI(Algorithm algorithm) : TestPKI(algorithm, DefaultCA(algorithm), Validity::Days(-30, 3650)) {}

TestPKI::TestPKI(Algorithm algorithm, const Subject& ca, Validity validity) : algorithm_(algorithm) {
    Check(Available(algorithm), "GOST engine missing");
    caKey_ = NewKey();
    caCert_ = MakeCert(ca, 1, caKey_.get(), nullptr, nullptr, Digest(algorithm), validity, true);
}

KeyPtr TestPKI::NewKey() const {
    const CtxPtr ctx(algorithm_ == Algorithm::Gost ? EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, nullptr)
                                                   : EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
    Check(ctx && EVP_PKEY_keygen_init(ctx.get()) == 1, "key generation");
    if (algorithm_ == Algorithm::Gost)
        Check(EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") > 0, "GOST key parameters");
    else
        Check(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), 2048) > 0, "RSA key size");
    EVP_PKEY* raw = nullptr;
    Check(EVP_PKEY_keygen(ctx.get(), &raw) == 1, "key");
    return KeyPtr(raw);
}

CertPtr TestPKI::Issue(EVP_PKEY* key, const Subject& subject, long serial, Validity validity) const {
    return MakeCert(subject, serial, key, caCert_.get(), caKey_.get(), Digest(algorithm_), validity, false);
}

CertPtr TestPKI::IssueForRequest(const std::string& requestFile, long serial, Validity validity) const {
    ReqPtr request;
    {
        const BioPtr in(BIO_new_file(requestFile.c_str(), "rb"));
        Check(in != nullptr, ("cannot open " + requestFile).c_str());
        request.reset(PEM_read_bio_X509_REQ(in.get(), nullptr, nullptr, nullptr));
    }
    Check(request != nullptr, "read request");
    Subject subject;
    subject.C.clear();
    subject.O.clear();
    X509_NAME* name = X509_REQ_get_subject_name(request.get());
    const int cn = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    subject.CN = cn >= 0 ? reinterpret_cast<const char*>(ASN1_STRING_get0_data(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, cn))))
                         : "NONAME";
    return Issue(X509_REQ_get0_pubkey(request.get()), subject, serial, validity);
}

void TestPKI::WriteCA(const std::string& file) const { WritePem(file, caCert_.get()); }

void TestPKI::WriteCAKey(const std::string& file) const { WritePem(file, caKey_.get()); }

void TestPKI::IssueUser(const std::string& cn, long serial, const std::string& keyFile, const std::string& certFile,
                        long fromDays, long toDays) const {
    const KeyPtr key = NewKey();
    Subject subject;
    subject.CN = cn;
    const CertPtr cert = Issue(key.get(), subject, serial, Validity::Days(fromDays, toDays));
    WritePem(keyFile, key.get());
    WritePem(certFile, cert.get());
}

void TestPKI::WriteRequest(const std::string& keyFile, const std::string& cn, const std::string& requestFile) const {
    const KeyPtr key = ReadKey(keyFile);
    const ReqPtr request(X509_REQ_new());
    Check(request != nullptr, "X509_REQ_new");
    Subject subject;
    subject.O.clear();
    subject.CN = cn;
    Check(X509_REQ_set_subject_name(request.get(), MakeName(subject).get()) == 1, "request subject");
    Check(X509_REQ_set_pubkey(request.get(), key.get()) == 1 && X509_REQ_sign(request.get(), key.get(), Digest(algorithm_)) > 0,
          "request signature");
    Check(PEM_write_bio_X509_REQ(CreateFile(requestFile).get(), request.get()) == 1, "write request");
}

void TestPKI::WriteCRL(const std::string& file, const std::vector<long>& revoked) const {
    const CrlPtr crl(X509_CRL_new());
    Check(crl != nullptr, "X509_CRL_new");
    X509_CRL_set_version(crl.get(), 1);
    X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(caCert_.get()));
    const TimePtr last(X509_gmtime_adj(nullptr, -3600)), next(X509_gmtime_adj(nullptr, 30L * 86400));
    X509_CRL_set1_lastUpdate(crl.get(), last.get());
    X509_CRL_set1_nextUpdate(crl.get(), next.get());
    for (long serial : revoked) {
        RevokedPtr entry(X509_REVOKED_new());
        const IntegerPtr number(ASN1_INTEGER_new());
        Check(entry && number && ASN1_INTEGER_set(number.get(), serial) == 1, "revoked serial");
        X509_REVOKED_set_serialNumber(entry.get(), number.get());
        X509_REVOKED_set_revocationDate(entry.get(), last.get());
        Check(X509_CRL_add0_revoked(crl.get(), entry.get()) == 1, "revoked entry");
        entry.release();  // owned by the CRL now
    }
    X509_CRL_sort(crl.get());
    Check(X509_CRL_sign(crl.get(), caKey_.get(), Digest(algorithm_)) > 0, "CRL signature");
    Check(PEM_write_bio_X509_CRL(CreateFile(file).get(), crl.get()) == 1, "write CRL");
}

void TestPKI::WritePem(const std::string& file, X509* cert) {
    Check(PEM_write_bio_X509(CreateFile(file).get(), cert) == 1, "write certificate");
}

void TestPKI::WritePem(const std::string& file, EVP_PKEY* key) {
    Check(PEM_write_bio_PrivateKey(CreateFile(file).get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "write key");
}

std::string TestPKI::SerialText(long serial) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "%lX", static_cast<unsigned long>(serial));
    return hex;
}

}  // namespace vorlan::test
