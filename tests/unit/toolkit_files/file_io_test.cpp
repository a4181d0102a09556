// The toolkit's file layer: whole files replaced in one rename (owner-only ones kept so,
// copies too), stamps that tell file versions apart, listings, names in any case.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

#include "file_io.h"
#include "file_system.h"
#include "platform/platform.h"
#include "support/file_utils.h"

#if defined(_WIN32)
#include <windows.h>  // after the library's headers, whose names it would redefine
#endif

namespace {

#if defined(VORLAN_TESTS_UNDER_WINE)
constexpr bool kProtectionVisible = false;
#else
constexpr bool kProtectionVisible = true;
#endif

class ToolkitFilesTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        dir_ = vorlan::platform::TempDirectory() + "vorlan_tkfiles_" + std::to_string(std::random_device{}());
        ASSERT_TRUE(vtk::os::CreateDirectories(dir_));
    }
    void TearDown() override { vorlan::DeleteDirectory(dir_, true); }
    std::string In(const std::string& name) const { return vtk::JoinPath(dir_, name); }
    std::string dir_;
};

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Parameter: whether the file is owner-only (private key material).
TEST_P(ToolkitFilesTest, ReplacesWholeFilesAndKeepsTheirProtection) {
    const bool ownerOnly = GetParam();
    const std::string file = In("Keys\\DB/sec.key");  // parents missing, both separators
    ASSERT_TRUE(vtk::WriteFileAtomic(file, "first", ownerOnly));
    const auto first = vtk::StampOf(file);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size, 5u);
    EXPECT_LT(std::llabs(first->mtimeNs - NowNs()), 86400LL * 1000000000) << "modification time since 1970";

    ASSERT_TRUE(vtk::WriteFileAtomic(file, "fir2t", ownerOnly));
    EXPECT_EQ(vtk::ReadFile(file), "fir2t");
    const auto second = vtk::StampOf(file);
    ASSERT_TRUE(second);
    EXPECT_NE(second->inode, first->inode) << "a replaced file is a new file";
    EXPECT_EQ(vtk::ListFiles(In("Keys/DB")), std::vector<std::string>{vtk::JoinPath(In("Keys/DB"), "sec.key")})
        << "no temporary file left";
    EXPECT_FALSE(vtk::os::WriteNewFile(file, "third", ownerOnly ? 0600u : 0644u)) << "an existing file is never opened for writing";
    EXPECT_EQ(vtk::ReadFile(file), "fir2t");

    const std::string copy = In("backup/sec.key");
    ASSERT_TRUE(vtk::CopyFileWhole(file, copy));
    EXPECT_EQ(vtk::ReadFile(copy), "fir2t");
    if (kProtectionVisible) {
        EXPECT_EQ(vtk::os::IsOwnerOnly(file), ownerOnly);
        EXPECT_EQ(vtk::os::IsOwnerOnly(copy), ownerOnly) << "a copy keeps the protection of its source";
    }
    ASSERT_TRUE(vtk::RenameFile(copy, file));
    EXPECT_FALSE(vtk::IsFile(copy));
    EXPECT_TRUE(vtk::IsFile(file));
}

INSTANTIATE_TEST_SUITE_P(Protection, ToolkitFilesTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "OwnerOnly" : "Shared"; });

TEST_F(ToolkitFilesTest, ListsFilesOnlyInNameOrder) {
    for (const char* name : {"b.pem", "a.pem", "sub/c.pem"}) ASSERT_TRUE(vtk::WriteFileAtomic(In(name), name, false));
    EXPECT_EQ(vtk::ListFiles(dir_), (std::vector<std::string>{In("a.pem"), In("b.pem")}));
    EXPECT_TRUE(vtk::IsDirectory(In("sub")));
    EXPECT_FALSE(vtk::IsFile(In("sub")));
    EXPECT_TRUE(vtk::ListFiles(In("missing")).empty());
}

TEST_F(ToolkitFilesTest, FindsNamesInAnyCase) {
    ASSERT_TRUE(vtk::WriteFileAtomic(In("Certs/User01.PEM"), "certificate", false));
    EXPECT_EQ(vtk::ReadFile(vtk::ResolvePath(In("CERTS\\user01.pem"))), "certificate");
    EXPECT_FALSE(vtk::ReadFile(vtk::ResolvePath(In("CERTS\\user02.pem"))));
}

#if defined(_WIN32)
// A rename that replaces a file opens the old one exclusively for an instant: a reader that
// comes then waits it out instead of taking the file for missing.
TEST_F(ToolkitFilesTest, ReadersWaitOutAMomentaryExclusiveOpen) {
    const std::string file = In("USER04.pem");
    ASSERT_TRUE(vtk::WriteFileAtomic(file, "certificate", false));
    for (const auto& read : std::vector<std::function<std::optional<std::string>()>>{
             [&] { return vtk::ReadFile(file); }, [&] { return vorlan::platform::ReadWholeFile(file); }}) {
        HANDLE held = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread release([held] {
            Sleep(100);
            CloseHandle(held);
        });
        EXPECT_EQ(read(), "certificate");
        release.join();
    }
}
#endif

}  // namespace
