// SetRootPath: the process-wide root once per process, then the engine's own root.
#include <gtest/gtest.h>

#include <string>

#include "exports/handle_set.h"
#include "platform/platform.h"
#include "support/zel_root.h"
#include "vorlan13.h"

namespace {

std::string EngineRoot(VORLAN_HANDLE handle) { return vorlan::exports::FindEngine(handle)->RootPath; }

// The process keeps its first root: every case here shares one, set on first use.
std::string ProcessRoot() {
    static const std::string root = [] {
        std::string dir = vorlan::platform::TempDirectory() + "vorlan_exports_root";
        VORLAN_HANDLE engine = GetCryptObj(0);
        if (vorlan::ZELRoot().empty()) SetRootPath(engine, dir.c_str());
        DoneEngine(engine);
        std::string set = vorlan::ZELRoot();
        return set.empty() ? set : set.substr(0, set.size() - 1);  // without its backslash
    }();
    return root;
}

TEST(SetRootPath, SetsTheEngineRootWithABackslash) {
    const std::string root = ProcessRoot();
    ASSERT_FALSE(root.empty());
    VORLAN_HANDLE engine = GetCryptObj(0);
    SetRootPath(engine, root.c_str());
    EXPECT_EQ(EngineRoot(engine), root + "\\");
    EXPECT_EQ(vorlan::ZELRoot(), root + "\\");
    DoneEngine(engine);
}

TEST(SetRootPath, TheSameRootWithATrailingBackslashIsAccepted) {
    const std::string root = ProcessRoot();
    VORLAN_HANDLE engine = GetCryptObj(0);
    SetRootPath(engine, (root + "\\").c_str());
    EXPECT_EQ(EngineRoot(engine), root + "\\");
    DoneEngine(engine);
}

TEST(SetRootPath, ADifferentRootLeavesTheEngineRootUnchanged) {
    const std::string root = ProcessRoot();
    VORLAN_HANDLE engine = GetCryptObj(0);
    SetRootPath(engine, (root + "_other").c_str());
    EXPECT_EQ(EngineRoot(engine), "");
    SetRootPath(engine, root.c_str());
    // Case matters in the comparison: another spelling is another root.
    std::string upper = root;
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    ASSERT_NE(upper, root);
    SetRootPath(engine, upper.c_str());
    EXPECT_EQ(EngineRoot(engine), root + "\\");
    EXPECT_EQ(vorlan::ZELRoot(), root + "\\");
    DoneEngine(engine);
}

// Neither an empty nor a null text takes the root away: "%ZELRoot%" paths would then
// lead into the working directory.
TEST(SetRootPath, EmptyOrNullTextKeepsTheEngineRoot) {
    const std::string root = ProcessRoot();
    VORLAN_HANDLE engine = GetCryptObj(0);
    SetRootPath(engine, root.c_str());
    for (const char* text : {"", static_cast<const char*>(nullptr)}) {
        SetRootPath(engine, text);
        EXPECT_EQ(EngineRoot(engine), root + "\\") << (text == nullptr ? "null" : "empty");
    }
    DoneEngine(engine);
}

TEST(SetRootPath, NullTextAndBadHandlesAreHarmless) {
    const std::string root = ProcessRoot();
    VORLAN_HANDLE engine = GetCryptObj(0);
    SetRootPath(engine, nullptr);
    EXPECT_EQ(EngineRoot(engine), "");
    SetRootPath(nullptr, root.c_str());
    DoneEngine(engine);
    SetRootPath(engine, root.c_str());  // destroyed handle
    EXPECT_EQ(vorlan::ZELRoot(), root + "\\");
}

}  // namespace
