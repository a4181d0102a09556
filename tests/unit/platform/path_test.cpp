// File-name rules of the platform layer: separators, case, creation spelling, masks,
// renaming, attributes and whole-file I/O.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/platform.h"
#include "unit/platform/test_dirs.h"

namespace vorlan::platform {
namespace {

using vorlan::testing::LowerAscii;
using vorlan::testing::NamesOnDisk;
using vorlan::testing::NativeFile;
using vorlan::testing::ScratchDir;

std::set<std::string> EnumeratedNames(const std::string& pattern) {
    std::set<std::string> names;
    for (const auto& e : Enumerate(pattern)) names.insert(e.name);
    return names;
}

TEST(PlatformPaths, MixedSeparatorsReachTheSameFile) {
    ScratchDir dir;
    NativeFile(dir.path(), "a/b/c.txt", "abc");
    EXPECT_EQ(ReadWholeFile(dir / "a\\b\\c.txt"), "abc");
    EXPECT_EQ(ReadWholeFile(dir.path() + "/a\\b/c.txt"), "abc");
    EXPECT_TRUE(DirectoryExists(dir.path() + "/a/b/"));
    EXPECT_TRUE(DirectoryExists(dir / "a\\b\\"));
    EXPECT_FALSE(FileExists(dir / "a\\b"));
    EXPECT_FALSE(DirectoryExists(dir / "a\\b\\c.txt"));
}

TEST(PlatformPaths, CaseVariantsOfFilesAndDirectoriesAreFound) {
    ScratchDir dir;
    NativeFile(dir.path(), "Keys/DB/Tmp_cert.pem", "cert");
    EXPECT_TRUE(FileExists(dir / "KEYS\\db\\tmp_cert.pem"));
    EXPECT_TRUE(DirectoryExists(dir / "keys\\Db"));
    EXPECT_EQ(ReadWholeFile(dir / "kEYS\\DB\\TMP_CERT.PEM"), "cert");
    EXPECT_EQ(FileSize(dir / "keys\\db\\TMP_cert.pem"), 4);
    EXPECT_FALSE(FileExists(dir / "Keys\\DB\\Tmp_cert.pe"));
    EXPECT_FALSE(FileExists(dir / "Missing\\DB\\Tmp_cert.pem"));
}

#ifndef _WIN32
TEST(PlatformPaths, ExactSpellingWinsOverCaseVariant) {
    ScratchDir dir;
    NativeFile(dir.path(), "abc", "lower");
    NativeFile(dir.path(), "ABC", "upper");
    NativeFile(dir.path(), "Sub/x", "mixed");
    NativeFile(dir.path(), "SUB/x", "upper-dir");
    EXPECT_EQ(ReadWholeFile(dir / "abc"), "lower");
    EXPECT_EQ(ReadWholeFile(dir / "ABC"), "upper");
    // No exact entry: the first match in name order ("ABC" sorts before "abc").
    EXPECT_EQ(ReadWholeFile(dir / "Abc"), "upper");
    EXPECT_EQ(ReadWholeFile(dir / "Sub\\x"), "mixed");
    EXPECT_EQ(ReadWholeFile(dir / "sub\\X"), "upper-dir");
    EXPECT_EQ(NativePath(dir / "sUb\\X"), dir.path() + "/SUB/x");
    NativeFile(dir.path(), "ЁЛКИН/Семён.pem", "cyrillic");  // UTF-8 names fold as letters
    EXPECT_EQ(ReadWholeFile(dir / "ёлкин\\СЕМЁН.PEM"), "cyrillic");
    EXPECT_EQ(EnumeratedNames(dir / "ЁЛКИН\\семён.*"), (std::set<std::string>{"Семён.pem"}));
}
#endif

TEST(PlatformPaths, CreationKeepsTheGivenSpellingOfTheLastComponent) {
    ScratchDir dir;
    ASSERT_TRUE(CreateDir(dir / "Keys"));
    ASSERT_TRUE(CreateDir(dir / "KEYS\\NewDir"));
    const char data[] = "x";
    ASSERT_TRUE(WriteWholeFile(dir / "keys\\newdir\\MyFile.TXT", data, 1));
    EXPECT_EQ(NamesOnDisk(dir.path()), (std::set<std::string>{"Keys"}));
    EXPECT_EQ(NamesOnDisk(dir.path() + "/Keys"), (std::set<std::string>{"NewDir"}));
    EXPECT_EQ(NamesOnDisk(dir.path() + "/Keys/NewDir"), (std::set<std::string>{"MyFile.TXT"}));
    // A case variant of an existing directory is that directory: creating it again fails.
    EXPECT_FALSE(CreateDir(dir / "KEYS"));
    EXPECT_FALSE(CreateDir(dir / "Missing\\Child"));
}

TEST(PlatformPaths, WritingACaseVariantReplacesTheExistingFile) {
    ScratchDir dir;
    NativeFile(dir.path(), "tmp_cert.pem", "old content");
    ASSERT_TRUE(WriteWholeFile(dir / "Tmp_Cert.PEM", "new", 3));
    EXPECT_EQ(NamesOnDisk(dir.path()), (std::set<std::string>{"tmp_cert.pem"}));
    EXPECT_EQ(ReadWholeFile(dir / "tmp_cert.pem"), "new");
}

TEST(PlatformPaths, WholeFileIoFailsCleanly) {
    ScratchDir dir;
    EXPECT_EQ(ReadWholeFile(dir / "missing.bin"), std::nullopt);
    EXPECT_EQ(ReadWholeFile(dir.path()), std::nullopt);
    EXPECT_FALSE(WriteWholeFile(dir / "no\\such\\dir\\f.bin", "x", 1));
    EXPECT_FALSE(WriteWholeFile(dir.path(), "x", 1));
    EXPECT_FALSE(WriteWholeFile(dir / "null.bin", nullptr, 5));
    ASSERT_TRUE(WriteWholeFile(dir / "empty.bin", nullptr, 0));
    EXPECT_EQ(ReadWholeFile(dir / "empty.bin"), "");
    const std::string binary("\0\x01\xff\0", 4);
    ASSERT_TRUE(WriteWholeFile(dir / "bin.dat", binary.data(), binary.size()));
    EXPECT_EQ(ReadWholeFile(dir / "bin.dat"), binary);
    EXPECT_EQ(FileSize(dir / "bin.dat"), 4);
    EXPECT_EQ(FileSize(dir.path()), std::nullopt);
}

class PlatformEnumerate : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"crl1.pem", "CRL2.PEM", "crl10.bak", "ca.pem", "UID", "UID.001", "UID.pem", "other.txt"})
            NativeFile(dir.path(), name, name);
        ASSERT_TRUE(CreateDir(dir / "Sub"));
    }
    ScratchDir dir;
};

TEST_F(PlatformEnumerate, MasksMatchWithoutRegardToCase) {
    EXPECT_EQ(EnumeratedNames(dir / "crl*.pem"), (std::set<std::string>{"crl1.pem", "CRL2.PEM"}));
    EXPECT_EQ(EnumeratedNames(dir / "UID.*"), (std::set<std::string>{"UID", "UID.001", "UID.pem"}));
    EXPECT_EQ(EnumeratedNames(dir / "uid.0??"), (std::set<std::string>{"UID.001"}));
    EXPECT_EQ(EnumeratedNames(dir / "?a.pem"), (std::set<std::string>{"ca.pem"}));
    EXPECT_EQ(EnumeratedNames(dir / "*.PEM"), (std::set<std::string>{"crl1.pem", "CRL2.PEM", "ca.pem", "UID.pem"}));
    EXPECT_TRUE(EnumeratedNames(dir / "nothing*").empty());
}

TEST_F(PlatformEnumerate, StarDotStarListsEveryEntryWithAttributes) {
    const auto entries = Enumerate(dir / "*.*");
    std::set<std::string> names;
    for (const auto& e : entries) {
        names.insert(e.name);
        const bool isDir = (e.attributes & kAttrDirectory) != 0;
        EXPECT_EQ(isDir, e.name == "Sub" || e.name == "." || e.name == "..") << e.name;
    }
    for (const char* name : {"crl1.pem", "CRL2.PEM", "crl10.bak", "ca.pem", "UID", "UID.001", "UID.pem", "other.txt",
                             "Sub", ".", ".."})
        EXPECT_EQ(names.count(name), 1u) << name;
    EXPECT_EQ(names.size(), 11u);
}

TEST_F(PlatformEnumerate, DirectoryIsResolvedAndMissingGivesNothing) {
    NativeFile(dir.path(), "Sub/Inner.txt", "i");
    EXPECT_EQ(EnumeratedNames(dir / "SUB\\*.TXT"), (std::set<std::string>{"Inner.txt"}));
    EXPECT_TRUE(Enumerate(dir / "Missing\\*.*").empty());
}

TEST(PlatformMove, RefusesToOverwriteAndRenamesOtherwise) {
    ScratchDir dir;
    NativeFile(dir.path(), "a.txt", "A");
    NativeFile(dir.path(), "b.txt", "B");
    EXPECT_FALSE(MoveFile(dir / "a.txt", dir / "b.txt"));
    EXPECT_FALSE(MoveFile(dir / "a.txt", dir / "B.TXT"));
    EXPECT_EQ(ReadWholeFile(dir / "a.txt"), "A");
    EXPECT_EQ(ReadWholeFile(dir / "b.txt"), "B");

    ASSERT_TRUE(MoveFile(dir / "A.TXT", dir / "c.txt"));
    EXPECT_FALSE(FileExists(dir / "a.txt"));
    EXPECT_EQ(ReadWholeFile(dir / "c.txt"), "A");
    EXPECT_FALSE(MoveFile(dir / "missing.txt", dir / "d.txt"));
    EXPECT_FALSE(FileExists(dir / "d.txt"));
}

TEST(PlatformMove, CaseOnlyRenameChangesTheStoredSpelling) {
    ScratchDir dir;
    NativeFile(dir.path(), "name.txt", "N");
    ASSERT_TRUE(MoveFile(dir / "name.txt", dir / "NAME.TXT"));
    EXPECT_EQ(ReadWholeFile(dir / "name.txt"), "N");
#ifndef _WIN32  // Wine keeps the old spelling on a case-only rename; Windows and POSIX do not
    EXPECT_EQ(NamesOnDisk(dir.path()), (std::set<std::string>{"NAME.TXT"}));
#endif
}

TEST(PlatformMove, MovesDirectories) {
    ScratchDir dir;
    NativeFile(dir.path(), "Old/f.txt", "F");
    ASSERT_TRUE(MoveFile(dir / "old", dir / "New"));
    EXPECT_EQ(ReadWholeFile(dir / "new\\F.TXT"), "F");
    EXPECT_EQ(NamesOnDisk(dir.path()), (std::set<std::string>{"New"}));
}

TEST(PlatformAttributes, ReadOnlyFilesAreProtectedUntilCleared) {
    ScratchDir dir;
    NativeFile(dir.path(), "ro.txt", "R");
    ASSERT_TRUE(SetAttributes(dir / "RO.TXT", kAttrReadOnly));
    const auto attributes = GetAttributes(dir / "ro.txt");
    ASSERT_TRUE(attributes);
    EXPECT_NE(*attributes & kAttrReadOnly, 0u);
    EXPECT_EQ(*attributes & kAttrDirectory, 0u);
    EXPECT_FALSE(DeleteFile(dir / "ro.txt"));
    EXPECT_FALSE(WriteWholeFile(dir / "ro.txt", "changed", 7));
    EXPECT_EQ(ReadWholeFile(dir / "ro.txt"), "R");

    ASSERT_TRUE(SetAttributes(dir / "ro.txt", kAttrArchive));
    EXPECT_EQ(*GetAttributes(dir / "ro.txt") & kAttrReadOnly, 0u);
    EXPECT_TRUE(DeleteFile(dir / "Ro.Txt"));
    EXPECT_FALSE(FileExists(dir / "ro.txt"));
    EXPECT_EQ(GetAttributes(dir / "ro.txt"), std::nullopt);
    EXPECT_FALSE(SetAttributes(dir / "ro.txt", kAttrReadOnly));
}

TEST(PlatformAttributes, DirectoriesAreNotFiles) {
    ScratchDir dir;
    ASSERT_TRUE(CreateDir(dir / "D"));
    EXPECT_NE(*GetAttributes(dir / "d") & kAttrDirectory, 0u);
    EXPECT_FALSE(DeleteFile(dir / "D"));
    NativeFile(dir.path(), "D/f", "f");
    EXPECT_FALSE(RemoveDir(dir / "D"));  // not empty
    // A read-only directory still accepts new files and deletions, as on Windows.
    ASSERT_TRUE(SetAttributes(dir / "D", kAttrReadOnly));
    EXPECT_TRUE(WriteWholeFile(dir / "D\\g", "g", 1));
    EXPECT_TRUE(DeleteFile(dir / "D\\g"));
    ASSERT_TRUE(SetAttributes(dir / "D", kAttrNormal));
    ASSERT_TRUE(DeleteFile(dir / "d\\F"));
    EXPECT_TRUE(RemoveDir(dir / "d"));
    EXPECT_FALSE(DirectoryExists(dir / "D"));
}

}  // namespace
}  // namespace vorlan::platform
