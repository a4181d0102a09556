#include "keys.h"

#include <openssl/obj_mac.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>

#include "errors.h"
#include "file_io.h"

namespace vtk {

PKeyPtr GenerateKey(KeyKind kind, int rsaBits) {
    PKeyCtxPtr ctx;
    if (kind == KeyKind::Gost2012_256) {
        RequireGostEngine("A new GOST key");
        ctx.reset(EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, nullptr));
        if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") <= 0)
            Fail(kErrKeyGeneration, "GOST key generation cannot start");
    } else {
        ctx.reset(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
        if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), std::max(rsaBits, kMinRsaBits)) <= 0)
            Fail(kErrKeyGeneration, "RSA key generation cannot start");
    }
    EVP_PKEY* raw = nullptr;
    if (EVP_PKEY_keygen(ctx.get(), &raw) != 1) Fail(kErrKeyGeneration, "Key generation failed");
    return PKeyPtr(raw);
}

std::string PrivateKeyPem(EVP_PKEY* key, const std::string& password) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    std::string pw = password;
    int ok = pw.empty() ? PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
                        : PEM_write_bio_PKCS8PrivateKey(bio.get(), key, EVP_aes_256_cbc(), pw.data(),
                                                        static_cast<int>(pw.size()), nullptr, nullptr);
    OPENSSL_cleanse(pw.data(), pw.size());
    if (ok != 1) Fail(kErrKeyGeneration, "Private key cannot be encoded");
    return BioText(bio.get());
}

std::string PublicKeyPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (PEM_write_bio_PUBKEY(bio.get(), key) != 1) Fail(kErrInternal, "Public key cannot be encoded");
    return BioText(bio.get());
}

std::string PublicKeyDer(EVP_PKEY* key) {
    unsigned char* raw = nullptr;
    int n = i2d_PUBKEY(key, &raw);
    const OpenSslBytes out(raw);
    if (n <= 0) Fail(kErrInternal, "Public key cannot be encoded");
    return std::string(reinterpret_cast<char*>(out.get()), static_cast<std::size_t>(n));
}

PKeyPtr PublicKeyFromDer(const std::string& der) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    return PKeyPtr(d2i_PUBKEY(nullptr, &p, static_cast<long>(der.size())));
}

bool SamePublicKey(EVP_PKEY* a, EVP_PKEY* b) {
    if (a == nullptr || b == nullptr) return false;
    // Comparing the encoded public parts works alike for provider and engine keys.
    return PublicKeyDer(a) == PublicKeyDer(b);
}

SharedKey FindKeyForCertificate(const std::string& dir, X509* cert, const std::string& password) {
    EVP_PKEY* wanted = cert != nullptr ? X509_get0_pubkey(cert) : nullptr;
    if (wanted == nullptr) return nullptr;
    for (auto& key : KeysNewestFirst(dir, password))
        if (SamePublicKey(wanted, key.get())) return key;
    return nullptr;
}

std::vector<SharedKey> KeysNewestFirst(const std::string& dir, const std::string& password) {
    std::vector<SharedKey> keys;
    if (!IsDirectory(dir)) return keys;
    auto files = ListFiles(dir);
    for (auto file = files.rbegin(); file != files.rend(); ++file) {
        try {
            if (SharedKey key = CachedPrivateKey(*file, password)) keys.push_back(std::move(key));
        } catch (const Failure&) {
            // not a key, or one of another password
        }
    }
    return keys;
}

std::string KeyAlgorithmName(EVP_PKEY* key) {
    int id = EVP_PKEY_get_base_id(key);
    if (id == EVP_PKEY_RSA) return "rsaEncryption";
    const char* ln = OBJ_nid2ln(id);
    return ln != nullptr ? ln : "unknown";
}

}  // namespace vtk
