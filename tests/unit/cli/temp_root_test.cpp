// The demonstration's temporary installation root: new for every run, removed with its
// contents unless kept.
#include <gtest/gtest.h>

#include <memory>

#include "demo_installation.h"
#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::cli {
namespace {

TEST(TempRoot, RemovedWithItsContents) {
    std::string path;
    {
        TempRoot root(false);
        path = root.Path();
        ASSERT_TRUE(platform::DirectoryExists(path));
        EXPECT_EQ(path.back(), '\\');
        ASSERT_TRUE(CreateDirectoryPath(path + "GOST\\USER01"));
        const std::string key = "secret key";
        ASSERT_TRUE(platform::WriteWholeFile(path + "GOST\\USER01\\key.pem", key.data(), key.size()));
    }
    EXPECT_FALSE(platform::DirectoryExists(path));
}

TEST(TempRoot, KeptWhenAsked) {
    std::string path;
    {
        TempRoot root(true);
        path = root.Path();
    }
    EXPECT_TRUE(platform::DirectoryExists(path));
    EXPECT_TRUE(DeleteDirectory(path, true));
}

TEST(TempRoot, EveryRootIsNew) {
    TempRoot first(false), second(false);
    EXPECT_NE(first.Path(), second.Path());
    EXPECT_TRUE(platform::DirectoryExists(first.Path()));
    EXPECT_TRUE(platform::DirectoryExists(second.Path()));
}

}  // namespace
}  // namespace vorlan::cli
