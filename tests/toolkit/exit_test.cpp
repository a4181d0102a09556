// A host that closes its contexts during exit: the plug-in was loaded after the host's
// own objects, so its static objects are torn down first, yet the close still succeeds.
#include <cstdio>
#include <cstdlib>

#include "harness.h"

namespace tkt {
namespace {

// Made before the plug-in is loaded, so destroyed after the plug-in's static objects.
struct LateClose {
    mpro::FnCtx done = nullptr;
    mpro::Context context = 0;
    ~LateClose() {
        if (done == nullptr) return;
        if (std::int32_t rc = done(context); rc != 0) {
            std::fprintf(stderr, "DoneCrypto at exit answered %d\n", static_cast<int>(rc));
            std::_Exit(1);
        }
    }
};
LateClose g_lateClose;

TEST(ToolkitExit, ContextOpenAtExitIsClosedThen) {
    Plugin& tk = Plugf();
    ASSERT_TRUE(tk.Loaded());
    mpro::Context ctx = tk.InitCrypto();
    ASSERT_NE(ctx, 0);
    ASSERT_EQ(tk.SetCryptoParamValue(ctx, 3, "DES-EDE3-CBC"), 0);
    g_lateClose.done = tk.DoneCrypto;
    g_lateClose.context = ctx;
}

}  // namespace
}  // namespace tkt
