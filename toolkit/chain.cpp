#include "chain.h"

#include <openssl/err.h>

#include <algorithm>
#include <memory>

#include "errors.h"
#include "ossl.h"
#include "subject.h"

namespace vtk {

namespace {

inline void FreeCrlStack(STACK_OF(X509_CRL)* s) { sk_X509_CRL_pop_free(s, X509_CRL_free); }
using CrlStackPtr = std::unique_ptr<STACK_OF(X509_CRL), Deleter<FreeCrlStack>>;

// LowerTo: until lowered to the moment t (relative to now); to now when t cannot be read.
void LowerTo(std::time_t& until, std::time_t now, const ASN1_TIME* t) {
    int days = 0, seconds = 0;
    if (t == nullptr || ASN1_TIME_diff(&days, &seconds, nullptr, t) != 1) {
        until = std::min(until, now);
        return;
    }
    until = std::min(until, now + static_cast<std::time_t>(days) * 86400 + seconds);
}

// LowerToChainValidity: the chain's certificates end their validity, the CRLs of their
// issuers their currency.
void LowerToChainValidity(X509_STORE_CTX* vctx, std::time_t& until) {
    const std::time_t now = std::time(nullptr);
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(vctx);
    for (int i = 0; chain != nullptr && i < sk_X509_num(chain); ++i) {
        X509* c = sk_X509_value(chain, i);
        LowerTo(until, now, X509_get0_notAfter(c));
        CrlStackPtr crls(X509_STORE_CTX_get1_crls(vctx, X509_get_issuer_name(c)));
        for (int j = 0; crls && j < sk_X509_CRL_num(crls.get()); ++j)
            if (const ASN1_TIME* next = X509_CRL_get0_nextUpdate(sk_X509_CRL_value(crls.get(), j)))
                LowerTo(until, now, next);
    }
    ERR_clear_error();
}

}  // namespace

ChainProblem CheckChain(X509_STORE* store, X509* cert, STACK_OF(X509)* untrusted, std::time_t* validUntil) {
    std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX_free>> vctx(X509_STORE_CTX_new());
    if (!vctx || X509_STORE_CTX_init(vctx.get(), store, cert, untrusted) != 1) Fail(kErrInternal, "Chain check cannot start");
    if (X509_verify_cert(vctx.get()) == 1) {
        if (validUntil != nullptr) LowerToChainValidity(vctx.get(), *validUntil);
        return {};
    }
    const int error = X509_STORE_CTX_get_error(vctx.get());
    const X509* at = X509_STORE_CTX_get_current_cert(vctx.get());
    ChainProblem problem{error, std::string(X509_verify_cert_error_string(error)) + " for " +
                                    SubjectLine(X509_get_subject_name(at != nullptr ? at : cert))};
    ERR_clear_error();
    return problem;
}

}  // namespace vtk
