#include "crypto_shutdown.h"

#include <openssl/crypto.h>

#include <atomic>
#include <mutex>

namespace vtk {

namespace {
std::atomic<bool> g_shutDown{false};
void MarkShutDown() { g_shutDown.store(true); }
}  // namespace

void WatchCryptoShutdown() {
    static std::once_flag once;
    // OPENSSL_atexit handlers run first in OpenSSL's clean-up, before anything is freed.
    std::call_once(once, [] { OPENSSL_atexit(MarkShutDown); });
}

bool CryptoShutDown() { return g_shutDown.load(); }

}  // namespace vtk
