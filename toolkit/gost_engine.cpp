// Loads Debian's GOST engine through the ENGINE interface (deprecated in OpenSSL 3
// but the only way to this engine); built with deprecation warnings silenced.
#include <openssl/crypto.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstring>
#include <mutex>
#include <string>

#include "algorithms.h"
#include "crypto_shutdown.h"
#include "errors.h"

#if defined(VORLAN_GOST_BUILT_IN)
extern "C" {
#include <gost-engine.h>  // the engine linked in statically: it registers itself by id
}
#endif

namespace vtk {

namespace {
std::once_flag g_once;
bool g_gost = false;
std::string g_message;

void LoadGost() {
#if defined(VORLAN_GOST_BUILT_IN)
    // OpenSSL linked in: no configuration file is read. Its compiled-in directory names a
    // path of the build machine, which on Windows any user may be able to create.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
    ENGINE_load_gost();
#endif
    ENGINE* e = ENGINE_by_id("gost");
    if (e == nullptr) {
        g_message = "GOST engine not found: " + OpenSslErrors();
        return;
    }
    if (ENGINE_init(e) != 1) {
        g_message = "GOST engine did not start: " + OpenSslErrors();
        ENGINE_free(e);
        return;
    }
    if (ENGINE_set_default(e, ENGINE_METHOD_ALL) != 1) {
        g_message = "GOST engine not set as default: " + OpenSslErrors();
        ENGINE_finish(e);
        ENGINE_free(e);
        return;
    }
    // The functional reference from ENGINE_init stays for the life of the process.
    ENGINE_free(e);
    g_gost = true;
}
}  // namespace

bool EnsureCryptoReady() {
    WatchCryptoShutdown();
    std::call_once(g_once, LoadGost);
    ERR_clear_error();
    return g_gost;
}

bool GostAvailable() { return g_gost; }

std::string GostLoadMessage() { return g_message; }

bool IsGostAlgorithm(const ASN1_OBJECT* algorithm) {
    char oid[32] = {};
    return algorithm != nullptr && OBJ_obj2txt(oid, sizeof oid, algorithm, 1) > 0 && std::strncmp(oid, "1.2.643.", 8) == 0;
}

void RequireGostEngine(const std::string& what) {
    if (!EnsureCryptoReady())
        throw Failure(kErrGostEngine, what + " needs the GOST engine, which OpenSSL could not load: " + g_message);
}

void RequireGostEngineFor(const ASN1_OBJECT* algorithm, const std::string& what) {
    if (IsGostAlgorithm(algorithm)) RequireGostEngine(what);
}

void RequireGostEngineFor(const X509* cert, const std::string& what) {
    ASN1_OBJECT* algorithm = nullptr;
    const X509_PUBKEY* key = cert != nullptr ? X509_get_X509_PUBKEY(cert) : nullptr;
    if (key != nullptr && X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr, key) == 1)
        RequireGostEngineFor(algorithm, what);
}

}  // namespace vtk
