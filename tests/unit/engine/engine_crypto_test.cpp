// Encryption, decryption, signatures: recipients and signers resolved through the
// certificate directory, argument checks, and the UIDs handed back.
#include <chrono>
#include <cstring>
#include <filesystem>

#include "engine_fixture.h"

namespace vorlan::test {
namespace {

class EngineCryptoTest : public EngineTest {
protected:
    // EncodeFor: encrypts a short text for recipients; the toolkit's subject list in subjects.
    std::int32_t EncodeFor(const char* recipients, std::string* subjects = nullptr) {
        std::int32_t size = 5;
        const std::int32_t code = engine_->EncodeData(buffer_, &size, recipients);
        const auto calls = Fake().Calls("EncodeData");
        if (subjects != nullptr && !calls.empty()) *subjects = Field(calls.back(), 3);
        return code;
    }
    unsigned char buffer_[256] = "plain";
};

TEST_F(EngineCryptoTest, NoRecipientsReachTheToolkitAsAnEmptyList) {
    std::string subjects = "unset";
    EXPECT_EQ(EncodeFor(nullptr, &subjects), 0);
    EXPECT_EQ(subjects, "");
    UseUIDField("SN");
    ASSERT_EQ(engine_->SetCryptoParamValue(19, "  A;B  "), 0);
    EXPECT_EQ(EncodeFor("", &subjects), 0);
    EXPECT_EQ(subjects, "A;B") << "parameter 19, trimmed, is the default list";
    EXPECT_EQ(Fake().CallCount("GetCurrentUID"), 0) << "with SN no certificate is read";
}

TEST_F(EngineCryptoTest, RecipientsAreResolvedThroughTheirCertificates) {
    Fake().SetText("GetCurrentUID", "/C=RU/CN=A/O=BANK");
    WriteFile("certs\\A.cer", "cer");
    std::string subjects;
    EXPECT_EQ(EncodeFor("A", &subjects), 0);
    EXPECT_EQ(subjects, "/C=RU/CN=A/O=BANK");
    // The certificate's subject was read with a vector naming that file and the UID field.
    auto reads = Fake().Calls("GetCurrentUID");
    ASSERT_EQ(reads.size(), 1u);
    auto params = Fake().ParamsOf(Field(reads[0], 1));
    ASSERT_GE(params.size(), 20u);
    EXPECT_EQ(params[0], root_ + "certs\\A.cer");
    EXPECT_EQ(params[19], "CN");

    WriteFile("certs\\A.pem", "pem");
    Fake().Reset();
    Fake().SetText("GetCurrentUID", "/CN=A");
    EXPECT_EQ(EncodeFor("A;A", &subjects), 0);
    EXPECT_EQ(subjects, "/CN=A;/CN=A");
    reads = Fake().Calls("GetCurrentUID");
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(Fake().ParamsOf(Field(reads[0], 1))[0], root_ + "certs\\A.pem") << ".pem before .cer";
}

TEST_F(EngineCryptoTest, RecipientErrorsStopBeforeTheToolkit) {
    Fake().SetText("GetCurrentUID", "/CN=A");
    WriteFile("certs\\A.pem", "a");
    WriteFile("certs\\B.pem", "b");
    WriteFile("evil.pem", "outside");
    EXPECT_EQ(EncodeFor("A;C"), -113);
    EXPECT_EQ(EncodeFor("A;"), -110);
    EXPECT_EQ(EncodeFor("A;B"), -106) << "B.pem carries the CN A";
    EXPECT_EQ(EncodeFor("..\\evil"), -110);
    EXPECT_EQ(EncodeFor("CON"), -110);
    EXPECT_EQ(Fake().CallCount("EncodeData"), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer_), "plain");
}

// A correspondent's subject is asked once per version of the certificate file, whatever the
// context lifetime; a file written within the last two seconds is asked about every time.
TEST_F(EngineCryptoTest, SubjectsAreRememberedWhileTheFileIsUnchanged) {
    Fake().SetText("GetCurrentUID", "/CN=A");
    // Dated back by hours: whole seconds apart even where times are set to the second.
    const auto settle = [&](int hours) {
        const std::filesystem::path file = platform::NativePath(Path("certs\\A.pem"));
        std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) - std::chrono::hours(hours));
    };
    WriteFile("certs\\A.pem", "a");
    EXPECT_EQ(EncodeFor("A"), 0);
    EXPECT_EQ(EncodeFor("A"), 0);
    EXPECT_EQ(Fake().CallCount("GetCurrentUID"), 2) << "a file just written: read every time";
    settle(1);
    for (const char* lifetime : {"", "60"}) {
        ASSERT_EQ(engine_->SetCryptoParamValue(22, lifetime), 0);
        EXPECT_EQ(EncodeFor("A"), 0);
        EXPECT_EQ(EncodeFor("A;A"), 0);
    }
    EXPECT_EQ(Fake().CallCount("GetCurrentUID"), 3) << "a settled file: read once";
    WriteFile("certs\\A.pem", "b");  // same size, another version
    settle(2);
    EXPECT_EQ(EncodeFor("A"), 0);
    EXPECT_EQ(Fake().CallCount("GetCurrentUID"), 4) << "a file of another version is read again";
    engine_->ClearCash();
    EXPECT_EQ(EncodeFor("A"), 0);
    EXPECT_EQ(Fake().CallCount("GetCurrentUID"), 5) << "ClearCash forgets";
}

TEST_F(EngineCryptoTest, BadArgumentsAndToolkitResults) {
    std::int32_t size = 0;
    char out[64];
    EXPECT_EQ(engine_->EncodeData(buffer_, &size, nullptr), -101);
    EXPECT_EQ(engine_->DecodeData(buffer_, &size, out), -101);
    size = 5;
    EXPECT_EQ(engine_->EncodeData(nullptr, &size, nullptr), -101);
    EXPECT_EQ(engine_->DecodeData(buffer_, &size, nullptr), -101);
    EXPECT_EQ(Fake().CallCount("EncodeData") + Fake().CallCount("DecodeData"), 0);

    Fake().SetText("EncodeData", "ENCRYPTED!");
    EXPECT_EQ(engine_->EncodeData(buffer_, &size, nullptr), 0);
    EXPECT_EQ(size, 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer_), 10), "ENCRYPTED!");
    Fake().SetResult("DecodeData", -1010);
    EXPECT_EQ(engine_->DecodeData(buffer_, &size, out), -1010);
}

TEST_F(EngineCryptoTest, SignDataResolvesTheSigner) {
    unsigned char signature[64];
    std::int32_t length = sizeof signature;
    EXPECT_EQ(engine_->SignData(buffer_, 5, signature, &length, nullptr), 0);
    auto calls = Fake().Calls("SignData");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(Field(calls[0], 4), "") << "default signer: empty subject";
    EXPECT_EQ(engine_->SignData(buffer_, 5, signature, &length, "NOBODY"), -113);
    EXPECT_EQ(engine_->SignData(buffer_, 0, signature, &length, nullptr), -101);
    EXPECT_EQ(engine_->SignData(buffer_, 5, nullptr, &length, nullptr), -101);
    UseUIDField("SN");
    EXPECT_EQ(engine_->SignData(buffer_, 5, signature, &length, "0A1B"), 0);
    calls = Fake().Calls("SignData");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(Field(calls[1], 4), "0A1B");
    EXPECT_EQ(Fake().CallCount("GetCurrentUID"), 0);
}

TEST_F(EngineCryptoTest, VerificationNamesTheSignerByItsUIDField) {
    unsigned char signature[8] = "sig";
    char signer[40];
    Fake().SetText("VerifyData", "/C=RU/CN=USER01/O=BANK");
    Fake().SetText("VerifyDataIgnoreTime", "/C=RU/CN=USER02/O=BANK");
    EXPECT_EQ(engine_->VerifyData(buffer_, 5, signature, 3, signer), 0);
    EXPECT_STREQ(signer, "USER01");
    EXPECT_EQ(engine_->VerifySignWOCheckValidity(buffer_, 5, signature, 3, signer), 0);
    EXPECT_STREQ(signer, "USER02");
    std::int32_t size = 5;
    EXPECT_EQ(engine_->RemoveSign(buffer_, &size, signer), 0);
    EXPECT_STREQ(signer, "USER01");
    const auto removed = Fake().Calls("VerifyData");
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(Field(removed[1], 3), "5") << "the whole buffer is offered as the signed message";
    UseUIDField("SN");
    EXPECT_EQ(engine_->VerifyData(buffer_, 5, signature, 3, signer), 0);
    EXPECT_STREQ(signer, "/C=RU/CN=USER01/O=BANK");
}

TEST_F(EngineCryptoTest, VerificationChecksArgumentsAndBoundsTheSigner) {
    unsigned char signature[8] = "sig";
    char signer[161];
    EXPECT_EQ(engine_->VerifyData(buffer_, 5, signature, 0, signer), -101);
    EXPECT_EQ(engine_->VerifyData(buffer_, 5, signature, 3, nullptr), -101);
    EXPECT_EQ(engine_->VerifySignWOCheckValidity(buffer_, 5, signature, 0, signer), -101);
    EXPECT_EQ(Fake().CallCount("VerifyData") + Fake().CallCount("VerifyDataIgnoreTime"), 0);

    UseUIDField("SN");
    Fake().SetResult("GetMaxUIDLength", 64);  // the toolkit's answer fits its own limit, not the caller's
    Fake().SetText("VerifyData", std::string(41, 'S').c_str());
    std::memset(signer, 'x', sizeof signer);
    EXPECT_EQ(engine_->VerifyData(buffer_, 5, signature, 3, signer), -140);
    std::int32_t size = 5;
    EXPECT_EQ(engine_->RemoveSign(buffer_, &size, signer), -140);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(signer[0], 'x') << "a signer that does not fit is not written";
    Fake().SetResult("VerifyData", -1020);
    EXPECT_EQ(engine_->VerifyData(buffer_, 5, signature, 3, signer), -1020);
}

TEST_F(EngineCryptoTest, AddSignOffersTheSignaturesRoomAndWritesTheLengthBack) {
    Fake().SetResult("GetMaxSignatureLength", 200);
    std::int32_t size = 100;
    std::vector<unsigned char> data(400, 'd');
    EXPECT_EQ(engine_->AddSign(data.data(), &size, nullptr), 0);
    const auto calls = Fake().Calls("SignData");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(Field(calls[0], 2), "100");
    EXPECT_EQ(Field(calls[0], 3), "300");
    EXPECT_EQ(size, 300);
    size = 0;
    EXPECT_EQ(engine_->AddSign(data.data(), &size, nullptr), -101);
    size = 100;
    Fake().SetResult("SignData", -1030);
    EXPECT_EQ(engine_->AddSign(data.data(), &size, nullptr), -1030);
    EXPECT_EQ(size, 300) << "written back whatever the result";
}

}  // namespace
}  // namespace vorlan::test
