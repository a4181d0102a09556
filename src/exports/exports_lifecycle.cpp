// The exports that do more than forward: creating and destroying engines, the root,
// the host's token callback, and the few whose results the export maps.
#include <string>

#include "factory/engine_factory.h"
#include "exports/export_call.h"
#include "exports/library_lifetime.h"
#include "platform/ansi_text.h"
#include "support/zel_root.h"
#include "vorlan13.h"

using vorlan::TCryptoEngine;
using namespace vorlan::exports;

namespace {
constexpr std::int32_t kMaxFilePathLength = 255;
// Text: a caller's text, a null pointer taken as the empty text.
std::string Text(const char* text) { return text ? std::string(text) : std::string(); }
}  // namespace

extern "C" {

VORLAN_HANDLE VORLAN_API GetCryptObj(int32_t) {
    try {
        HoldModulesUntilUnload();
        return AdoptEngine(vorlan::CreateCryptObj());
    } catch (...) {
        return nullptr;
    }
}

void VORLAN_API DoneEngine(VORLAN_HANDLE engine) {
    try {
        EngineRef released = ReleaseEngine(engine);
        released.reset();
    } catch (...) {
    }
}

void VORLAN_API SetRootPath(VORLAN_HANDLE engine, const char* root) {
    // The process-wide root comes first, whatever the handle; a different second root
    // raises and leaves the engine's root unchanged.
    try {
        if (!root) return;
        const std::string text(root);
        vorlan::SetZELRoot(text);
        WithEngine(engine, [&](TCryptoEngine& e) { e.SetRootPath(text); });
    } catch (...) {
    }
}

void VORLAN_API SetTMRequestFunc(VORLAN_HANDLE engine, void* callback) {
    WithEngine(engine, [&](TCryptoEngine& e) { e.TMRequestFunc = callback; });
}

int32_t VORLAN_API UpdateCertificateCash(VORLAN_HANDLE engine, const char* fileName) {
    return WithEngine(engine, kExceptionResult, [&](TCryptoEngine& e) -> std::int32_t {
        const std::int32_t result = e.UpdateCertificateCash(fileName);
        if (result != -1) return result;
        ClearCash(engine);
        return 0;
    });
}

int32_t VORLAN_API IsDifferentKeys(VORLAN_HANDLE engine) {
    return WithEngine(engine, kQueryError, [](TCryptoEngine& e) -> std::int32_t { return e.IsDifferentKeys() ? -1 : 0; });
}

int32_t VORLAN_API RegisterOIDInfo(VORLAN_HANDLE engine, const char* first, const char* second) {
    return WithEngine(engine, kExceptionResult, [&](TCryptoEngine& e) {
        const std::string narrow = Text(first);
        const std::u16string wide = vorlan::platform::AnsiToUtf16(Text(second));
        return e.RegisterOIDInfo(narrow.c_str(), wide.c_str());
    });
}

int32_t VORLAN_API GetMaxFilePathLength(VORLAN_HANDLE) { return kMaxFilePathLength; }

}  // extern "C"
