// The built library loaded and unloaded at run time, as a host does, more than once.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "vorlan13.h"

namespace {

#ifdef _WIN32
constexpr const char* kLibraryFile = "vorlan13.dll";
#else
constexpr const char* kLibraryFile = "libvorlan13.so";
#endif

template <typename Fn>
Fn Get(vorlan::platform::ModuleHandle module, const char* name) {
    return reinterpret_cast<Fn>(vorlan::platform::ModuleSymbol(module, name));
}

TEST(LibraryLoad, LoadUseAndUnloadRepeatedly) {
    const auto dir = vorlan::platform::GetEnv("VORLAN_BIN_DIR");
    if (!dir) GTEST_SKIP() << "VORLAN_BIN_DIR names the directory of the built library";
    for (int round = 0; round < 3; ++round) {
        vorlan::platform::ModuleHandle library = vorlan::platform::LoadModule(*dir + "/" + kLibraryFile);
        ASSERT_NE(library, nullptr) << *dir;
        auto getCryptObj = Get<decltype(&GetCryptObj)>(library, "GetCryptObj");
        auto doneEngine = Get<decltype(&DoneEngine)>(library, "DoneEngine");
        auto isDifferentKeys = Get<decltype(&IsDifferentKeys)>(library, "IsDifferentKeys");
        auto maxUid = Get<decltype(&GetMaxUIDLength)>(library, "GetMaxUIDLength");
        ASSERT_TRUE(getCryptObj && doneEngine && isDifferentKeys && maxUid);

        VORLAN_HANDLE engine = getCryptObj(0);
        ASSERT_NE(engine, nullptr);
        EXPECT_EQ(isDifferentKeys(engine), 0);
        EXPECT_EQ(maxUid(nullptr), -1);
        // The library's handle set is its own: a handle of this copy means nothing here.
        EXPECT_EQ(IsDifferentKeys(engine), -1);
        doneEngine(engine);
        EXPECT_EQ(isDifferentKeys(engine), -1);
        vorlan::platform::FreeModule(library);
    }
}

}  // namespace
