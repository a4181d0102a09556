// The GOST engine is reached only through the deprecated ENGINE interface.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "test_pki.h"

#include <openssl/engine.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
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

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test PKI: ") + what);
}

bool LoadGost() {
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] {
        ENGINE* e = ENGINE_by_id("gost");
        if (e == nullptr) return;
        loaded = ENGINE_init(e) == 1 && ENGINE_set_default(e, ENGINE_METHOD_ALL) == 1;
        ENGINE_free(e);
    });
    return loaded;
}

BioPtr OpenFile(const std::string& file) {
    BioPtr bio(BIO_new_file(file.c_str(), "wb"));
    Check(bio != nullptr, "cannot create a file");
    return bio;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    Check(ext && X509_add_ext(cert, ext.get(), -1) == 1, "extension");
}

CertPtr MakeCert(const std::string& cn, long serial, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                 const EVP_MD* md, long fromDays, long toDays, bool ca) {
    CertPtr cert(X509_new());
    Check(cert != nullptr, "X509_new");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), toDays * 86400);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("RU"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Test Bank"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    Check(X509_set_pubkey(cert.get(), key) == 1, "public key");
    AddExtension(cert.get(), signer, NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE");
    AddExtension(cert.get(), signer, NID_key_usage,
                 ca ? "critical,keyCertSign,cRLSign" : "digitalSignature,nonRepudiation,keyEncipherment,keyAgreement");
    Check(X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, md) > 0, "certificate signature");
    return cert;
}

}  // namespace

bool TestPKI::Available(Algorithm algorithm) { return algorithm == Algorithm::Rsa || LoadGost(); }

TestPKI::TestPKI(Algorithm algorithm) : algorithm_(algorithm) {
    Check(Available(algorithm), "GOST engine missing");
    caKey_ = NewKey();
    caCert_ = MakeCert(algorithm == Algorithm::Gost ? "Test CA GOST" : "Test CA RSA", 1, caKey_.get(), nullptr,
                       nullptr, Digest(), -30, 3650, true);
}

KeyPtr TestPKI::NewKey() const {
    if (algorithm_ == Algorithm::Rsa) {
        KeyPtr key(EVP_RSA_gen(2048));
        Check(key != nullptr, "RSA key");
        return key;
    }
    CtxPtr ctx(EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, nullptr));
    Check(ctx && EVP_PKEY_keygen_init(ctx.get()) == 1 && EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") > 0,
          "GOST key parameters");
    EVP_PKEY* raw = nullptr;
    Check(EVP_PKEY_keygen(ctx.get(), &raw) == 1, "GOST key");
    return KeyPtr(raw);
}

const EVP_MD* TestPKI::Digest() const {
    return algorithm_ == Algorithm::Rsa ? EVP_sha256() : EVP_get_digestbyname("md_gost12_256");
}

void TestPKI::WriteCA(const std::string& file) const {
    Check(PEM_write_bio_X509(OpenFile(file).get(), caCert_.get()) == 1, "write CA");
}

void TestPKI::IssueUser(const std::string& cn, long serial, const std::string& keyFile, const std::string& certFile,
                        long fromDays, long toDays) const {
    KeyPtr key = NewKey();
    CertPtr cert = MakeCert(cn, serial, key.get(), caCert_.get(), caKey_.get(), Digest(), fromDays, toDays, false);
    Check(PEM_write_bio_PrivateKey(OpenFile(keyFile).get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "write key");
    Check(PEM_write_bio_X509(OpenFile(certFile).get(), cert.get()) == 1, "write certificate");
}

void TestPKI::WriteCRL(const std::string& file, const std::vector<long>& revoked) const {
    CrlPtr crl(X509_CRL_new());
    Check(crl != nullptr, "X509_CRL_new");
    X509_CRL_set_version(crl.get(), 1);
    X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(caCert_.get()));
    TimePtr last(X509_gmtime_adj(nullptr, -3600)), next(X509_gmtime_adj(nullptr, 30L * 86400));
    X509_CRL_set1_lastUpdate(crl.get(), last.get());
    X509_CRL_set1_nextUpdate(crl.get(), next.get());
    for (long serial : revoked) {
        RevokedPtr entry(X509_REVOKED_new());
        std::unique_ptr<ASN1_INTEGER, OpenSslDeleter<ASN1_INTEGER_free>> number(ASN1_INTEGER_new());
        ASN1_INTEGER_set(number.get(), serial);
        X509_REVOKED_set_serialNumber(entry.get(), number.get());
        X509_REVOKED_set_revocationDate(entry.get(), last.get());
        Check(X509_CRL_add0_revoked(crl.get(), entry.get()) == 1, "revoked entry");
        entry.release();  // owned by the CRL now
    }
    X509_CRL_sort(crl.get());
    Check(X509_CRL_sign(crl.get(), caKey_.get(), Digest()) > 0, "CRL signature");
    Check(PEM_write_bio_X509_CRL(OpenFile(file).get(), crl.get()) == 1, "write CRL");
}

}  // namespace vorlan::test
