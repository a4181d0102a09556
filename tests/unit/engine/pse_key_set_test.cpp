// The PSE key set of the remote generation directory: packed into ".dat" files and back,
// copied from a PSE directory, and the archive names of replaced signature keys.
#include <functional>

#include "engine_fixture.h"
#include "pse/pse_key_set.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

class KeySetTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        UseUIDField("SN");  // the recipient UID needs no certificate
        FreshR();
        engine_->SetRemoteGeneratePath(Path("R").c_str());
    }
    // FreshR: an empty remote generation directory with the key subdirectories.
    void FreshR() {
        DeleteDirectory(Path("R"), false);
        ASSERT_TRUE(CreateDirectoryPath(Path("R\\DB\\CRYPT")));
        ASSERT_TRUE(CreateDirectoryPath(Path("R\\DB\\SIGN")));
    }
    // WriteKeySet: every file of the set under dir (relative), its content its own name.
    void WriteKeySet(const std::string& dir, bool optional = true) {
        for (const auto& file : kKeySet)
            if (file.required || optional) WriteFile(dir + file.name, file.name);
    }
};

TEST(DatTwinName, ExtensionReplacedOrAppended) {
    EXPECT_EQ(DatTwinName("C:\\R\\uz.db3"), "C:\\R\\uz.dat");
    EXPECT_EQ(DatTwinName("C:\\R\\num"), "C:\\R\\num.dat");
    EXPECT_EQ(DatTwinName("C:\\R.X\\DB\\SIGN\\sec_sgn.key"), "C:\\R.X\\DB\\SIGN\\sec_sgn.dat");
    EXPECT_EQ(DatTwinName("C:\\R.X\\num"), "C:\\R.X\\num.dat") << "a dot in a directory is no extension";
}

TEST_F(KeySetTest, PackedFilesCarryThePathAndRestoreTheContent) {
    for (bool optional : {true, false}) {
        SCOPED_TRACE(optional ? "all eight files" : "required files only");
        WriteKeySet("R\\", optional);
        ASSERT_EQ(engine_->RG_EncryptKeySet("USER01"), 0);
        for (const auto& file : kKeySet) {
            EXPECT_FALSE(Exists("R\\" + std::string(file.name))) << file.name << " deleted after packing";
            const std::string twin = DatTwinName("R\\" + std::string(file.name));
            if (!file.required && !optional) {
                EXPECT_FALSE(Exists(twin));
                continue;
            }
            // The fake encrypts nothing: header path, a zero, then the content.
            EXPECT_EQ(ReadFile(twin), Path("R\\" + std::string(file.name)) + '\0' + file.name);
        }
        const auto encodes = Fake().Calls("EncodeData");
        ASSERT_FALSE(encodes.empty());
        EXPECT_EQ(Field(encodes[0], 3), "USER01") << "the one recipient";

        ASSERT_EQ(engine_->RG_DecryptKeySet(), 0);
        for (const auto& file : kKeySet) {
            if (!file.required && !optional) continue;
            EXPECT_EQ(ReadFile("R\\" + std::string(file.name)), file.name);
            EXPECT_TRUE(Exists(DatTwinName("R\\" + std::string(file.name)))) << "twins stay";
        }
        engine_->RG_DeleteKeySet();
        for (const auto& file : kKeySet) EXPECT_FALSE(Exists("R\\" + std::string(file.name)));
        FreshR();
        engine_->ClearCash();  // contexts the fake is about to forget
        Fake().Reset();
    }
}

// A key file of the full 8192 bytes packs even when encryption adds all it may add.
TEST_F(KeySetTest, WorkAreaHoldsHeaderFileAndEncryptionGrowth) {
    const std::int32_t addition = engine_->GetMaxEncodeAddition();
    ASSERT_GT(addition, 0);
    WriteFile("R\\num", std::string(kMaxKeyFileSize, 'k'));
    const std::string grown(static_cast<std::size_t>(kMaxKeyFileSize + addition), 'E');
    Fake().SetText("EncodeData", grown.c_str());
    ASSERT_EQ(engine_->EncryptFileToDat(Path("R\\num"), "USER01"), 0);
    EXPECT_EQ(ReadFile("R\\num.dat"), Path("R\\num") + '\0' + grown);
}

TEST_F(KeySetTest, NothingIsDeletedUnlessEveryRequiredFileIsPacked) {
    struct Case {
        const char* what;
        std::function<void()> spoil;
        std::int32_t code;
    };
    const Case cases[] = {
        {"num missing", [this] { platform::DeleteFile(Path("R\\num")); }, -107},
        {"key file over 8192 bytes",
         [this] { WriteFile("R\\DB\\SIGN\\sec_sgn.key", std::string(kMaxKeyFileSize + 1, 'k')); }, -107},
        {"encryption fails", [] { Fake().SetResult("EncodeData", -3); }, -3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FreshR();
        WriteKeySet("R\\");
        c.spoil();
        EXPECT_EQ(engine_->RG_EncryptKeySet("USER01"), c.code);
        for (const char* name : {"uz.db3", "gk.db3", "DB\\CRYPT\\ckd.key", "sc_pub.key"})
            EXPECT_TRUE(Exists("R\\" + std::string(name))) << name;
        if (c.code == -3) {
            EXPECT_FALSE(Exists("R\\uz.dat")) << "nothing written for a file that failed";
        }
        engine_->ClearCash();  // contexts the fake is about to forget
        Fake().Reset();
    }
}

TEST_F(KeySetTest, OptionalFileThatCannotBePackedStaysPlain) {
    WriteKeySet("R\\");
    WriteFile("R\\sc_pub.key", std::string(kMaxKeyFileSize + 1, 'p'));
    ASSERT_EQ(engine_->RG_EncryptKeySet("USER01"), 0);
    EXPECT_TRUE(Exists("R\\sc_pub.key")) << "not lost";
    EXPECT_FALSE(Exists("R\\sc_pub.dat"));
    EXPECT_FALSE(Exists("R\\DB\\CRYPT\\net_ks.key"));
    EXPECT_TRUE(Exists("R\\DB\\CRYPT\\net_ks.dat"));
}

TEST_F(KeySetTest, UnpackingRefusesDamagedOrOversizedFilesAndKeepsTheTarget) {
    struct Case {
        const char* what;
        std::string dat;
        std::int32_t decodeResult;
        std::int32_t code;
    };
    const auto packedRoom = static_cast<std::size_t>(kMaxDatHeader + kMaxKeyFileSize + engine_->GetMaxEncodeAddition());
    const Case cases[] = {
        {"longer than packing writes", "h" + std::string(1, '\0') + std::string(packedRoom, 'x'), 0, -107},
        {"a key over 8192 bytes inside", "h" + std::string(1, '\0') + std::string(kMaxKeyFileSize + 1, 'x'), 0, -107},
        {"the largest packed key", std::string(200, 'h') + '\0' + std::string(kMaxKeyFileSize, 'x'), 0, 0},
        {"no header end", std::string(100, 'x'), 0, -107},
        {"decryption fails", "h" + std::string(1, '\0') + "data", -5, -5},
        {"fits exactly", "h" + std::string(1, '\0') + std::string(kMaxKeyFileSize - 2, 'x'), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile("R\\num.dat", c.dat);
        WriteFile("R\\num", "old");
        Fake().SetResult("DecodeData", c.decodeResult);
        EXPECT_EQ(engine_->DecryptDatToFile(Path("R\\num.dat"), Path("R\\num")), c.code);
        EXPECT_EQ(ReadFile("R\\num"), c.code == 0 ? c.dat.substr(c.dat.find('\0') + 1) : "old");
    }
    EXPECT_EQ(engine_->DecryptDatToFile(Path("R\\none.dat"), Path("R\\num")), -107);
}

TEST_F(KeySetTest, CopyFromAPSEDirectory) {
    struct Case {
        const char* missing;
        bool copied;
    };
    const Case cases[] = {{nullptr, true},          {"sc_pub.key", true},          {"DB\\SIGN\\pub_sgn.key", true},
                          {"gk.db3", false},        {"DB\\CRYPT\\ckd.key", false}, {"DB\\SIGN\\sec_sgn.key", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing ? c.missing : "complete set");
        ASSERT_TRUE(DeleteDirectory(Path("R"), false));
        ASSERT_TRUE(CreateDirectoryPath(Path("B\\DB\\CRYPT")) && CreateDirectoryPath(Path("B\\DB\\SIGN")));
        WriteKeySet("B\\");
        if (c.missing) platform::DeleteFile(Path("B\\" + std::string(c.missing)));
        EXPECT_EQ(engine_->RG_CopyKeySet(Path("B").c_str()), c.copied);
        if (!c.copied) continue;
        for (const auto& file : kKeySet) {
            const std::string name = file.name;
            EXPECT_EQ(Exists("R\\" + name), !c.missing || name != c.missing) << name;
            if (!c.missing || name != c.missing) {
                EXPECT_EQ(ReadFile("R\\" + name), name);
            }
        }
    }
    EXPECT_FALSE(engine_->RG_CopyKeySet(nullptr));
}

TEST_F(KeySetTest, SignatureKeyArchiveNames) {
    struct Case {
        std::vector<const char*> files;
        const char* number;
    };
    const Case cases[] = {
        {{}, "000"},
        {{"DB\\SIGN\\sec_sgn.key"}, "001"},
        {{"DB\\SIGN\\sec_sgn.key", "DB\\SIGN\\sec_sgn.001", "DB\\SIGN\\sec_sgn.007", "DB\\SIGN\\pub_sgn.009"}, "008"},
        {{"DB\\SIGN\\sec_sgn.999"}, "100"},
    };
    for (const auto& c : cases) {
        DeleteDirectory(Path("P"), true);
        for (const char* file : c.files) {
            ASSERT_TRUE(CreateDirectoryPath(Path("P\\DB\\SIGN")));
            WriteFile("P\\" + std::string(file), "k");
        }
        std::string name;
        engine_->RG_NextSignKeyArchiveName(Path("P\\").c_str(), name);
        EXPECT_EQ(name, Path("P\\DB\\SIGN\\sec_sgn.") + c.number);
    }
}

}  // namespace
}  // namespace vorlan::test
