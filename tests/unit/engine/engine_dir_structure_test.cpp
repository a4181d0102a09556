// A new user's directories laid out by CreateDirStructure, and the match of a certificate
// transfer with a request transfer in a private temporary directory that never stays.
#include <filesystem>
#include <optional>

#include "binding/base64.h"
#include "engine/transfer_record.h"
#include "engine_fixture.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

TEST_F(EngineTest, CreateDirStructureFilesOwnAndCACertificates) {
    Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
    ASSERT_EQ(engine_->SetCryptoParamValue(1, Path("own.pem").c_str()), 0);
    ASSERT_EQ(engine_->SetCryptoParamValue(2, Path("u\\certs").c_str()), 0);
    ASSERT_EQ(engine_->SetCryptoParamValue(3, Path("u\\keys").c_str()), 0);
    ASSERT_TRUE(CreateDirectoryPath(Path("in")));
    for (const char* name : {"in\\user.pem", "in\\a.pem", "in\\b.pem"}) WriteFile(name, name);
    struct Case {
        const char* certificate;
        const char* caList;
        bool ca1Exists;
        std::int32_t code;
        std::vector<std::string> files;  // below u\ after the call
    } cases[] = {
        {"in\\user.pem", nullptr, false, 0, {"certs", "certs\\USER01.pem", "keys", "keys\\CA"}},
        {"in\\user.pem", "%ZELRoot%in\\a.pem;%ZELRoot%in\\b.pem", true, 0,
         {"certs", "certs\\USER01.pem", "keys", "keys\\CA", "keys\\CA\\ca1.pem", "keys\\CA\\ca2.pem", "keys\\CA\\ca3.pem"}},
        {"in\\user.pem", "%ZELRoot%in\\a.pem;", false, -107, {}},  // a CA file that cannot be read: nothing changes
        {"own.pem", "", false, 0, {"certs", "certs\\USER01.pem", "keys", "keys\\CA"}},  // already in place
        {"in\\none.pem", "", false, -107, {}},
    };
    for (const auto& c : cases) {
        DeleteDirectory(Path("u"), true);
        if (c.ca1Exists) {
            CreateDirectoryPath(Path("u\\keys\\CA"));
            WriteFile("u\\keys\\CA\\ca1.pem", "old CA");
        }
        EXPECT_EQ(engine_->CreateDirStructure(Path(c.certificate).c_str(), c.caList), c.code) << c.caList;
        std::vector<std::string> files;
        for (const auto& name : Listing())
            if (name.rfind("u\\", 0) == 0) files.push_back(name.substr(2));
        EXPECT_EQ(files, c.files) << c.caList;
        if (!c.files.empty()) {
            EXPECT_EQ(ReadFile("own.pem") + ReadFile("u\\certs\\USER01.pem"), "in\\user.pemin\\user.pem");
        }
    }
    EXPECT_EQ(ReadFile("in\\a.pem"), "in\\a.pem") << "sources are copied, not moved";
    EXPECT_EQ(Fake().CallCount("IncludePublicKey"), 0) << "the administrator's CA files are filed as given";
}

// Without the key or the certificate directory nothing is laid out, least of all in the
// working directory (here one that holds a "CA" directory).
TEST_F(EngineTest, CreateDirStructureWithoutItsDirectoriesCreatesNothing) {
    Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
    ASSERT_TRUE(CreateDirectoryPath(Path("work\\CA")));
    WriteFile("user.pem", "user");
    WriteFile("ca.pem", "ca");
    ASSERT_EQ(engine_->SetCryptoParamValue(1, Path("own.pem").c_str()), 0);
    struct WorkingDirectory {
        std::filesystem::path saved = std::filesystem::current_path();
        ~WorkingDirectory() {
            std::error_code ignored;
            std::filesystem::current_path(saved, ignored);
        }
    } restore;
    std::filesystem::current_path(platform::NativePath(Path("work")));
    for (const auto& [certificates, keys] : {std::pair{"", "keys"}, std::pair{"certs", ""}}) {
        ASSERT_EQ(engine_->SetCryptoParamValue(2, *certificates ? Path(certificates).c_str() : ""), 0);
        ASSERT_EQ(engine_->SetCryptoParamValue(3, *keys ? Path(keys).c_str() : ""), 0);
        const auto before = Listing();
        EXPECT_EQ(engine_->CreateDirStructure(Path("user.pem").c_str(), Path("ca.pem").c_str()), -107);
        EXPECT_EQ(Listing(), before) << certificates << "|" << keys;
    }
}

class TransferMatchTest : public EngineTest {
protected:
#if defined(_WIN32)
    static constexpr const char* kTempVariable = "TMP";
#else
    static constexpr const char* kTempVariable = "TMPDIR";
#endif
    void SetUp() override {
        EngineTest::SetUp();
        saved_ = platform::GetEnv(kTempVariable);
        platform::SetEnv(kTempVariable, Path("tmp"));
        ASSERT_TRUE(CreateDirectoryPath(Path("tmp\\0")));  // someone else's
    }
    void TearDown() override {
        platform::SetEnv(kTempVariable, saved_.value_or(""));
        EngineTest::TearDown();
    }
    std::optional<std::string> saved_;
};

TEST_F(TransferMatchTest, AnswersAndLeavesNoDirectoryBehind) {
    auto transfer = [](const std::string& block) {
        const std::string body = PackTransferRecord("USER01", block);
        return Base64Encode(body.data(), static_cast<std::int32_t>(body.size()));
    };
    const std::string certificate = transfer("certificate"), request = transfer("request");
    struct Case {
        std::int32_t toolkit;
        std::string request;
        bool raises;
        std::int32_t code, match;
    } cases[] = {{1, request, false, 0, -1}, {0, request, false, 0, 0}, {1, request.substr(4), false, -112, 7},
#if !defined(_WIN32)
                 {1, request, true, -102, 7}
#endif
    };
    for (const auto& c : cases) {
        Fake().SetResult("CertificateAndRequestMatch", c.toolkit);
        Fake().SetThrow("CertificateAndRequestMatch", c.raises);
        std::int32_t match = 7;
        EXPECT_EQ(engine_->CertAndRequestTransferMatch(certificate.c_str(), c.request.c_str(), &match), c.code);
        EXPECT_EQ(match, c.match);
        EXPECT_EQ(Listing(), (std::vector<std::string>{"certs", "tmp", "tmp\\0"})) << c.code;
    }
    const auto calls = Fake().Calls("CertificateAndRequestMatch");
    ASSERT_GE(calls.size(), 2u);
    const std::string cer = platform::NativePath(Field(calls[0], 2));
    EXPECT_EQ(cer.rfind(platform::NativePath(Path("tmp\\vorlan-")), 0), 0u) << "a directory of its own";
    EXPECT_EQ(cer.substr(0, cer.size() - 7) + "req.pem", platform::NativePath(Field(calls[0], 3)))
        << "certificate first";
    platform::SetEnv(kTempVariable, Path("missing"));
    std::int32_t match = 7;
    EXPECT_EQ(engine_->CertAndRequestTransferMatch(certificate.c_str(), request.c_str(), &match), -122);
    EXPECT_EQ(engine_->CertAndRequestTransferMatch(certificate.c_str(), request.c_str(), nullptr), -101);
}

}  // namespace
}  // namespace vorlan::test
