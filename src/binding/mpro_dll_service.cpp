// TMProDLL operations without a parameter vector: parameter names, size queries,
// error texts and the PSE request on a context of its own.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "binding/binding_state.h"
#include "binding/mpro_dll.h"

namespace vorlan {
namespace {

// The binding's own codes and their texts.
const char* BindingErrorText(std::int32_t code) {
    switch (code) {
        case -1: return "Library not initialized";
        case -3: return "Bad parameters passed";
        case -4: return "Can't get sign context";
        case -5: return "Signature not found";
        case -6: return "Unable to load private key for operation";
        case -100: return "Function not finalize";
        default: return nullptr;
    }
}

bool HasText(const char* text) { return text != nullptr && text[0] != '\0'; }

// Zero-based toolkit parameters of the signature algorithm and the key size.
constexpr std::int32_t kSignatureAlgorithmIndex = 4;
constexpr std::int32_t kKeySizeIndex = 5;

}  // namespace

std::int32_t TMProDLL::GetCryptoParamName(std::int32_t index, char* buffer) {
    if (!Loaded || !Complete) return -6;
    ToolkitGuard toolkit(PluginVariant);
    mpro::Context context = 0;
    {
        // Threads sharing a binding with a reentrant plug-in must not open two contexts.
        std::lock_guard<std::mutex> own(ownContextMutex_);
        if (OwnContext == 0) {
            ToolkitGuard again(PluginVariant);
            OwnContext = Fn.InitCrypto();
        }
        context = OwnContext;
    }
    if (context == 0) return -6;
    return Fn.GetCryptoParamName(context, index, buffer);
}

std::int32_t TMProDLL::GetMaxCertBufferSize() {
    if (!Loaded || !Complete) return 0;
    ToolkitGuard toolkit(PluginVariant);
    return Fn.GetMaxCertificateLength() + Fn.GetMaxCertInfoLength();
}

std::int32_t TMProDLL::GetMaxCertInfoLength() {
    if (!Loaded || !Complete) return 0;
    ToolkitGuard toolkit(PluginVariant);
    return Fn.GetMaxCertInfoLength();
}

void TMProDLL::GetErrorText(char* buffer, std::int32_t size, std::int32_t code) {
    if (size < 1 || code == 0 || buffer == nullptr) return;
    std::memset(buffer, 0, static_cast<std::size_t>(size));

    std::string text;
    if (code == -2) {
        text = "An exception - " + ExceptionText;
    } else if (const char* own = BindingErrorText(code)) {
        text = own;
    } else {
        ToolkitGuard toolkit(PluginVariant);
        if (!PluginModule(PluginVariant) || !Fn.GetCryptoErrorString) return;
        // The toolkit writes up to its promised length without a size: give it that room
        // and hand the caller at most size bytes.
        const std::int32_t promised = Fn.GetMaxErrorStringLength ? Fn.GetMaxErrorStringLength() : 0;
        std::vector<char> room(static_cast<std::size_t>(std::max(promised, size)) + 1, '\0');
        Fn.GetCryptoErrorString(code, room.data());
        text.assign(room.data(), std::min(std::strlen(room.data()), room.size() - 1));
    }
    // No terminator beyond the zero fill: a text of size bytes or more fills the buffer.
    std::memcpy(buffer, text.data(), std::min(text.size(), static_cast<std::size_t>(size)));
}

std::int32_t TMProDLL::MakeRequest(const char* t1, const char* t2, const char* t3, const char* t4, const char* t5,
                                   const char* t6, const char* t7, const char* t8, const char* t9, const char* t10,
                                   const char* t11, const char* t12, const ParamVector* v) {
    if (!Loaded || !Complete) return -1;
    ToolkitGuard toolkit(PluginVariant);
    const mpro::Context c = Fn.InitCrypto();
    // The request context is closed on every path, also when a step raises.
    struct Closer {
        mpro::FnCtx done;
        mpro::Context context;
        ~Closer() { done(context); }
    } closer{Fn.DoneCrypto, c};

    const auto set = [&](std::int32_t index, const char* value) { Fn.SetCryptoParamValue(c, index, value); };
    if (HasText(t1)) set(0, t1);
    set(2, t2);
    // The algorithm of the keys a request may create: the signature algorithm and key size.
    for (const std::int32_t index : {kSignatureAlgorithmIndex, kKeySizeIndex})
        if (v != nullptr && v->size() > static_cast<std::size_t>(index) && !(*v)[static_cast<std::size_t>(index)].empty())
            set(index, (*v)[static_cast<std::size_t>(index)].c_str());
    const std::pair<std::int32_t, const char*> optional[] = {{15, t3}, {10, t4}, {11, t5}, {12, t6},
                                                             {13, t7}, {14, t8}, {16, t9}};
    for (const auto& [index, value] : optional)
        if (value) set(index, value);
    if (t10 && Fn.GetCryptoParamNumber() >= 24) set(23, t10);
    set(20, t12);
    return Fn.MakeRequestForPSE(c, t2, t11);
}

}  // namespace vorlan
