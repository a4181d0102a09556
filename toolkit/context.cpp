#include "context.h"

#include <openssl/err.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <shared_mutex>
#include <unordered_map>

#include "algorithms.h"
#include "crypto_shutdown.h"
#include "errors.h"
#include "file_io.h"
#include "immortal.h"
#include "keys.h"
#include "params.h"
#include "pse_container.h"
#include "recipients.h"
#include "subject.h"

namespace vtk {

namespace {

std::mutex g_rootMutex;
std::string g_root;

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), s.end() - static_cast<long>(tail.size()),
                      [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

}  // namespace

void SetRoot(const std::string& root) {
    std::lock_guard lock(g_rootMutex);
    g_root = root;
}

std::string ExpandRoot(const std::string& path) {
    static const std::string kMacro = "%ZELROOT%";
    if (path.size() < kMacro.size()) return path;
    std::string head = path.substr(0, kMacro.size());
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (head != kMacro) return path;
    std::lock_guard lock(g_rootMutex);
    std::string rest = path.substr(kMacro.size());
    if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) rest.erase(0, 1);
    return JoinPath(g_root, rest);
}

Context::Context() : params_(static_cast<std::size_t>(ParamCount())) {}

void Context::SetParam(int index, const std::string& value) {
    if (index < 0 || index >= ParamCount()) Fail(kErrParamIndex, "Parameter number " + std::to_string(index) + " out of range");
    std::lock_guard lock(mutex_);
    params_[static_cast<std::size_t>(index)] = value;
}

std::string Context::Param(int index) const {
    if (index < 0 || index >= ParamCount()) return {};
    std::lock_guard lock(mutex_);
    return params_[static_cast<std::size_t>(index)];
}

std::string Context::PathParam(int index) const {
    std::string v = Trim(Param(index));
    return v.empty() ? v : ResolvePath(ExpandRoot(v));
}

bool Context::UseSerial() const {
    std::lock_guard lock(mutex_);
    return UidField_locked() == "SN";
}

std::string Context::CaDir() const {
    std::lock_guard lock(mutex_);
    std::string d = DirName_locked(CaDirParam(), "CA");
    return d.empty() ? d : ResolvePath(d);
}

std::string Context::CrlDir() const {
    std::lock_guard lock(mutex_);
    std::string d = DirName_locked(CrlDirParam(), "CRL");
    return d.empty() ? d : ResolvePath(d);
}

void Context::Renew() {
    std::lock_guard lock(mutex_);
    ownCert_.reset();
    ownKey_.reset();
    dirScanned_ = false;
    dirCerts_.clear();
}

std::string Context::ParamPath_locked(int index) const {
    std::string v = ParamName_locked(index);
    return v.empty() ? v : ResolvePath(v);
}

std::string Context::ParamName_locked(int index) const {
    std::string v = Trim(params_[static_cast<std::size_t>(index)]);
    return v.empty() ? v : ExpandRoot(v);
}

std::string Context::DirName_locked(int index, const char* sub) const {
    std::string d = ParamName_locked(index);
    if (d.empty() && !Trim(params_[kKeyDir]).empty()) d = JoinPath(ParamName_locked(kKeyDir), sub);
    return d;
}

// Goes through the parse cache each time: a stat when the file is unchanged, a fresh
// parse when another certificate was written under the same name.
void Context::LoadOwnCertificate_locked() {
    ownCertError_.clear();
    ownCertCode_ = kErrOwnCertificate;
    std::string certFile = ParamName_locked(kOwnCertificate);
    if (certFile.empty()) {
        ownCert_.reset();
        ownCertError_ = "No own certificate file is set";
    } else {
        ownCert_ = CachedCertificate(certFile);
        if (!ownCert_) {  // only on this failure path: the file as found on disk, and why
            certFile = ResolvePath(certFile);
            const bool readable = ReadFile(certFile).has_value();
            ownCertCode_ = readable ? kErrCertificateFormat : kErrFile;
            ownCertError_ = "Certificate file " + certFile + (readable ? " holds no certificate" : " cannot be read");
        }
    }
    ERR_clear_error();
}

void Context::LoadOwnKey_locked() {
    ownKeyError_.clear();
    ownKey_.reset();
    try {
        // A key file, when set, is the key: the key directory is not looked at.
        if (std::string keyFile = ParamName_locked(kPrivateKeyFile); !keyFile.empty()) {
            ownKey_ = CachedPrivateKey(keyFile, params_[kPassword]);
            if (!ownKey_) ownKeyError_ = "Private key file " + ResolvePath(keyFile) + " missing";
        } else if (std::string keyDir = ParamPath_locked(kKeyDir); !keyDir.empty() && HasContainer(keyDir)) {
            ownKey_ = ContainerPrivateKey(keyDir);
        } else {
            ownKeyError_ = "No private key file or key container is set";
        }
    } catch (const Failure& f) {
        ownKeyError_ = f.what();
    }
    TakeRenewedKey_locked();
    ERR_clear_error();
}

void Context::TakeRenewedKey_locked() {
    if (Variant() != 0 || !ownCert_) return;
    if (ownKey_ && ownKey_ == matchedKey_ && ownCert_ == matchedCert_) return;
    SharedKey key = ownKey_;
    if (!key || !SamePublicKey(X509_get0_pubkey(ownCert_.get()), key.get())) {
        const std::string keyDir = ParamPath_locked(kKeyDir);
        if (keyDir.empty()) return;
        try {
            key = FindKeyForCertificate(ResolvePath(JoinPath(keyDir, "KEYS")), ownCert_.get(), params_[kPassword]);
        } catch (const Failure&) {
            key.reset();
        }
        if (!key) return;
        ownKey_ = key;
        ownKeyError_.clear();
    }
    matchedCert_ = ownCert_;
    matchedKey_ = key;
}

SharedCert Context::OwnCertificate() {
    std::lock_guard lock(mutex_);
    LoadOwnCertificate_locked();
    if (!ownCert_) throw Failure(ownCertCode_, ownCertError_);
    return ownCert_;
}

SharedKey Context::OwnKey(SharedCert* cert) {
    std::lock_guard lock(mutex_);
    if (Variant() == 0 || cert != nullptr) LoadOwnCertificate_locked();  // variant 0 chooses the key by it
    LoadOwnKey_locked();
    if (!ownKey_) {
        if (ownCert_) RequireGostEngineFor(ownCert_.get(), "The own GOST key");
        throw Failure(kErrPrivateKey, ownKeyError_);
    }
    if (cert != nullptr) *cert = ownCert_;
    return ownKey_;
}

std::string Context::UidField_locked() const {
    std::string f = Trim(params_[kUidField]);
    std::transform(f.begin(), f.end(), f.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return f.empty() ? "CN" : f;
}

void Context::ScanCertificateDir_locked() {
    dirScanned_ = true;
    dirCerts_.clear();
    std::string v = Trim(params_[kCertificateDir]);
    if (v.empty()) return;
    std::string dir = ResolvePath(ExpandRoot(v));
    for (const auto& file : ListFiles(dir)) {
        if (!EndsWithNoCase(file, ".pem") && !EndsWithNoCase(file, ".cer")) continue;
        if (auto c = CachedCertificate(file)) dirCerts_.push_back(c);
    }
}

SharedCert Context::FindCertificate(const std::string& uid) {
    std::lock_guard lock(mutex_);
    const std::string field = UidField_locked();
    const CertificateMatch match(uid, field == "SN", field);
    // As the engine chooses: the file UID.pem is current, UID.cer only without it.
    if (auto c = match.FiledUnder(ParamName_locked(kCertificateDir))) return c;
    LoadOwnCertificate_locked();
    std::vector<SharedCert> found;
    match.Collect(added_, found);
    match.Collect({ownCert_}, found);
    if (!dirScanned_) ScanCertificateDir_locked();
    match.Collect(dirCerts_, found);
    if (found.empty()) {  // certificates may have been filed since the last scan
        ScanCertificateDir_locked();
        match.Collect(dirCerts_, found);
    }
    return InUse(found);
}

void Context::AddCertificate(SharedCert cert) {
    std::lock_guard lock(mutex_);
    added_.insert(added_.begin(), std::move(cert));
}

SharedTrustStore Context::Trust(bool checkTime) {
    TrustSources sources;
    {
        std::lock_guard lock(mutex_);
        sources = TrustSources{DirName_locked(CaDirParam(), "CA"), ParamName_locked(kCaCertificateFile),
                               DirName_locked(CrlDirParam(), "CRL"), ParamName_locked(kCrlFile)};
    }
    return TrustStoreFor(sources, checkTime);
}

void Context::KeepTexts(const void* record, std::vector<std::unique_ptr<char[]>> texts) {
    std::lock_guard lock(mutex_);
    texts_[record] = std::move(texts);
}

void Context::ReleaseTexts(const void* record) {
    std::lock_guard lock(mutex_);
    texts_.erase(record);
}

namespace contexts {

namespace {
struct Table {
    std::shared_mutex mutex;
    std::unordered_map<std::int32_t, std::shared_ptr<Context>> byId;  // guarded by mutex
    std::int32_t next = 0;                                            // guarded by mutex
    std::vector<std::shared_ptr<Context>> keptAtExit;                 // guarded by mutex
};
// Never destroyed: the library closes its cached contexts at exit, after this module's
// static objects would otherwise be gone.
Table& Contexts() {
    static Immortal<Table> table;
    return *table;
}
}  // namespace

std::int32_t Open() {
    auto ctx = std::make_shared<Context>();
    Table& t = Contexts();
    std::unique_lock lock(t.mutex);
    do {
        t.next = t.next == INT32_MAX ? 1 : t.next + 1;
    } while (t.byId.count(t.next) != 0);
    t.byId.emplace(t.next, std::move(ctx));
    return t.next;
}

std::shared_ptr<Context> Get(std::int32_t id) {
    Table& t = Contexts();
    std::shared_lock lock(t.mutex);
    auto it = t.byId.find(id);
    if (it == t.byId.end()) throw Failure(kErrContext, "Unknown toolkit context " + std::to_string(id));
    return it->second;
}

bool Close(std::int32_t id) {
    std::shared_ptr<Context> doomed;  // destroyed outside the table lock
    Table& t = Contexts();
    std::unique_lock lock(t.mutex);
    auto it = t.byId.find(id);
    if (it == t.byId.end()) return false;
    doomed = std::move(it->second);
    t.byId.erase(it);
    // After OpenSSL's clean-up its objects cannot be freed: the context is kept instead.
    if (CryptoShutDown()) t.keptAtExit.push_back(std::move(doomed));
    return true;
}

}  // namespace contexts

}  // namespace vtk
