// The CA certificates and CRLs of an installation as one OpenSSL store, shared by every
// context configured with the same directories and files, and rebuilt as soon as one of
// them changes; with the certificates found to chain to it, so that a recipient checked a
// moment ago is not verified again.
#pragma once

#include <openssl/x509_vfy.h>

#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

#include "chain.h"
#include "object_cache.h"
#include "ossl.h"

namespace vtk {

// TrustSources: where the CA certificates and CRLs come from, as configured (names are
// resolved on disk by the store); empty names are left out.
struct TrustSources {
    std::string caDir, caFile, crlDir, crlFile;
    bool operator<(const TrustSources& o) const {
        return std::tie(caDir, caFile, crlDir, crlFile) < std::tie(o.caDir, o.caFile, o.crlDir, o.crlFile);
    }
};

class TrustStore {
public:
    // TrustStore: takes over a filled store.
    explicit TrustStore(X509StorePtr store) : store_(std::move(store)) {}
    TrustStore(const TrustStore&) = delete;
    TrustStore& operator=(const TrustStore&) = delete;

    X509_STORE* Store() const { return store_.get(); }
    // Check: CheckChain of cert without intermediates. A success is remembered until the
    // earliest end of validity among the chain's certificates and their issuers' CRLs
    // (ten minutes at most), and re-checked when the clock went back.
    ChainProblem Check(const SharedCert& cert);

private:
    struct Verdict {
        SharedCert cert;  // keeps the address a verdict is filed under from being reused
        std::time_t from, until;
    };
    X509StorePtr store_;
    std::mutex mutex_;
    std::map<const X509*, Verdict> verdicts_;  // guarded by mutex_
};

using SharedTrustStore = std::shared_ptr<TrustStore>;

// TrustStoreFor: the shared store of the sources, built once and reused while every
// directory and file it was built from keeps its stamp (and none changed within the last
// two seconds); one status query per directory and per file on reuse.
SharedTrustStore TrustStoreFor(const TrustSources& sources, bool checkTime);

}  // namespace vtk
