#include "chain.h"

#include <openssl/err.h>

#include <memory>

#include "errors.h"
#include "ossl.h"
#include "subject.h"

namespace vtk {

ChainProblem CheckChain(X509_STORE* store, X509* cert, STACK_OF(X509)* untrusted) {
    std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX_free>> vctx(X509_STORE_CTX_new());
    if (!vctx || X509_STORE_CTX_init(vctx.get(), store, cert, untrusted) != 1) Fail(kErrInternal, "Chain check cannot start");
    if (X509_verify_cert(vctx.get()) == 1) return {};
    const int error = X509_STORE_CTX_get_error(vctx.get());
    const X509* at = X509_STORE_CTX_get_current_cert(vctx.get());
    ChainProblem problem{error, std::string(X509_verify_cert_error_string(error)) + " for " +
                                    SubjectLine(X509_get_subject_name(at != nullptr ? at : cert))};
    ERR_clear_error();
    return problem;
}

}  // namespace vtk
