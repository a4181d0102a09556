// VorlanToolkitInfo: what the plug-in runs on, in one line for a host to show ("vorlan info"):
// the OpenSSL version, where it takes engines from and whether the GOST engine is loaded.
// Not a toolkit function: the library never calls it.
#include <openssl/crypto.h>

#include <cstring>
#include <string>

#include "algorithms.h"
#include "errors.h"
#include "toolkit_api.h"

MPRO_EXPORT std::int32_t MPRO_CALL VorlanToolkitInfo(char* buffer, std::int32_t size) {
    if (buffer == nullptr || size < 1) return vtk::kErrArgument;
    std::string text = OpenSSL_version(OPENSSL_VERSION);
#if !defined(VORLAN_GOST_BUILT_IN)
    text += std::string(", ") + OpenSSL_version(OPENSSL_ENGINES_DIR);
#endif
    text += vtk::EnsureCryptoReady() ? "; GOST engine loaded" : "; GOST engine NOT loaded: " + vtk::GostLoadMessage();
    const std::size_t length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length == text.size() ? vtk::kOk : vtk::kErrNoRoom;
}
