// File, directory and numbered-name routines on real directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/platform.h"
#include "support/file_utils.h"
#include "unit/platform/test_dirs.h"

namespace vorlan {
namespace {

using vorlan::testing::NamesOnDisk;
using vorlan::testing::NativeFile;
using vorlan::testing::ScratchDir;

TEST(FileWrite, WriteFileBufferReplacesContent) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBuffer(dir / "f.bin", "long old content", 16));
    ASSERT_TRUE(WriteFileBuffer(dir / "F.BIN", "new", 3));
    EXPECT_EQ(platform::ReadWholeFile(dir / "f.bin"), "new");
    EXPECT_EQ(NamesOnDisk(dir.path()).size(), 1u);
    ASSERT_TRUE(WriteFileBuffer(dir / "empty", "", 0));
    EXPECT_EQ(platform::FileSize(dir / "empty"), 0);
    EXPECT_FALSE(WriteFileBuffer(dir / "missing\\f.bin", "x", 1));
    EXPECT_FALSE(WriteFileBuffer(dir / "neg.bin", "x", -1));
    EXPECT_FALSE(platform::FileExists(dir / "neg.bin"));
    EXPECT_FALSE(WriteFileBuffer(dir / "null.bin", nullptr, 4));
}

TEST(FileRead, ReadFileBufferCapacityRules) {
    ScratchDir dir;
    NativeFile(dir.path(), "data.bin", "0123456789");
    char buffer[16] = {};
    std::int32_t capacity = 9;
    EXPECT_FALSE(ReadFileBuffer(dir / "data.bin", buffer, &capacity));
    EXPECT_EQ(capacity, 9);
    EXPECT_EQ(buffer[0], '\0');

    capacity = 10;
    ASSERT_TRUE(ReadFileBuffer(dir / "DATA.BIN", buffer, &capacity));
    EXPECT_EQ(capacity, 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");

    capacity = 16;
    ASSERT_TRUE(ReadFileBuffer(dir / "data.bin", buffer, &capacity));
    EXPECT_EQ(capacity, 10);

    capacity = 16;
    EXPECT_FALSE(ReadFileBuffer(dir / "missing.bin", buffer, &capacity));
    EXPECT_EQ(capacity, 16);
    EXPECT_FALSE(ReadFileBuffer(dir / "data.bin", nullptr, &capacity));
    EXPECT_FALSE(ReadFileBuffer(dir / "data.bin", buffer, nullptr));
    EXPECT_FALSE(ReadFileBuffer(dir.path(), buffer, &capacity));
}

TEST(FileCopy, CopyFileWholeKeepsDestinationWhenSourceIsMissing) {
    ScratchDir dir;
    NativeFile(dir.path(), "dest.txt", "keep me");
    EXPECT_FALSE(CopyFileWhole(dir / "missing.txt", dir / "dest.txt"));
    EXPECT_EQ(platform::ReadWholeFile(dir / "dest.txt"), "keep me");
    EXPECT_FALSE(CopyFileWhole(dir / "missing.txt", dir / "new.txt"));
    EXPECT_FALSE(platform::FileExists(dir / "new.txt"));

    NativeFile(dir.path(), "src.txt", "source");
    ASSERT_TRUE(CopyFileWhole(dir / "SRC.txt", dir / "dest.txt"));
    EXPECT_EQ(platform::ReadWholeFile(dir / "dest.txt"), "source");
    EXPECT_FALSE(CopyFileWhole(dir / "src.txt", dir / "missing\\x.txt"));
}

TEST(FileCopy, CopyDirectoryCopiesTreeAndReadOnlyAttribute) {
    ScratchDir dir;
    NativeFile(dir.path(), "src/a.txt", "A");
    NativeFile(dir.path(), "src/Sub/b.txt", "B");
    NativeFile(dir.path(), "src/Sub/Deeper/c.txt", "C");
    NativeFile(dir.path(), "src/.hidden", "H");
    ASSERT_TRUE(platform::SetAttributes(dir / "src\\a.txt", platform::kAttrReadOnly));

    ASSERT_TRUE(CopyDirectory(dir / "src", dir / "dst"));
    EXPECT_EQ(platform::ReadWholeFile(dir / "dst\\a.txt"), "A");
    EXPECT_EQ(platform::ReadWholeFile(dir / "dst\\Sub\\b.txt"), "B");
    EXPECT_EQ(platform::ReadWholeFile(dir / "dst\\Sub\\Deeper\\c.txt"), "C");
    EXPECT_FALSE(platform::FileExists(dir / "dst\\.hidden"));  // "." names are skipped
    EXPECT_NE(*platform::GetAttributes(dir / "dst\\a.txt") & platform::kAttrReadOnly, 0u);

    EXPECT_FALSE(CopyDirectory(dir / "missing", dir / "dst2"));
    EXPECT_FALSE(platform::DirectoryExists(dir / "dst2"));
    // The destination's parent must exist: only one level is created.
    EXPECT_FALSE(CopyDirectory(dir / "src", dir / "no\\such\\dst"));
    // The skipped "." file keeps the source directory from being removed.
    EXPECT_FALSE(DeleteDirectory(dir / "src", true));
    EXPECT_EQ(NamesOnDisk(dir.path() + "/src"), (std::set<std::string>{".hidden"}));
    EXPECT_TRUE(DeleteDirectory(dir / "dst", true));
}

TEST(FileDelete, DeleteDirectoryEmptiesAndKeepsOrRemovesIt) {
    ScratchDir dir;
    NativeFile(dir.path(), "tree/a.txt", "A");
    NativeFile(dir.path(), "tree/ro.txt", "R");
    NativeFile(dir.path(), "tree/Sub/b.txt", "B");
    NativeFile(dir.path(), "tree/Sub/ro2.txt", "R");
    ASSERT_TRUE(platform::SetAttributes(dir / "tree\\ro.txt", platform::kAttrReadOnly));
    ASSERT_TRUE(platform::SetAttributes(dir / "tree\\Sub\\ro2.txt", platform::kAttrReadOnly));

    ASSERT_TRUE(DeleteDirectory(dir / "TREE", false));
    EXPECT_TRUE(platform::DirectoryExists(dir / "tree"));
    EXPECT_TRUE(NamesOnDisk(dir.path() + "/tree").empty());

    NativeFile(dir.path(), "tree/c.txt", "C");
    ASSERT_TRUE(DeleteDirectory(dir / "tree\\", true));
    EXPECT_FALSE(platform::DirectoryExists(dir / "tree"));
    EXPECT_FALSE(DeleteDirectory(dir / "tree", true));
    NativeFile(dir.path(), "file.txt", "F");
    EXPECT_FALSE(DeleteDirectory(dir / "file.txt", true));
    EXPECT_TRUE(platform::FileExists(dir / "file.txt"));
}

TEST(FileNumbering, NextNumberedNameReadsTheNumberAtTheStar) {
    ScratchDir dir;
    EXPECT_EQ(NextNumberedName(dir.path(), "crl*.pem"), 1);
    for (const char* name : {"crl1.pem", "crl12.pem", "CRL5.PEM", "crlx.pem", "crl.pem", "crl7.der"})
        NativeFile(dir.path(), name, "x");
    ASSERT_TRUE(platform::CreateDir(dir / "crl99.pem"));  // a directory does not count
    EXPECT_EQ(NextNumberedName(dir.path(), "crl*.pem"), 13);
    EXPECT_EQ(NextNumberedName(dir.path(), "crl.pem"), 0);
    EXPECT_EQ(NextNumberedName(dir / "missing", "crl*.pem"), 0);
    EXPECT_EQ(NextNumberedName(dir.path(), "ca*.pem"), 1);

    NativeFile(dir.path(), "ca.pem", "x");
    NativeFile(dir.path(), "ca00041.pem", "x");
    EXPECT_EQ(NextNumberedName(dir.path() + "\\", "ca*.pem"), 42);
    NativeFile(dir.path(), "ca2147483647.pem", "x");  // the largest number would overflow: skipped
    EXPECT_EQ(NextNumberedName(dir.path(), "ca*.pem"), 42);
}

TEST(FileNumbering, NextNumberedExtensionReadsTheLastThreeCharacters) {
    ScratchDir dir;
    EXPECT_EQ(NextNumberedExtension(dir / "missing", "base"), 0);
    EXPECT_EQ(NextNumberedExtension(dir.path(), "base"), 1);
    for (const char* name : {"base.001", "BASE.007", "base.pem", "base", "other.009"}) NativeFile(dir.path(), name, "x");
    EXPECT_EQ(NextNumberedExtension(dir.path(), "base"), 8);
    EXPECT_EQ(NextNumberedExtension(dir.path(), "other"), 10);
}

TEST(FileSearch, FindFilesByExtensionComparesLastThreeCharacters) {
    ScratchDir dir;
    for (const char* name : {"a.pem", "b.PEM", "c.cer", "d.xpem", "Sub/e.pem", "Sub/Deep/f.Pem", ".g.pem"})
        NativeFile(dir.path(), name, "x");
    std::vector<std::string> list{"existing"};
    FindFilesByExtension(dir.path(), "pem", list, false);
    std::vector<std::string> expected{"existing", dir / "a.pem", dir / "b.PEM", dir / "d.xpem"};
    std::sort(list.begin() + 1, list.end());
    EXPECT_EQ(list, expected);

    list.clear();
    FindFilesByExtension(dir.path(), "PEM", list, true);
    EXPECT_EQ(list.size(), 5u);
    EXPECT_NE(std::find(list.begin(), list.end(), dir / "Sub\\Deep\\f.Pem"), list.end());

    list.clear();
    FindFilesByExtension(dir / "missing", "pem", list, true);
    EXPECT_TRUE(list.empty());
}

TEST(FileDirectories, CreateDirectoryPathCreatesAllParents) {
    ScratchDir dir;
    ASSERT_TRUE(CreateDirectoryPath(dir / "a\\b\\c\\"));
    EXPECT_TRUE(IsDirectory(dir / "a\\b\\c"));
    EXPECT_TRUE(CreateDirectoryPath(dir / "A\\B"));  // already there, any case
    EXPECT_EQ(NamesOnDisk(dir.path()), (std::set<std::string>{"a"}));
    EXPECT_FALSE(CreateDirectoryPath(""));
    EXPECT_TRUE(CreateDirectoryPath("C:"));
    NativeFile(dir.path(), "file", "x");
    EXPECT_FALSE(CreateDirectoryPath(dir / "file\\sub"));
    EXPECT_FALSE(IsDirectory(dir / "file"));
    EXPECT_TRUE(IsDirectory(dir.path()));
    EXPECT_FALSE(IsDirectory(dir / "nothing"));
}

#ifndef _WIN32
// Permission bits of what the library writes: copies keep the source's, key material is the
// owner's alone, also when it replaces a file that others could read.
TEST(FilePermissions, CopiesKeepTheSourceBitsAndKeyMaterialIsOwnerOnly) {
    namespace fs = std::filesystem;
    auto mode = [](const std::string& path) {
        return static_cast<unsigned>(fs::status(platform::NativePath(path)).permissions() & fs::perms::mask);
    };
    struct Case {
        const char* what;
        std::function<bool(const ScratchDir&)> write;
        unsigned expected;
    };
    const Case cases[] = {
        {"copy", [](const ScratchDir& d) { return CopyFileWhole(d / "src.txt", d / "out.txt"); }, 0640},
        {"key copy",
         [](const ScratchDir& d) { return CopyFileWhole(d / "src.txt", d / "out.txt", FileAccess::KeyMaterial); }, 0600},
        {"key write",
         [](const ScratchDir& d) { return WriteFileBuffer(d / "out.txt", "key", 3, FileAccess::KeyMaterial); }, 0600},
        {"key over a shared file",
         [](const ScratchDir& d) { return platform::WriteWholeFile(d / "shared.txt", "k", 1, platform::kOwnerOnly); },
         0600},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        NativeFile(dir.path(), "src.txt", "source");
        NativeFile(dir.path(), "shared.txt", "shared");
        fs::permissions(dir.path() + "/src.txt", static_cast<fs::perms>(0640));
        fs::permissions(dir.path() + "/shared.txt", static_cast<fs::perms>(0644));
        ASSERT_TRUE(c.write(dir)) << c.what;
        const std::string written = platform::FileExists(dir / "out.txt") ? dir / "out.txt" : dir / "shared.txt";
        EXPECT_EQ(mode(written), c.expected) << c.what;
    }
}
#endif

TEST(FileDirectories, GetTempDirEndsInSeparator) {
    const std::string temp = GetTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(platform::IsPathSeparator(temp.back()));
    EXPECT_TRUE(IsDirectory(temp));
}

}  // namespace
}  // namespace vorlan
