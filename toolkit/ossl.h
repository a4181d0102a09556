// OpenSSL objects owned by std::unique_ptr, one alias per type, and small helpers
// for memory BIOs.
#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>

namespace vtk {

template <auto Fn>
struct Deleter {
    template <typename T>
    void operator()(T* p) const noexcept { Fn(p); }
};

using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using X509CrlPtr = std::unique_ptr<X509_CRL, Deleter<X509_CRL_free>>;
using X509ReqPtr = std::unique_ptr<X509_REQ, Deleter<X509_REQ_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, Deleter<X509_NAME_free>>;
using X509StorePtr = std::unique_ptr<X509_STORE, Deleter<X509_STORE_free>>;
using PKeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using PKeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
inline void FreeOpenSslBuffer(void* p) { OPENSSL_free(p); }
// OpenSslBytes / OpenSslText: buffers that OpenSSL allocated (i2d_…, BN_bn2hex, …).
using OpenSslBytes = std::unique_ptr<unsigned char, Deleter<FreeOpenSslBuffer>>;
using OpenSslText = std::unique_ptr<char, Deleter<FreeOpenSslBuffer>>;
inline void FreeX509Stack(STACK_OF(X509)* s) { sk_X509_pop_free(s, X509_free); }
inline void FreeExtStack(STACK_OF(X509_EXTENSION)* s) { sk_X509_EXTENSION_pop_free(s, X509_EXTENSION_free); }
inline void FreeX509StackOnly(STACK_OF(X509)* s) { sk_X509_free(s); }
// X509ViewStackPtr: a stack whose certificates are owned elsewhere.
using X509ViewStackPtr = std::unique_ptr<STACK_OF(X509), Deleter<FreeX509StackOnly>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), Deleter<FreeX509Stack>>;
using ExtStackPtr = std::unique_ptr<STACK_OF(X509_EXTENSION), Deleter<FreeExtStack>>;

// UpRef: a new owning reference to a shared certificate or key.
inline X509Ptr UpRef(X509* x) {
    X509_up_ref(x);
    return X509Ptr(x);
}
inline PKeyPtr UpRef(EVP_PKEY* k) {
    EVP_PKEY_up_ref(k);
    return PKeyPtr(k);
}

// MemBio: a read-only BIO over caller bytes (not copied).
inline BioPtr MemBio(const void* data, std::size_t size) {
    return BioPtr(BIO_new_mem_buf(data, static_cast<int>(size)));
}

// BioText: everything written to a memory BIO so far.
inline std::string BioText(BIO* bio) {
    char* p = nullptr;
    long n = BIO_get_mem_data(bio, &p);
    return n > 0 ? std::string(p, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace vtk
