#include "trust_store.h"

#include <openssl/err.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "errors.h"
#include "file_io.h"
#include "immortal.h"

namespace vtk {

namespace {

constexpr std::time_t kMaxVerdictSeconds = 600;
constexpr std::size_t kMaxVerdicts = 1024;
constexpr std::size_t kMaxStores = 64;

// A missing CRL is not an error: revocation is checked where a CRL is present.
int VerifyCallback(int ok, X509_STORE_CTX* ctx) {
    if (!ok && X509_STORE_CTX_get_error(ctx) == X509_V_ERR_UNABLE_TO_GET_CRL) return 1;
    return ok;
}

// Seen: a name the store was built from (a configured directory or file, or a file listed
// in such a directory) and what it was on disk when it was read; nullopt when missing.
struct Seen {
    std::string name;
    std::optional<Located> found;
};

Seen Look(const std::string& name) { return Seen{name, Locate(name)}; }

bool Unchanged(const Seen& seen) {
    const auto now = Locate(seen.name);
    if (!now || !seen.found) return !now && !seen.found;
    return now->path == seen.found->path && now->isDirectory == seen.found->isDirectory &&
           now->stamp == seen.found->stamp;
}

// Built: a store and everything it was built from.
struct Built {
    std::vector<Seen> seen;
    SharedTrustStore store;
};

Built Build(const TrustSources& sources, bool checkTime) {
    X509StorePtr store(X509_STORE_new());
    if (!store) Fail(kErrInternal, "Out of memory");
    Built built;
    // Each name is looked at before it is read: a change while it is read shows next time.
    const auto take = [&](const std::string& name, bool isDirectory, const auto& add) {
        if (name.empty()) return;
        Seen seen = Look(name);
        if (seen.found && seen.found->isDirectory == isDirectory) {
            if (!isDirectory) add(seen.found->path);
            for (const auto& file : isDirectory ? ListFiles(seen.found->path) : std::vector<std::string>{}) {
                built.seen.push_back(Look(file));
                add(file);
            }
        }
        built.seen.push_back(std::move(seen));
    };
    // A CA certificate staged beside a store change is not one before it is put in place.
    const auto addCert = [&](const std::string& file) {
        if (IsStaged(file)) return;
        if (auto c = CachedCertificate(file)) X509_STORE_add_cert(store.get(), c.get());
    };
    const auto addCrl = [&](const std::string& file) {
        if (auto c = CachedCrl(file)) X509_STORE_add_crl(store.get(), c.get());
    };
    take(sources.caDir, true, addCert);
    take(sources.caFile, false, addCert);
    take(sources.crlDir, true, addCrl);
    take(sources.crlFile, false, addCrl);
    ERR_clear_error();  // duplicates in the store are not errors
    unsigned long flags = X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL;
    if (!checkTime) flags |= X509_V_FLAG_NO_CHECK_TIME;
    X509_STORE_set_flags(store.get(), flags);
    X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
    X509_STORE_set_verify_cb(store.get(), VerifyCallback);
    built.store = std::make_shared<TrustStore>(std::move(store));
    return built;
}

struct Stores {
    std::mutex mutex;
    std::map<std::pair<TrustSources, bool>, std::shared_ptr<const Built>> byKey;  // guarded by mutex
};
// Never destroyed: contexts closed during exit may still reach it.
Stores& TheStores() {
    static Immortal<Stores> stores;
    return *stores;
}

}  // namespace

ChainProblem TrustStore::Check(const SharedCert& cert) {
    const std::time_t now = std::time(nullptr);
    {
        std::lock_guard lock(mutex_);
        const auto it = verdicts_.find(cert.get());
        if (it != verdicts_.end() && now >= it->second.from && now < it->second.until) return {};
    }
    std::time_t until = now + kMaxVerdictSeconds;
    ChainProblem problem = CheckChain(store_.get(), cert.get(), nullptr, &until);
    if (problem.error == X509_V_OK && until > now) {
        std::lock_guard lock(mutex_);
        if (verdicts_.size() >= kMaxVerdicts) verdicts_.clear();
        verdicts_[cert.get()] = Verdict{cert, now, until};
    }
    return problem;
}

SharedTrustStore TrustStoreFor(const TrustSources& sources, bool checkTime) {
    Stores& stores = TheStores();
    const auto key = std::make_pair(sources, checkTime);
    std::shared_ptr<const Built> known;
    {
        std::lock_guard lock(stores.mutex);
        const auto it = stores.byKey.find(key);
        if (it != stores.byKey.end()) known = it->second;
    }
    if (known && std::all_of(known->seen.begin(), known->seen.end(), Unchanged)) return known->store;

    auto built = std::make_shared<const Built>(Build(sources, checkTime));
    // What changed within the last two seconds may change again unseen: such a store serves
    // this call only.
    const bool settled = std::all_of(built->seen.begin(), built->seen.end(),
                                     [](const Seen& s) { return !s.found || Settled(s.found->stamp); });
    std::lock_guard lock(stores.mutex);
    if (!settled) {
        stores.byKey.erase(key);
    } else {
        if (stores.byKey.size() >= kMaxStores) stores.byKey.clear();
        stores.byKey[key] = built;
    }
    return built->store;
}

}  // namespace vtk
