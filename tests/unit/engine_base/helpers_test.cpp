// The base engine's parameter lists, root macro, remote generation path, bounded
// copies, signed data files and the two dispatchers.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "engine/crypto_engine.h"
#include "platform/platform.h"
#include "recording_engine.h"

namespace vorlan {
namespace {

TEST(CryptoEngineParams, IndexesOutsideTheListsGiveEmptyText) {
    TCryptoEngine engine;
    engine.ParamNames = {"Cipher", "", "Dir"};
    engine.ParamValues = {"GOST", "x", ""};
    EXPECT_EQ(engine.GetCryptoParamNumber(), 3);
    for (std::int32_t index : {0, -1, 4, 1000}) {
        char name[16] = "junk";
        char value[16] = "junk";
        engine.GetCryptoParamName(index, name);
        engine.GetCryptoParamValue(index, value);
        EXPECT_STREQ(name, "") << index;
        EXPECT_STREQ(value, "") << index;
    }
    char text[16] = "junk";
    engine.GetCryptoParamName(1, text);
    EXPECT_STREQ(text, "Cipher");
    engine.GetCryptoParamName(2, text);  // an empty entry
    EXPECT_STREQ(text, "");
    engine.GetCryptoParamValue(1, text);
    EXPECT_STREQ(text, "GOST");
    engine.GetCryptoParamValue(3, text);
    EXPECT_STREQ(text, "");
}

TEST(CryptoEngineParams, ValueCopyIsCutToTheValueLimit) {
    TCryptoEngine engine;
    engine.ParamNames = {"P"};
    engine.ParamValues = {std::string(2000, 'v')};
    std::string buffer(1100, 'x');
    engine.GetCryptoParamValue(1, buffer.data());
    EXPECT_EQ(std::string(buffer.c_str()), std::string(1023, 'v'));
    EXPECT_EQ(buffer[1024], 'x');  // nothing beyond GetMaxCryptoParamValueLength() bytes
}

TEST(CryptoEngineParams, SetValueChecksTheValueListOnly) {
    TCryptoEngine engine;
    engine.ParamValues = {"a", "b"};  // no names at all
    EXPECT_EQ(engine.SetCryptoParamValue(2, "B"), 0);
    EXPECT_EQ(engine.SetCryptoParamValue(1, nullptr), 0);
    EXPECT_EQ(engine.SetCryptoParamValue(3, "C"), -1);
    EXPECT_EQ(engine.SetCryptoParamValue(0, "Z"), -1);
    EXPECT_EQ(engine.SetCryptoParamValue(-5, "Z"), -1);
    EXPECT_EQ(engine.ParamValues, (std::vector<std::string>{"", "B"}));
    EXPECT_EQ(engine.GetCryptoParamNumber(), 0);
}

TEST(CryptoEnginePaths, RootPathGetsOneBackslash) {
    TCryptoEngine engine;
    EXPECT_EQ(engine.RootPath, "");
    engine.SetRootPath("C:\\Root");
    EXPECT_EQ(engine.RootPath, "C:\\Root\\");
    engine.SetRootPath("C:\\Root\\");
    EXPECT_EQ(engine.RootPath, "C:\\Root\\");
    engine.SetRootPath("");
    EXPECT_EQ(engine.RootPath, "C:\\Root\\") << "an empty text leaves the root as it was";
}

TEST(CryptoEnginePaths, RootMacroExpansion) {
    TCryptoEngine engine;
    engine.SetRootPath("C:\\Root\\");
    EXPECT_EQ(engine.ExpandRootMacro("%zelroot%\\DB\\x.key"), "C:\\ROOT\\DB\\X.KEY");
    EXPECT_EQ(engine.ExpandRootMacro("%ZELRoot%DB"), "C:\\ROOT\\DB");
    EXPECT_EQ(engine.ExpandRootMacro("%ZELRoot%"), "C:\\ROOT\\");
    EXPECT_EQ(engine.ExpandRootMacro("%ZELRoot%\\\\a"), "C:\\ROOT\\\\A");  // only one backslash dropped
    EXPECT_EQ(engine.ExpandRootMacro("D:\\Keys\\a"), "D:\\Keys\\a");
    EXPECT_EQ(engine.ExpandRootMacro("%ZELRoo"), "%ZELRoo");
    EXPECT_EQ(engine.ExpandRootMacro("x%ZELRoot%"), "x%ZELRoot%");
    EXPECT_EQ(engine.ExpandRootMacro(""), "");
    EXPECT_EQ(engine.ExpandRootMacro("%ZELRoot%\xe9t\xe9"), "C:\\ROOT\\\xe9T\xe9");  // ASCII letters only
    EXPECT_EQ(engine.ExpandRootMacroDir("%ZELRoot%DB"), "C:\\ROOT\\DB\\");
    EXPECT_EQ(engine.ExpandRootMacroDir("C"), "C:\\");

    TCryptoEngine noRoot;
    EXPECT_EQ(noRoot.ExpandRootMacro("%ZELRoot%\\sub\\f"), "SUB\\F");
}

TEST(CryptoEnginePaths, RemoteGeneratePath) {
    TCryptoEngine engine;
    EXPECT_EQ(engine.RemoteGeneratePath, "");
    engine.SetRootPath("C:\\Root\\");
    engine.SetRemoteGeneratePath("%ZELRoot%RG");
    EXPECT_EQ(engine.RemoteGeneratePath, "C:\\ROOT\\RG\\");
    engine.SetRemoteGeneratePath("D:\\Gen\\");
    EXPECT_EQ(engine.RemoteGeneratePath, "D:\\Gen\\");
    engine.SetRemoteGeneratePath("");
    EXPECT_EQ(engine.RemoteGeneratePath, "");
    engine.SetRemoteGeneratePath(nullptr);
    EXPECT_EQ(engine.RemoteGeneratePath, "");
}

TEST(CryptoEngineCopy, CopyToBufferCutsAndRefuses) {
    char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_FALSE(TCryptoEngine::CopyToBuffer(nullptr, buffer, 8));
    EXPECT_FALSE(TCryptoEngine::CopyToBuffer("abc", nullptr, 8));
    EXPECT_FALSE(TCryptoEngine::CopyToBuffer("abc", buffer, 0));
    EXPECT_FALSE(TCryptoEngine::CopyToBuffer("abc", buffer, -3));
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_TRUE(TCryptoEngine::CopyToBuffer("abc", buffer, 8));
    EXPECT_EQ(std::string(buffer, 5), std::string("abc\0x", 5));
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_TRUE(TCryptoEngine::CopyToBuffer("abcdef", buffer, 3));  // cut: no NUL
    EXPECT_EQ(std::string(buffer, 4), "abcx");
    EXPECT_TRUE(TCryptoEngine::CopyToBuffer("abc", buffer, 4));  // exactly fits with its NUL
    EXPECT_EQ(std::string(buffer, 4), std::string("abc\0", 4));
    // A source shorter than size is not read past its NUL: an unterminated 3-byte
    // source cut at 3 bytes stays inside it.
    const char unterminated[3] = {'q', 'r', 's'};
    EXPECT_TRUE(TCryptoEngine::CopyToBuffer(unterminated, buffer, 3));
    EXPECT_EQ(std::string(buffer, 3), "qrs");
}

class SignedDataFile : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        dir_ = std::filesystem::temp_directory_path() /
               ("vorlan_sdf_" + std::to_string(platform::CurrentThreadId()) + "_" + std::to_string(serial++));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::path dir_;
};

TEST_F(SignedDataFile, DataFollowedBySignature) {
    TCryptoEngine engine;
    const unsigned char data[] = {'D', 'A', 'T', 'A'};
    const unsigned char sig[] = {0, 1, 2};
    std::ofstream(Path("out.sig")) << "an older and longer content";
    EXPECT_EQ(engine.SaveSignedDataToFile(data, 4, sig, 3, Path("out.sig").c_str()), 0);
    EXPECT_EQ(Read(Path("out.sig")), std::string("DATA\0\1\2", 7));

    EXPECT_EQ(engine.SaveSignedDataToFile(data, 4, sig, 0, Path("plain").c_str()), 0);
    EXPECT_EQ(Read(Path("plain")), "DATA");
    EXPECT_EQ(engine.SaveSignedDataToFile(data, 2, nullptr, 5, Path("nosig").c_str()), 0);
    EXPECT_EQ(Read(Path("nosig")).substr(0, 2), "DA");
}

TEST_F(SignedDataFile, InvalidArgumentsWriteNothing) {
    TCryptoEngine engine;
    const unsigned char data[] = {'D'};
    EXPECT_EQ(engine.SaveSignedDataToFile(data, 1, data, 1, nullptr), 0);
    EXPECT_EQ(engine.SaveSignedDataToFile(nullptr, 1, data, 1, Path("a").c_str()), 0);
    EXPECT_EQ(engine.SaveSignedDataToFile(data, 0, data, 1, Path("b").c_str()), 0);
    // A negative length is the caller's fault, reported, not taken for nothing to write.
    const std::pair<std::int32_t, std::int32_t> negative[] = {{1, -1}, {-1, 1}, {-1, 0}, {INT32_MIN, INT32_MIN}};
    for (const auto& [length, signatureLength] : negative)
        EXPECT_EQ(engine.SaveSignedDataToFile(data, length, data, signatureLength, Path("c").c_str()), -101)
            << length << ", " << signatureLength;
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(SignedDataFile, UnwritableTargetGives106) {
    TCryptoEngine engine;
    const unsigned char data[] = {'D'};
    EXPECT_EQ(engine.SaveSignedDataToFile(data, 1, data, 1, Path("missing/dir/f").c_str()), -106);
}

TEST_F(SignedDataFile, RootMacroNamesTheFile) {
    TCryptoEngine engine;
    engine.SetRootPath(dir_.string());
    const unsigned char data[] = {'x', 'y'};
    EXPECT_EQ(engine.SaveSignedDataToFile(data, 2, data, 1, "%ZELRoot%signed.bin"), 0);
    // The expanded name is upper-cased; the file layer finds it whatever the case.
    EXPECT_EQ(platform::ReadWholeFile(engine.ExpandRootMacro("%ZELRoot%signed.bin")).value_or(""), "xyx");
}

TEST(CryptoEngineDispatch, IncludeByKindReachesEachTarget) {
    const Word text = reinterpret_cast<Word>("file.pem");
    const struct {
        std::int32_t kind;
        std::string call;
        std::int32_t result;
    } cases[] = {
        {1, "Reserved2(1,TEXT,3)", 102},     {2, "IncludePublicKey(file.pem)", 31},
        {3, "Reserved2(1,TEXT,3)", 102},     {4, "IncludePublicEncodeKey(file.pem)", 40},
        {5, "Reserved4(1,TEXT,3)", 104},     {6, "Reserved5(1,TEXT)", 105},
        {7, "IncludePublicKeyTransfer(file.pem)", 50},
        {8, "IncludeCACertificateFromTransfer(file.pem)", 56},
        {9, "Reserved1(1,TEXT,3)", 101},     {10, "IncludeCRL(file.pem)", 35},
        {11, "Reserved6(1,TEXT,3)", 106},
    };
    for (const auto& c : cases) {
        test::RecordingEngine engine;
        EXPECT_EQ(engine.IncludeByKind(c.kind, 1, text, 3), c.result) << c.kind;
        std::string expected = c.call;
        const auto at = expected.find("TEXT");
        if (at != std::string::npos) expected.replace(at, 4, std::to_string(text));
        EXPECT_EQ(engine.calls, std::vector<std::string>{expected}) << c.kind;
    }
    for (std::int32_t kind : {0, 12, -1}) {
        test::RecordingEngine engine;
        EXPECT_EQ(engine.IncludeByKind(kind, 1, text, 3), -1) << kind;
        EXPECT_TRUE(engine.calls.empty()) << kind;
    }
}

TEST(CryptoEngineDispatch, OperationByKindReordersArguments) {
    test::RecordingEngine engine;
    EXPECT_EQ(engine.OperationByKind(4, 1, 2, 3, 4, 5), 107);
    EXPECT_EQ(engine.OperationByKind(5, 1, 2, 3, 4, 5), 108);
    EXPECT_EQ(engine.OperationByKind(3, 1, 2, 3, 4, 5), -1);
    EXPECT_EQ(engine.OperationByKind(6, 1, 2, 3, 4, 5), -1);
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"Reserved7(3,4,5)", "Reserved8(3,1,4,5)"}));
}

}  // namespace
}  // namespace vorlan
