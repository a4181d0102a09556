// Module loading through the platform layer: ".dll" names, case, lookup of loaded
// modules, symbols, file names and file versions.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "unit/platform/test_dirs.h"

namespace vorlan::platform {
namespace {

using vorlan::testing::BinDir;
using vorlan::testing::LowerAscii;

using AnswerFn = int (*)();

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }
std::string DirName(const std::string& path) { return path.substr(0, path.find_last_of("\\/")); }

// ModuleGuard: frees a module at the end of a test.
struct ModuleGuard {
    ModuleHandle handle;
    ~ModuleGuard() { FreeModule(handle); }
};

TEST(PlatformModules, DllNameWithDirectoryLoadsAndExposesSymbolsAndVersion) {
    ModuleGuard module{LoadModule(BinDir() + "TestModule.dll")};
    ASSERT_NE(module.handle, nullptr);
    auto answer = reinterpret_cast<AnswerFn>(ModuleSymbol(module.handle, "VorlanTestAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(ModuleSymbol(module.handle, "NoSuchSymbol"), nullptr);

    const auto version = ModuleFileVersion(module.handle);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->major, 1);
    EXPECT_EQ(version->minor, 2);
    EXPECT_EQ(version->build, 3);
    EXPECT_EQ(version->revision, 4);

    const std::string file = ModuleFileName(module.handle);
    EXPECT_EQ(LowerAscii(BaseName(file)), LowerAscii(MappedModuleName("TestModule.dll")));
    // The test module is built beside the test program.
    EXPECT_EQ(LowerAscii(DirName(file)), LowerAscii(DirName(HostExecutablePath())));
}

TEST(PlatformModules, LoadedModuleIsFoundByNameWithoutRegardToCase) {
    EXPECT_EQ(FindLoadedModule("TestModule.dll"), nullptr);
    ModuleHandle handle = LoadModule(BinDir() + "testmodule.DLL");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(FindLoadedModule("TESTMODULE.dll"), handle);
    EXPECT_EQ(FindLoadedModule(BinDir() + "TestModule.dll"), handle);
    // The lookup adds no reference: one free unloads the module.
    FreeModule(handle);
    EXPECT_EQ(FindLoadedModule("TestModule.dll"), nullptr);
}

TEST(PlatformModules, BareNameIsFoundBesideTheHostExecutable) {
    ModuleGuard module{LoadModule("TestModule.dll")};
    ASSERT_NE(module.handle, nullptr);
    EXPECT_NE(ModuleSymbol(module.handle, "VorlanTestAnswer"), nullptr);
}

TEST(PlatformModules, MissingModulesAndVersionsGiveNothing) {
    EXPECT_EQ(LoadModule(BinDir() + "NoSuchModule.dll"), nullptr);
    EXPECT_EQ(LoadModule("NoSuchModule.dll"), nullptr);
    EXPECT_EQ(LoadModule(""), nullptr);
    EXPECT_EQ(FindLoadedModule("NoSuchModule.dll"), nullptr);
    EXPECT_EQ(ModuleFileVersion(nullptr), std::nullopt);

    ModuleGuard plain{LoadModule(BinDir() + "cryptlib_test\\CryptLib.dll")};
    ASSERT_NE(plain.handle, nullptr);
    EXPECT_EQ(ModuleFileVersion(plain.handle), std::nullopt);
}

TEST(PlatformModules, NullModuleNamesTheHostExecutable) {
    const std::string exe = HostExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(ModuleFileName(nullptr), exe);
    EXPECT_TRUE(FileExists(exe));
    EXPECT_NE(LowerAscii(BaseName(exe)).find("unit_platform"), std::string::npos);
}

TEST(PlatformModules, MappedNameOnlyChangesDllSuffix) {
#ifdef _WIN32
    EXPECT_EQ(MappedModuleName("a\\mplugf.dll"), "a\\mplugf.dll");
#else
    EXPECT_EQ(MappedModuleName("a\\mplugf.dll"), "a\\mplugf.so");
    EXPECT_EQ(MappedModuleName("MPLUG.DLL"), "MPLUG.so");
#endif
    EXPECT_EQ(MappedModuleName("libx.so"), "libx.so");
    EXPECT_EQ(MappedModuleName("dll"), "dll");
}

}  // namespace
}  // namespace vorlan::platform
