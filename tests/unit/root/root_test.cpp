// The process-wide installation root: setting it once, the "Path" extension, library
// file search order and the plug-in loading fallback.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "support/errors.h"
#include "support/zel_root.h"
#include "unit/platform/test_dirs.h"

namespace vorlan {
namespace {

using vorlan::testing::BinDir;
using vorlan::testing::LowerAscii;
using vorlan::testing::NativeFile;
using vorlan::testing::ScratchDir;

// Each test starts without a root and gets the process's "Path" back afterwards.
class RootTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetZELRootForTests();
        savedPath_ = platform::GetEnv("Path");
    }
    void TearDown() override {
        ResetZELRootForTests();
        platform::SetEnv("Path", savedPath_.value_or(""));
    }

private:
    std::optional<std::string> savedPath_;
};

// Slashes: a path with "/" only, lower case, for comparing names the system reports.
std::string Slashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return LowerAscii(path);
}

using RootSetting = RootTest;

TEST_F(RootSetting, FirstRootFillsSearchDirsAndExtendsEmptyPath) {
    platform::SetEnv("Path", "");
    SetZELRoot("C:\\Root");
    EXPECT_EQ(ZELRoot(), "C:\\Root\\");
    EXPECT_EQ(SearchDirs(), (std::vector<std::string>{"C:\\Root\\EXE\\", "C:\\Root\\SYSTEM\\", "C:\\Root\\USER\\"}));
    EXPECT_EQ(platform::GetEnv("Path"), "C:\\Root\\USER\\;C:\\Root\\SYSTEM\\;C:\\Root\\EXE\\");
}

TEST_F(RootSetting, DirectoriesGoInFrontOfAnExistingPath) {
    platform::SetEnv("Path", "C:\\Windows;C:\\Tools");
    SetZELRoot("C:\\Root\\");
    EXPECT_EQ(platform::GetEnv("Path"), "C:\\Root\\USER\\;C:\\Root\\SYSTEM\\;C:\\Root\\EXE\\;C:\\Windows;C:\\Tools");
}

TEST_F(RootSetting, SameRootAgainChangesNothing) {
    platform::SetEnv("Path", "C:\\Windows");
    SetZELRoot("C:\\Root");
    const auto path = platform::GetEnv("Path");
    EXPECT_NO_THROW(SetZELRoot("C:\\Root\\"));
    EXPECT_NO_THROW(SetZELRoot("C:\\Root"));
    EXPECT_EQ(platform::GetEnv("Path"), path);
    EXPECT_EQ(ZELRoot(), "C:\\Root\\");
    EXPECT_EQ(SearchDirs().size(), 3u);
}

TEST_F(RootSetting, DifferentSecondRootFailsWithMessageAndChangesNothing) {
    platform::SetEnv("Path", "C:\\Windows");
    SetZELRoot("C:\\Root");
    const auto path = platform::GetEnv("Path");
    try {
        SetZELRoot("c:\\root");
        FAIL() << "a different root was accepted";
    } catch (const ECryptoEngineError& e) {
        EXPECT_STREQ(e.what(), "Could not set ZELRoot to 'c:\\root'. Already set to 'C:\\Root\\'.");
    }
    EXPECT_THROW(SetZELRoot("D:\\Other\\"), ECryptoEngineError);
    EXPECT_EQ(ZELRoot(), "C:\\Root\\");
    EXPECT_EQ(SearchDirs().front(), "C:\\Root\\EXE\\");
    EXPECT_EQ(platform::GetEnv("Path"), path);
}

TEST_F(RootSetting, EmptyRootIsIgnored) {
    platform::SetEnv("Path", "C:\\Windows");
    SetZELRoot("");
    EXPECT_EQ(ZELRoot(), "");
    EXPECT_TRUE(SearchDirs().empty());
    EXPECT_EQ(platform::GetEnv("Path"), "C:\\Windows");
    SetZELRoot("D:\\Zel");
    EXPECT_EQ(ZELRoot(), "D:\\Zel\\");
}

TEST_F(RootSetting, UnloadClearsRootButKeepsPath) {
    platform::SetEnv("Path", "");
    SetZELRoot("C:\\Root");
    ZELRootModuleUnload();
    EXPECT_EQ(ZELRoot(), "");
    EXPECT_TRUE(SearchDirs().empty());
    EXPECT_EQ(platform::GetEnv("Path"), "C:\\Root\\USER\\;C:\\Root\\SYSTEM\\;C:\\Root\\EXE\\");
    ZELRootModuleLoad();
    SetZELRoot("D:\\Next");
    EXPECT_EQ(ZELRoot(), "D:\\Next\\");
}

// A library file placed in the module directories of a scratch root and beside the
// host executable; every copy is removed at the end.
class LibrarySearch : public RootTest {
protected:
    void SetUp() override {
        RootTest::SetUp();
        name_ = "vorlan_find_" + std::to_string(platform::CurrentThreadId()) + ".dll";
        for (const char* sub : {"EXE", "SYSTEM", "USER"}) ASSERT_TRUE(platform::CreateDir(root_ / sub));
        const std::string exe = platform::HostExecutablePath();
        hostDir_ = exe.substr(0, exe.find_last_of("\\/") + 1);
    }
    void TearDown() override {
        platform::DeleteFile(hostDir_ + platform::MappedModuleName(name_));
        RootTest::TearDown();
    }
    // Place: creates the library's file in a directory (with trailing separator).
    void Place(const std::string& dir) {
        const std::string file = dir + platform::MappedModuleName(name_);
        ASSERT_TRUE(platform::WriteWholeFile(file, "lib", 3)) << file;
    }
    std::string InRoot(const std::string& sub) const { return ZELRoot() + sub + "\\" + name_; }

    ScratchDir root_;
    std::string name_, hostDir_;
};

TEST_F(LibrarySearch, NameWithDirectoryPartIsReturnedUnchanged) {
    EXPECT_EQ(FindLibraryFile("C:\\Nowhere\\mplugf.dll"), "C:\\Nowhere\\mplugf.dll");
    EXPECT_EQ(FindLibraryFile("sub/mplugf.dll"), "sub/mplugf.dll");
    EXPECT_EQ(FindLibraryFile("D:mplugf.dll"), "D:mplugf.dll");
    EXPECT_EQ(FindLibraryFile(name_), name_);  // found nowhere: the bare name
}

TEST_F(LibrarySearch, WithoutRootOnlyTheHostDirectoryIsSearched) {
    Place(root_ / "EXE\\");
    EXPECT_EQ(FindLibraryFile(name_), name_);
    Place(hostDir_);
    EXPECT_EQ(FindLibraryFile(name_), hostDir_ + name_);
}

TEST_F(LibrarySearch, OrderIsHostThenExeSystemUser) {
    SetZELRoot(root_.path());
    Place(root_ / "USER\\");
    EXPECT_EQ(FindLibraryFile(name_), InRoot("USER"));
    Place(root_ / "SYSTEM\\");
    EXPECT_EQ(FindLibraryFile(name_), InRoot("SYSTEM"));
    Place(root_ / "EXE\\");
    EXPECT_EQ(FindLibraryFile(name_), InRoot("EXE"));
    Place(hostDir_);
    EXPECT_EQ(FindLibraryFile(name_), hostDir_ + name_);
}

TEST_F(LibrarySearch, LoadsFromTheRootsModuleDirectories) {
    const std::string module = platform::MappedModuleName("TestModule.dll");
    const std::string copy = platform::MappedModuleName("RootPlugin.dll");
    const auto bytes = platform::ReadWholeFile(BinDir() + module);
    ASSERT_TRUE(bytes);
    ASSERT_TRUE(platform::WriteWholeFile(root_ / "SYSTEM\\" + copy, bytes->data(), bytes->size()));
    SetZELRoot(root_.path());

    platform::ModuleHandle handle = LoadLibraryFromSearchDirs("RootPlugin.dll");
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(platform::ModuleSymbol(handle, "VorlanTestAnswer"), nullptr);
    const std::string file = Slashes(platform::ModuleFileName(handle));
    EXPECT_EQ(file.substr(file.size() - (8 + copy.size())), Slashes("/system/" + copy));
    platform::FreeModule(handle);

    EXPECT_EQ(LoadLibraryFromSearchDirs("NoSuchPlugin.dll"), nullptr);
    EXPECT_EQ(LoadCryptoLibrary("NoSuchPlugin.dll"), nullptr);
}

TEST_F(RootTest, CryptoLibraryFallsBackToTheDirectoryOfLoadedCryptLib) {
    // Before "CryptLib.dll" is loaded the fallback is the host's own directory: not there.
    EXPECT_EQ(LoadCryptoLibrary("FallbackPlugin.dll"), nullptr);

    platform::ModuleHandle cryptLib = platform::LoadModule(BinDir() + "cryptlib_test\\CryptLib.dll");
    ASSERT_NE(cryptLib, nullptr);
    platform::ModuleHandle plugin = LoadCryptoLibrary("FallbackPlugin.dll");
    ASSERT_NE(plugin, nullptr);
    EXPECT_NE(platform::ModuleSymbol(plugin, "VorlanTestAnswer"), nullptr);
    EXPECT_EQ(Slashes(platform::ModuleFileName(plugin)).find("/cryptlib_test/") != std::string::npos, true);
    platform::FreeModule(plugin);
    platform::FreeModule(cryptLib);
}

TEST_F(RootTest, CryptoLibraryBesideTheHostIsLoadedFirst) {
    platform::ModuleHandle handle = LoadCryptoLibrary("TestModule.dll");
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(platform::ModuleSymbol(handle, "VorlanTestAnswer"), nullptr);
    platform::FreeModule(handle);
}

}  // namespace
}  // namespace vorlan
