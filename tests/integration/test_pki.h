// A certification authority made at test time: keys, user certificates (valid, expired)
// and a CRL, in GOST R 34.10-2012 or RSA, written as PEM files. Header-only, so that the
// benchmarks build their installation with it too.
#pragma once

#include <openssl/engine.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#if defined(VORLAN_GOST_BUILT_IN)
extern "C" {
#include <gost-engine.h>  // linked in statically: registers itself by id
}
#endif

#include <memory>
#include <mutex>
#include <stdexcept>
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
    // WriteCA: the CA certificate as PEM; WriteCAKey: its key (PEM, unencrypted).
    void WriteCA(const std::string& file) const;
    void WriteCAKey(const std::string& file) const;
    // IssueUser: a key (PEM, unencrypted) and a certificate CN=cn with the serial, valid
    // from `fromDays` to `toDays` days relative to now.
    void IssueUser(const std::string& cn, long serial, const std::string& keyFile, const std::string& certFile,
                   long fromDays = -1, long toDays = 365) const;
    // WriteRequest: a certificate request of the key in keyFile (PEM) for CN=cn.
    void WriteRequest(const std::string& keyFile, const std::string& cn, const std::string& requestFile) const;
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


namespace pki_detail {

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using CrlPtr = std::unique_ptr<X509_CRL, OpenSslDeleter<X509_CRL_free>>;
using RevokedPtr = std::unique_ptr<X509_REVOKED, OpenSslDeleter<X509_REVOKED_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, OpenSslDeleter<ASN1_TIME_free>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>>;
using ReqPtr = std::unique_ptr<X509_REQ, OpenSslDeleter<X509_REQ_free>>;

inline void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test PKI: ") + what);
}

// The GOST engine is reached only through the deprecated ENGINE interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
inline bool LoadGost() {
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] {
#if defined(VORLAN_GOST_BUILT_IN)
        OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);  // as the toolkit does
        ENGINE_load_gost();
#endif
        ENGINE* e = ENGINE_by_id("gost");
        if (e == nullptr) return;
        loaded = ENGINE_init(e) == 1 && ENGINE_set_default(e, ENGINE_METHOD_ALL) == 1;
        ENGINE_free(e);
    });
    return loaded;
}
#pragma GCC diagnostic pop

inline BioPtr OpenFile(const std::string& file) {
    BioPtr bio(BIO_new_file(file.c_str(), "wb"));
    Check(bio != nullptr, "cannot create a file");
    return bio;
}

inline void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    Check(ext && X509_add_ext(cert, ext.get(), -1) == 1, "extension");
}

inline CertPtr MakeCert(const std::string& cn, long serial, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
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

}  // namespace pki_detail

inline bool TestPKI::Available(Algorithm algorithm) { return pki_detail::LoadGost() || algorithm == Algorithm::Rsa; }

inline TestPKI::TestPKI(Algorithm algorithm) : algorithm_(algorithm) {
    pki_detail::Check(Available(algorithm), "GOST engine missing");
    caKey_ = NewKey();
    caCert_ = pki_detail::MakeCert(algorithm == Algorithm::Gost ? "Test CA GOST" : "Test CA RSA", 1, caKey_.get(), nullptr,
                       nullptr, Digest(), -30, 3650, true);
}

inline KeyPtr TestPKI::NewKey() const {
    if (algorithm_ == Algorithm::Rsa) {
        KeyPtr key(EVP_RSA_gen(2048));
        pki_detail::Check(key != nullptr, "RSA key");
        return key;
    }
    pki_detail::CtxPtr ctx(EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, nullptr));
    pki_detail::Check(ctx && EVP_PKEY_keygen_init(ctx.get()) == 1 && EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") > 0,
          "GOST key parameters");
    EVP_PKEY* raw = nullptr;
    pki_detail::Check(EVP_PKEY_keygen(ctx.get(), &raw) == 1, "GOST key");
    return KeyPtr(raw);
}

inline const EVP_MD* TestPKI::Digest() const {
    return algorithm_ == Algorithm::Rsa ? EVP_sha256() : EVP_get_digestbyname("md_gost12_256");
}

inline void TestPKI::WriteCA(const std::string& file) const {
    pki_detail::Check(PEM_write_bio_X509(pki_detail::OpenFile(file).get(), caCert_.get()) == 1, "write CA");
}

inline void TestPKI::WriteCAKey(const std::string& file) const {
    pki_detail::Check(PEM_write_bio_PrivateKey(pki_detail::OpenFile(file).get(), caKey_.get(), nullptr, nullptr, 0, nullptr,
                                               nullptr) == 1,
                      "write CA key");
}

inline void TestPKI::IssueUser(const std::string& cn, long serial, const std::string& keyFile, const std::string& certFile,
                        long fromDays, long toDays) const {
    KeyPtr key = NewKey();
    CertPtr cert = pki_detail::MakeCert(cn, serial, key.get(), caCert_.get(), caKey_.get(), Digest(), fromDays, toDays, false);
    pki_detail::Check(PEM_write_bio_PrivateKey(pki_detail::OpenFile(keyFile).get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "write key");
    pki_detail::Check(PEM_write_bio_X509(pki_detail::OpenFile(certFile).get(), cert.get()) == 1, "write certificate");
}

inline void TestPKI::WriteRequest(const std::string& keyFile, const std::string& cn, const std::string& requestFile) const {
    pki_detail::BioPtr in(BIO_new_file(keyFile.c_str(), "rb"));
    pki_detail::Check(in != nullptr, "cannot open a key file");
    KeyPtr key(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    pki_detail::ReqPtr req(X509_REQ_new());
    pki_detail::Check(key && req, "request key");
    X509_NAME* name = X509_REQ_get_subject_name(req.get());
    X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("RU"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    pki_detail::Check(X509_REQ_set_pubkey(req.get(), key.get()) == 1 && X509_REQ_sign(req.get(), key.get(), Digest()) > 0,
                      "request signature");
    pki_detail::Check(PEM_write_bio_X509_REQ(pki_detail::OpenFile(requestFile).get(), req.get()) == 1, "write request");
}

inline void TestPKI::WriteCRL(const std::string& file, const std::vector<long>& revoked) const {
    pki_detail::CrlPtr crl(X509_CRL_new());
    pki_detail::Check(crl != nullptr, "X509_CRL_new");
    X509_CRL_set_version(crl.get(), 1);
    X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(caCert_.get()));
    pki_detail::TimePtr last(X509_gmtime_adj(nullptr, -3600)), next(X509_gmtime_adj(nullptr, 30L * 86400));
    X509_CRL_set1_lastUpdate(crl.get(), last.get());
    X509_CRL_set1_nextUpdate(crl.get(), next.get());
    for (long serial : revoked) {
        pki_detail::RevokedPtr entry(X509_REVOKED_new());
        std::unique_ptr<ASN1_INTEGER, OpenSslDeleter<ASN1_INTEGER_free>> number(ASN1_INTEGER_new());
        ASN1_INTEGER_set(number.get(), serial);
        X509_REVOKED_set_serialNumber(entry.get(), number.get());
        X509_REVOKED_set_revocationDate(entry.get(), last.get());
        pki_detail::Check(X509_CRL_add0_revoked(crl.get(), entry.get()) == 1, "revoked entry");
        entry.release();  // owned by the CRL now
    }
    X509_CRL_sort(crl.get());
    pki_detail::Check(X509_CRL_sign(crl.get(), caKey_.get(), Digest()) > 0, "CRL signature");
    pki_detail::Check(PEM_write_bio_X509_CRL(pki_detail::OpenFile(file).get(), crl.get()) == 1, "write CRL");
}

}  // namespace vorlan::test
