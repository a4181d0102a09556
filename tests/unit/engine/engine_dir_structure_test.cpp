// A new user's directories laid out by CreateDirStructure, and the match of a certificate
// transfer with a request transfer in a private temporary directory that never stays.
#include <algorithm>
#include <optional>

#include "binding/base64.h"
#include "engine/transfer_record.h"
#include "engine_fixture.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

class DirStructureTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
        ASSERT_EQ(engine_->SetCryptoParamValue(1, Path("own.pem").c_str()), 0);
        ASSERT_EQ(engine_->SetCryptoParamValue(2, Path("user\\certs").c_str()), 0);
        ASSERT_EQ(engine_->SetCryptoParamValue(3, Path("user\\keys").c_str()), 0);
        ASSERT_TRUE(CreateDirectoryPath(Path("in")));
        for (const char* name : {"in\\user.pem", "in\\ca_a.pem", "in\\ca_b.pem"}) WriteFile(name, name);
    }
    std::int32_t Create(const std::string& certificate, const char* caList) {
        return engine_->CreateDirStructure(certificate.c_str(), caList);
    }
};

TEST_F(DirStructureTest, LaysOutTheDirectoriesAndFilesTheCertificates) {
    struct Case {
        const char* what;
        const char* caList;
        const char* existing;  // a CA file already there, or null
        std::int32_t code;
        std::vector<std::string> caFiles;
    } cases[] = {
        {"no CA list", nullptr, nullptr, 0, {}},
        {"two CAs after ca1", "%ZELRoot%in\\ca_a.pem;%ZELRoot%in\\ca_b.pem", "user\\keys\\CA\\ca1.pem", 0,
         {"ca1.pem", "ca2.pem", "ca3.pem"}},
        {"an empty last entry fails after the others", "%ZELRoot%in\\ca_a.pem;", nullptr, -107, {"ca1.pem"}},
    };
    for (const auto& c : cases) {
        DeleteDirectory(Path("user"), true);
        platform::DeleteFile(Path("own.pem"));
        if (c.existing != nullptr) {
            ASSERT_TRUE(CreateDirectoryPath(Path("user\\keys\\CA")));
            WriteFile(c.existing, "old CA");
        }
        EXPECT_EQ(Create(Path("in\\user.pem"), c.caList), c.code) << c.what;
        EXPECT_EQ(ReadFile("own.pem"), "in\\user.pem") << c.what;
        EXPECT_EQ(ReadFile("user\\certs\\USER01.pem"), "in\\user.pem") << c.what;
        std::vector<std::string> ca;
        for (const auto& entry : platform::Enumerate(Path("user\\keys\\CA\\*.*")))
            if (entry.name[0] != '.') ca.push_back(entry.name);
        std::sort(ca.begin(), ca.end());
        EXPECT_EQ(ca, c.caFiles) << c.what;
    }
    EXPECT_EQ(ReadFile("user\\keys\\CA\\ca1.pem"), "in\\ca_a.pem");
    EXPECT_TRUE(Exists("in\\user.pem")) << "the source is copied, not moved";
}

TEST_F(DirStructureTest, OwnCertificateInPlaceAndMissingSource) {
    WriteFile("own.pem", "own");
    EXPECT_EQ(Create(Path("own.pem"), ""), 0);
    EXPECT_EQ(ReadFile("user\\certs\\USER01.pem"), "own");
    DeleteDirectory(Path("user"), true);
    EXPECT_EQ(Create(Path("in\\none.pem"), ""), -107);
    EXPECT_FALSE(IsDirectory(Path("user"))) << "nothing is created for a missing certificate";
    Fake().SetResult("GetCurrentUID", -1040);
    EXPECT_EQ(Create(Path("in\\user.pem"), ""), -1040) << "the certificate's UID cannot be read";
}

class TransferMatchTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(CreateDirectoryPath(Path("tmp")));
        saved_ = platform::GetEnv(kTempVariable);
        platform::SetEnv(kTempVariable, Path("tmp"));
    }
    void TearDown() override {
        platform::SetEnv(kTempVariable, saved_.value_or(""));
        EngineTest::TearDown();
    }
    static std::string Transfer(const std::string& block) {
        const std::string body = PackTransferRecord("USER01", block);
        return Base64Encode(body.data(), static_cast<std::int32_t>(body.size()));
    }
    std::int32_t Match(const std::string& certificate, const std::string& request, std::int32_t& match) {
        match = 7;
        return engine_->CertAndRequestTransferMatch(certificate.c_str(), request.c_str(), &match);
    }
#if defined(_WIN32)
    static constexpr const char* kTempVariable = "TMP";
#else
    static constexpr const char* kTempVariable = "TMPDIR";
#endif
    std::optional<std::string> saved_;
};

TEST_F(TransferMatchTest, AnswersAndLeavesNoDirectoryBehind) {
    const std::string certificate = Transfer("certificate"), request = Transfer("request");
    ASSERT_TRUE(CreateDirectoryPath(Path("tmp\\0")));  // someone else's
    struct Case {
        const char* what;
        std::int32_t toolkit;
        std::string requestTransfer;
        std::int32_t code, match;
    } cases[] = {{"the toolkit says they match", 1, request, 0, -1},
                 {"the toolkit says they do not", 0, request, 0, 0},
                 {"a request transfer that cannot be read", 1, Transfer("r").substr(4), -112, 7}};
    std::int32_t match = 0;
    for (const auto& c : cases) {
        Fake().SetResult("CertificateAndRequestMatch", c.toolkit);
        EXPECT_EQ(Match(certificate, c.requestTransfer, match), c.code) << c.what;
        EXPECT_EQ(match, c.match) << c.what;
        EXPECT_EQ(Listing(), (std::vector<std::string>{"certs", "tmp", "tmp\\0"})) << c.what;
    }
    const auto calls = Fake().Calls("CertificateAndRequestMatch");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(platform::NativePath(Field(calls[0], 2)), platform::NativePath(Path("tmp\\1\\cer.pem")))
        << "a directory of its own, certificate first";
    EXPECT_EQ(platform::NativePath(Field(calls[0], 3)), platform::NativePath(Path("tmp\\1\\req.pem")));
#if !defined(_WIN32)
    Fake().SetThrow("CertificateAndRequestMatch", true);
    EXPECT_EQ(Match(certificate, request, match), -102);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"certs", "tmp", "tmp\\0"})) << "gone after an exception too";
#endif
    platform::SetEnv(kTempVariable, Path("missing"));
    EXPECT_EQ(Match(certificate, request, match), -122);
    EXPECT_EQ(engine_->CertAndRequestTransferMatch(certificate.c_str(), request.c_str(), nullptr), -101);
}

}  // namespace
}  // namespace vorlan::test
