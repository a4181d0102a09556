// The binding's operations through the fake toolkit: arguments passed on, results and
// their mappings, the no-context results, parameter names, error texts and requests.
#include <cstring>

#include "fake_fixture.h"

namespace vorlan::test {
namespace {

class Operations : public BindingTest {
protected:
    void SetUp() override {
        REQUIRE_FAKE_VARIANT("complete");
        BindingTest::SetUp();
    }
    const ParamVector v_ = Vector({{0, "K"}, {21, "60"}});
};

TEST_F(Operations, ContextOperationsPassArgumentsAndResultsThrough) {
    unsigned char data[16] = "payload";
    std::int32_t length = 7;
    fake_->SetResult("EncodeData", 42);
    fake_->SetText("EncodeData", "sealed!!");
    EXPECT_EQ(binding_->EncodeData(v_, data, &length, "A;B"), 42);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(std::memcmp(data, "sealed!!", 8), 0);
    const auto encode = fake_->Calls("EncodeData");
    ASSERT_EQ(encode.size(), 1u);
    EXPECT_EQ(encode[0][2], "7");
    EXPECT_EQ(encode[0][3], "A;B");

    unsigned char signature[32] = {};
    std::int32_t signatureLength = 32;
    fake_->SetText("SignData", "SIG");
    EXPECT_EQ(binding_->SignData(v_, data, 8, signature, &signatureLength, "/CN=ME"), 0);
    EXPECT_EQ(signatureLength, 3);
    EXPECT_EQ(fake_->Calls("SignData")[0][4], "/CN=ME");

    char signer[64] = {};
    fake_->SetText("VerifyData", "/CN=YOU");
    fake_->SetResult("VerifyData", -1001);
    EXPECT_EQ(binding_->VerifyData(v_, data, &length, signature, 3, signer), -1001);
    EXPECT_STREQ(signer, "/CN=YOU");

    char uid[64] = {};
    fake_->SetText("GetCurrentUID", "USER01");
    EXPECT_EQ(binding_->GetCurrentUID(v_, uid), 0);
    EXPECT_STREQ(uid, "USER01");

    // Every call ran on the one context of the vector.
    EXPECT_EQ(fake_->CallCount("InitCrypto"), 1);
    EXPECT_EQ(fake_->Calls("GetCurrentUID")[0][1], encode[0][1]);
}

TEST_F(Operations, ResultMappings) {
    fake_->SetResult("GenerateNewSEK", 0);
    EXPECT_EQ(binding_->GenerateNewSEK(v_), -100);
    fake_->SetResult("GenerateNewSEK", 5);
    EXPECT_EQ(binding_->GenerateNewSEK(v_), 5);
    fake_->SetResult("GenerateNewSSK", 0);
    EXPECT_EQ(binding_->GenerateNewSSK(v_), -100);

    char text[64] = {};
    fake_->SetResult("GetLastErrorMessage", 9);
    fake_->SetText("GetLastErrorMessage", "last");
    EXPECT_EQ(binding_->GetLastErrorMessage(v_, text), 0);
    EXPECT_STREQ(text, "last");

    fake_->SetResult("GetCRLIssuerName", -1040);
    EXPECT_EQ(binding_->GetCRLIssuerName(v_, "crl1.pem", text), -1040) << "a toolkit's refusal reaches the engine";
    EXPECT_EQ(fake_->CallCount("GetCRLIssuerName"), 1);

    fake_->SetResult("CertificateAndRequestMatch", 3);
    EXPECT_TRUE(binding_->CertificateAndRequestMatch(v_, "c.pem", "r.req"));
    fake_->SetResult("CertificateAndRequestMatch", 0);
    EXPECT_FALSE(binding_->CertificateAndRequestMatch(v_, "c.pem", "r.req"));

    fake_->SetResult("CertificateAndPSePrivateKeysMatch", 2);
    EXPECT_EQ(binding_->CertificateAndPSePrivateKeysMatch(v_, "c.pem", "dir", text), 2);
}

TEST_F(Operations, NoContextResults) {
    fake_->SetResult("InitCrypto", 0);
    std::int32_t length = 0;
    char text[64] = {};
    std::string info = "stale";
    EXPECT_EQ(binding_->EncodeData(v_, nullptr, &length, "A"), -6);
    EXPECT_EQ(binding_->DecodeData(v_, nullptr, &length, text), -6);
    EXPECT_EQ(binding_->GenerateNewSEK(v_), -6);
    EXPECT_EQ(binding_->GetCRLIssuerName(v_, "f", text), -6);
    EXPECT_EQ(binding_->GetLastErrorMessage(v_, text), 0);
    EXPECT_FALSE(binding_->CertificateAndRequestMatch(v_, "a", "b"));
    EXPECT_EQ(binding_->GetCertInfoText(v_, nullptr, 0, info), -1);
    EXPECT_EQ(info, "");
    EXPECT_EQ(fake_->CallCount("EncodeData") + fake_->CallCount("GetCertInfoEx"), 0);
}

TEST_F(Operations, LoadCertificateUsesOnlyAnAlreadyCachedContext) {
    const unsigned char certificate[3] = {1, 2, 3};
    EXPECT_EQ(binding_->LoadCertificate(v_, certificate, 3), 0);
    EXPECT_EQ(fake_->CallCount("InitCrypto"), 0);
    EXPECT_EQ(fake_->CallCount("LoadCertificate"), 0);

    std::int32_t length = 0;
    binding_->EncodeData(v_, nullptr, &length, "A");
    fake_->SetResult("LoadCertificate", 12);
    EXPECT_EQ(binding_->LoadCertificate(v_, certificate, 3), 12);
    const auto load = fake_->Calls("LoadCertificate");
    ASSERT_EQ(load.size(), 1u);
    EXPECT_EQ(load[0][1], fake_->Calls("EncodeData")[0][1]);
    EXPECT_EQ(load[0][2], "3");
}

TEST_F(Operations, ParamNamesUseOneUncachedContextClosedWithTheBinding) {
    char name[64] = {};
    EXPECT_EQ(binding_->GetCryptoParamName(3, name), 0);
    EXPECT_STREQ(name, "Param3");
    fake_->SetResult("GetCryptoParamName", 4);
    EXPECT_EQ(binding_->GetCryptoParamName(4, name), 4);
    EXPECT_EQ(fake_->CallCount("InitCrypto"), 1);
    EXPECT_EQ(fake_->CallCount("SetCryptoParamValue"), 0);
    const std::string own = fake_->Calls("InitCrypto")[0][1];
    EXPECT_EQ(fake_->Calls("GetCryptoParamName")[1][1], own);

    binding_->ClearCash();  // not a cached context
    EXPECT_EQ(fake_->OpenContexts(), 1);
    binding_.reset();
    const auto done = fake_->Calls("DoneCrypto");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0][1], own);
}

TEST_F(Operations, ParamNameWithoutContext) {
    fake_->SetResult("InitCrypto", 0);
    char name[64] = {};
    EXPECT_EQ(binding_->GetCryptoParamName(0, name), -6);
    EXPECT_EQ(fake_->CallCount("GetCryptoParamName"), 0);
}

TEST_F(Operations, ErrorTexts) {
    char buffer[12];
    std::memset(buffer, 'x', sizeof buffer);
    binding_->GetErrorText(buffer, 10, -3);
    EXPECT_EQ(std::string(buffer, 12), std::string("Bad parame") + "xx");

    std::memset(buffer, 'x', sizeof buffer);
    binding_->GetErrorText(buffer, 10, 0);
    binding_->GetErrorText(buffer, 0, -3);
    EXPECT_EQ(std::string(buffer, 12), std::string(12, 'x'));

    char text[128];
    binding_->GetErrorText(text, sizeof text, -2);
    EXPECT_STREQ(text, "An exception - ");
    binding_->GetErrorText(text, sizeof text, -6);
    EXPECT_STREQ(text, "Unable to load private key for operation");
    binding_->GetErrorText(text, sizeof text, -100);
    EXPECT_STREQ(text, "Function not finalize");
    EXPECT_EQ(fake_->CallCount("GetCryptoErrorString"), 0);

    binding_->GetErrorText(text, sizeof text, -1005);
    EXPECT_STREQ(text, "Fake error -1005");
    // A buffer smaller than the toolkit's text receives only its size.
    std::memset(buffer, 'x', sizeof buffer);
    binding_->GetErrorText(buffer, 4, -1005);
    EXPECT_EQ(std::string(buffer, 12), std::string("Fake") + std::string(8, 'x'));
}

TEST_F(Operations, MakeRequestSetsParametersInOrderOnItsOwnContext) {
    fake_->SetResult("MakeRequestForPSE", 17);
    EXPECT_EQ(binding_->MakeRequest("own.pem", "C:\\PSE\\", "Ivan", "RU", nullptr, "Moscow", "Org", "Unit",
                                    "i@x.ru", "Title", "C:\\REQ\\new.req", "CN"),
              17);
    const auto sets = fake_->Calls("SetCryptoParamValue");
    std::vector<std::string> order;
    for (const auto& call : sets) order.push_back(call[2] + "=" + call[3]);
    const std::vector<std::string> expected = {"0=own.pem", "2=C:\\PSE\\", "15=Ivan",   "10=RU",  "12=Moscow",
                                               "13=Org",    "14=Unit",     "16=i@x.ru", "23=Title", "20=CN"};
    EXPECT_EQ(order, expected);
    const auto request = fake_->Calls("MakeRequestForPSE");
    ASSERT_EQ(request.size(), 1u);
    EXPECT_EQ(request[0][2], "C:\\PSE\\");
    EXPECT_EQ(request[0][3], "C:\\REQ\\new.req");
    EXPECT_EQ(fake_->OpenContexts(), 0);  // closed again, never cached
    EXPECT_EQ(fake_->Calls("DoneCrypto")[0][1], request[0][1]);
}

TEST_F(Operations, MakeRequestLeavesOutParameter23ForSmallToolkitsAndEmptyCertificate) {
    fake_->SetResult("GetCryptoParamNumber", 23);
    binding_->MakeRequest("", "D", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "Title", "r", "SN");
    std::vector<std::string> order;
    for (const auto& call : fake_->Calls("SetCryptoParamValue")) order.push_back(call[2]);
    EXPECT_EQ(order, (std::vector<std::string>{"2", "20"}));
}

// With the caller's vector the request context gets its signature algorithm and key size (the
// kind of keys a new container gets), and nothing else of it.
TEST_F(Operations, MakeRequestTakesTheAlgorithmOfTheCallersVector) {
    const ParamVector v = Vector({{1, "certs"}, {4, "SHA1"}, {5, "3072"}, {18, "USER02"}});
    binding_->MakeRequest("", "D", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "r", "CN", &v);
    std::vector<std::string> order;
    for (const auto& call : fake_->Calls("SetCryptoParamValue")) order.push_back(call[2] + "=" + call[3]);
    EXPECT_EQ(order, (std::vector<std::string>{"2=D", "4=SHA1", "5=3072", "20=CN"}));
}

TEST_F(Operations, SizeQueries) {
    fake_->SetResult("GetMaxCertificateLength", 1000);
    fake_->SetResult("GetMaxCertInfoLength", 234);
    EXPECT_EQ(binding_->GetMaxCertBufferSize(), 1234);
    EXPECT_EQ(binding_->GetMaxCertInfoLength(), 234);
}

}  // namespace
}  // namespace vorlan::test
