#include "object_cache.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <mutex>
#include <unordered_map>

#include "errors.h"
#include "file_io.h"
#include "immortal.h"
#include "ossl.h"

namespace vtk {

namespace {

struct Entry {
    FileStamp stamp;
    std::shared_ptr<const void> object;
};

constexpr std::size_t kMaxEntries = 4096;

struct Cache {
    std::mutex mutex;
    std::unordered_map<std::string, Entry> entries;  // guarded by mutex
};
// Never destroyed: contexts closed during exit may still reach the cache.
Cache& TheCache() {
    static Immortal<Cache> cache;
    return *cache;
}

std::string Digest(const std::string& text) {
    unsigned char md[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), md);
    return std::string(reinterpret_cast<char*>(md), sizeof md);
}

bool LooksPem(const std::string& bytes) { return bytes.find("-----BEGIN ") != std::string::npos; }

// PemOrDer: an object read from PEM or DER bytes; nullptr when the bytes hold none.
template <typename T, T* (*FromPem)(BIO*, T**, pem_password_cb*, void*), T* (*FromDer)(T**, const unsigned char**, long)>
T* PemOrDer(const std::string& bytes) {
    if (LooksPem(bytes)) {
        auto bio = MemBio(bytes.data(), bytes.size());
        return FromPem(bio.get(), nullptr, nullptr, nullptr);
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    return FromDer(nullptr, &p, static_cast<long>(bytes.size()));
}

int PasswordCallback(char* buf, int size, int, void* user) {
    const auto* pw = static_cast<const std::string*>(user);
    int n = static_cast<int>(pw->size());
    if (n > size) return -1;
    std::copy(pw->begin(), pw->end(), buf);
    return n;
}

}  // namespace

SharedCert ParseCertificate(const std::string& bytes) {
    X509* x = PemOrDer<X509, PEM_read_bio_X509, d2i_X509>(bytes);
    ERR_clear_error();
    return x != nullptr ? SharedCert(x, X509_free) : nullptr;
}

SharedCrl ParseCrl(const std::string& bytes) {
    X509_CRL* c = PemOrDer<X509_CRL, PEM_read_bio_X509_CRL, d2i_X509_CRL>(bytes);
    ERR_clear_error();
    return c != nullptr ? SharedCrl(c, X509_CRL_free) : nullptr;
}

X509ReqPtr ParseRequest(const std::string& bytes) { return X509ReqPtr(PemOrDer<X509_REQ, PEM_read_bio_X509_REQ, d2i_X509_REQ>(bytes)); }

SharedKey ParsePrivateKey(const std::string& bytes, const std::string& password) {
    EVP_PKEY* k = nullptr;
    std::string pw = password;
    if (LooksPem(bytes)) {
        auto bio = MemBio(bytes.data(), bytes.size());
        k = PEM_read_bio_PrivateKey(bio.get(), nullptr, PasswordCallback, &pw);
    } else {
        auto bio = MemBio(bytes.data(), bytes.size());
        k = d2i_PKCS8PrivateKey_bio(bio.get(), nullptr, PasswordCallback, &pw);
        if (k == nullptr) {
            const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
            k = d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(bytes.size()));
        }
    }
    OPENSSL_cleanse(pw.data(), pw.size());
    if (k == nullptr) Fail(kErrPrivateKey, "Private key cannot be read (wrong password or not a key)");
    return SharedKey(k, EVP_PKEY_free);
}

std::shared_ptr<const void> CachedDerived(const std::string& kind, const std::string& path, const std::string& extra,
                                          const std::function<std::shared_ptr<const void>(const std::string&)>& make,
                                          bool* located) {
    const auto found = Locate(path);
    if (located != nullptr) *located = found.has_value();
    if (!found || found->isDirectory) return nullptr;
    const FileStamp& stamp = found->stamp;
    std::string key = kind + '\0' + found->path + '\0' + (extra.empty() ? std::string() : Digest(extra));
    Cache& cache = TheCache();
    // A file changed within the last two seconds may change again without a visible change
    // of its stamp (timestamp granularity): such files are read every time.
    if (Settled(stamp)) {
        std::lock_guard lock(cache.mutex);
        auto it = cache.entries.find(key);
        if (it != cache.entries.end() && it->second.stamp == stamp) return it->second.object;
    }
    auto bytes = ReadFile(found->path);
    if (!bytes) return nullptr;
    std::shared_ptr<const void> object = make(*bytes);
    // A file that changed while it was read is parsed again next time.
    auto after = StampOf(found->path);
    std::lock_guard lock(cache.mutex);
    if (cache.entries.size() >= kMaxEntries) cache.entries.clear();
    if (after && *after == stamp) cache.entries[key] = Entry{stamp, object};
    return object;
}

SharedCert CachedCertificate(const std::string& path, bool* present) {
    bool located = false;
    auto obj = CachedDerived(
        "cert", path, {},
        [](const std::string& b) -> std::shared_ptr<const void> { return std::make_shared<const SharedCert>(ParseCertificate(b)); },
        &located);
    if (present != nullptr) *present = obj != nullptr || located;  // unreadable counts as present
    return obj ? *static_cast<const SharedCert*>(obj.get()) : nullptr;
}

SharedCrl CachedCrl(const std::string& path) {
    auto obj = CachedDerived("crl", path, {}, [](const std::string& b) -> std::shared_ptr<const void> {
        return std::make_shared<const SharedCrl>(ParseCrl(b));
    });
    return obj ? *static_cast<const SharedCrl*>(obj.get()) : nullptr;
}

SharedKey CachedPrivateKey(const std::string& path, const std::string& password) {
    auto obj = CachedDerived("key", path, password, [&](const std::string& b) -> std::shared_ptr<const void> {
        return std::make_shared<const SharedKey>(ParsePrivateKey(b, password));
    });
    return obj ? *static_cast<const SharedKey*>(obj.get()) : nullptr;
}

void ClearObjectCache() {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    cache.entries.clear();
}

}  // namespace vtk
