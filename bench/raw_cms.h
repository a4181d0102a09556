// The reference the benchmarks compare with: OpenSSL CMS called directly, in-process, the way
// the toolkit uses it (envelopes for recipient certificates, detached signatures with the
// signer's certificate, verification against a store of CA certificates and CRLs).
#pragma once

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "pki/test_pki.h"

namespace bench {

using vorlan::test::CertPtr;
using vorlan::test::KeyPtr;
using vorlan::test::OpenSslDeleter;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, OpenSslDeleter<CMS_ContentInfo_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free>>;
using StorePtr = std::unique_ptr<X509_STORE, OpenSslDeleter<X509_STORE_free>>;

// Party: a certificate and its private key (null when only the certificate is known).
struct Party {
    CertPtr cert;
    KeyPtr key;
};

// ReadParty: a certificate file and, when keyFile is not empty, its key (PEM).
inline Party ReadParty(const std::string& certFile, const std::string& keyFile = "") {
    Party p;
    BioPtr c(BIO_new_file(certFile.c_str(), "rb"));
    if (c) p.cert.reset(PEM_read_bio_X509(c.get(), nullptr, nullptr, nullptr));
    if (!keyFile.empty()) {
        BioPtr k(BIO_new_file(keyFile.c_str(), "rb"));
        if (k) p.key.reset(PEM_read_bio_PrivateKey(k.get(), nullptr, nullptr, nullptr));
    }
    if (!p.cert || (!keyFile.empty() && !p.key)) throw std::runtime_error("cannot read " + certFile);
    return p;
}

// TrustOf: a store with a CA certificate and a CRL file, checking revocation as the toolkit does.
inline StorePtr TrustOf(const std::string& caFile, const std::string& crlFile) {
    StorePtr store(X509_STORE_new());
    BioPtr c(BIO_new_file(caFile.c_str(), "rb"));
    CertPtr ca(c ? PEM_read_bio_X509(c.get(), nullptr, nullptr, nullptr) : nullptr);
    BioPtr r(BIO_new_file(crlFile.c_str(), "rb"));
    std::unique_ptr<X509_CRL, OpenSslDeleter<X509_CRL_free>> crl(r ? PEM_read_bio_X509_CRL(r.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!store || !ca || !crl) throw std::runtime_error("cannot read the CA or the CRL");
    X509_STORE_add_cert(store.get(), ca.get());
    X509_STORE_add_crl(store.get(), crl.get());
    X509_STORE_set_flags(store.get(), X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
    X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
    return store;
}

inline std::vector<unsigned char> Der(CMS_ContentInfo* cms) {
    const int size = cms != nullptr ? i2d_CMS_ContentInfo(cms, nullptr) : -1;
    if (size <= 0) throw std::runtime_error("CMS cannot be encoded");
    std::vector<unsigned char> out(static_cast<std::size_t>(size));
    unsigned char* p = out.data();
    i2d_CMS_ContentInfo(cms, &p);
    return out;
}

// Encrypt: an envelope of data for one recipient (the sequence that works for GOST and RSA).
inline std::vector<unsigned char> Encrypt(const EVP_CIPHER* cipher, X509* recipient, const unsigned char* data,
                                          std::size_t size) {
    CmsPtr cms(CMS_encrypt(nullptr, nullptr, cipher, CMS_BINARY | CMS_PARTIAL));
    BioPtr in(BIO_new_mem_buf(data, static_cast<int>(size)));
    if (!cms || CMS_add1_recipient_cert(cms.get(), recipient, CMS_BINARY | CMS_KEY_PARAM) == nullptr ||
        CMS_final(cms.get(), in.get(), nullptr, CMS_BINARY) != 1)
        throw std::runtime_error("CMS encryption failed");
    return Der(cms.get());
}

// Decrypt: the plain text of an envelope, as CMS_decrypt hands it out (a memory BIO).
inline std::size_t Decrypt(const Party& me, const std::vector<unsigned char>& envelope) {
    const unsigned char* p = envelope.data();
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(envelope.size())));
    BioPtr out(BIO_new(BIO_s_mem()));
    if (!cms || CMS_decrypt(cms.get(), me.key.get(), me.cert.get(), nullptr, out.get(), CMS_BINARY | CMS_DEBUG_DECRYPT) != 1)
        throw std::runtime_error("CMS decryption failed");
    return static_cast<std::size_t>(BIO_pending(out.get()));
}

// Sign: a detached signature with the signer's certificate.
inline std::vector<unsigned char> Sign(const Party& me, const EVP_MD* md, const unsigned char* data, std::size_t size) {
    CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_BINARY | CMS_DETACHED | CMS_PARTIAL));
    BioPtr in(BIO_new_mem_buf(data, static_cast<int>(size)));
    if (!cms || CMS_add1_signer(cms.get(), me.cert.get(), me.key.get(), md, CMS_BINARY) == nullptr ||
        CMS_final(cms.get(), in.get(), nullptr, CMS_BINARY | CMS_DETACHED) != 1)
        throw std::runtime_error("CMS signing failed");
    return Der(cms.get());
}

// Verify: a detached signature checked, with the signer's chain in the store.
inline bool Verify(X509_STORE* store, const std::vector<unsigned char>& signature, const unsigned char* data,
                   std::size_t size) {
    const unsigned char* p = signature.data();
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(signature.size())));
    BioPtr in(BIO_new_mem_buf(data, static_cast<int>(size)));
    const bool ok = cms && CMS_verify(cms.get(), nullptr, store, in.get(), nullptr, CMS_BINARY) == 1;
    ERR_clear_error();
    return ok;
}

}  // namespace bench
