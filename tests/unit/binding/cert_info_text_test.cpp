// The certificate information text: its pure formatting routines and the binding's
// record round trip through the fake toolkit.
#include "binding/cert_info_text.h"
#include "fake_fixture.h"

namespace vorlan::test {
namespace {

TEST(CertDate, ShortForm) {
    EXPECT_EQ(FormatCertDate("31.12.2009 10:00:00"), "31-12-09 10:00:00");
    EXPECT_EQ(FormatCertDate("01.02.2010"), "01-02-10");
    EXPECT_EQ(FormatCertDate("12.3456"), "12-345");
    EXPECT_EQ(FormatCertDate("1.2"), "1-2");
    EXPECT_EQ(FormatCertDate(""), "");
}

TEST(PublicKeyText, AlgorithmLineAndIndentedKey) {
    EXPECT_EQ(FormatPublicKeyText("Public Key Algorithm: ALG1\n        04 41\n        AB"),
              "PKeyAlg=ALG1\r\nPKey=\r\n04 41\r\nAB\r\n\r\n");
    EXPECT_EQ(FormatPublicKeyText(""), "");
}

TEST(PublicKeyText, WithoutLabelKeepsTextAfterFirstLine) {
    EXPECT_EQ(FormatPublicKeyText("header\n  key bytes  "), "PKey=\r\nkey bytes\r\n\r\n");
    // A label after the first LF gives no algorithm line.
    EXPECT_EQ(FormatPublicKeyText("x\nPublic Key Algorithm: A"), "PKey=\r\nPublic Key Algorithm: A\r\n\r\n");
}

TEST(PublicKeyText, SingleLineAndTrailingLineFeed) {
    EXPECT_EQ(FormatPublicKeyText("only"), "PKey=\r\nonly\r\n\r\n");
    EXPECT_EQ(FormatPublicKeyText("Public Key Algorithm: RSA\r\n"), "PKeyAlg=RSA\r\nPKey=\r\nPublic Key Algorithm: RSA\r\n\r\n");
    EXPECT_EQ(FormatPublicKeyText("Public Key Algorithm: RSA"), "PKey=\r\nPublic Key Algorithm: RSA\r\n\r\n");
}

TEST(NameLines, FixedOrderSkippingEmptyFields) {
    mpro::NameRecord name{};
    name.O = "Org";
    name.CN = "CA1";
    name.E = "";
    name.T = "Boss";
    EXPECT_EQ(FormatNameLines(name, "I"), "ICN=CA1\r\nIO=Org\r\nIT=Boss\r\n");
    EXPECT_EQ(FormatNameLines(mpro::NameRecord{}, ""), "");
}

// A value cannot end its line: CR, LF and the other control bytes are escaped as "\" + hex.
TEST(NameLines, ControlBytesCannotStartAnotherLine) {
    mpro::NameRecord name{};
    name.CN = "MALLORY\r\nCN=USER01";
    name.O = "Org\nO=Bank\x7F\x01";
    EXPECT_EQ(FormatNameLines(name, ""), "CN=MALLORY\\0D\\0ACN=USER01\r\nO=Org\\0AO=Bank\\7F\\01\r\n");
    EXPECT_EQ(FormatPublicKeyText("Public Key Algorithm: RSA\rCN=X\n key"), "PKeyAlg=RSA\\0DCN=X\r\nPKey=\r\nkey\r\n\r\n");
}

class InfoText : public BindingTest {
protected:
    void SetUp() override {
        REQUIRE_FAKE_VARIANT("complete");
        BindingTest::SetUp();
    }
    const ParamVector v_ = Vector({{0, "K"}, {21, "60"}});
    const unsigned char data_[4] = {1, 2, 3, 4};
};

TEST_F(InfoText, CertificateRecordBecomesText) {
    fake_->SetRecordField("SN", "1A");
    fake_->SetRecordField("ICN", "CA1");
    fake_->SetRecordField("CN", "USER");
    fake_->SetRecordField("C", "RU");
    fake_->SetRecordField("S", "");
    fake_->SetRecordField("NotBefore", "01.02.2010 00:00:00");
    fake_->SetRecordField("NotAfter", "01.02.2011 00:00:00");
    std::string text;
    EXPECT_EQ(binding_->GetCertInfoText(v_, data_, 4, text), 0);
    EXPECT_EQ(text,
              "SN=1A\r\nICN=CA1\r\nCN=USER\r\nC=RU\r\nNotBefore=01-02-10 00:00:00\r\n"
              "NotAfter=01-02-11 00:00:00\r\n");
    EXPECT_EQ(fake_->Calls("GetCertInfoEx")[0][2], "4");
    EXPECT_EQ(fake_->CallCount("FreeCertInfo"), 1);
}

TEST_F(InfoText, FailingToolkitGivesItsCodeAndStillFreesTheRecord) {
    fake_->SetRecordField("SN", "1A");
    fake_->SetResult("GetCertInfoEx", 3);
    std::string text = "stale";
    EXPECT_EQ(binding_->GetCertInfoText(v_, data_, 4, text), 3);
    EXPECT_EQ(text, "");
    const auto freed = fake_->Calls("FreeCertInfo");
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0][2], "record");
    EXPECT_EQ(freed[0][1], fake_->Calls("GetCertInfoEx")[0][1]);
}

TEST_F(InfoText, RequestRecordBecomesText) {
    fake_->SetRecordField("CN", "NEW");
    fake_->SetRecordField("O", "Org");
    fake_->SetRecordField("PublicKey", "Public Key Algorithm: GOST\n        01 02");
    std::string text;
    EXPECT_EQ(binding_->GetReqInfoText(v_, data_, 4, text), 0);
    EXPECT_EQ(text, "CN=NEW\r\nO=Org\r\nPKeyAlg=GOST\r\nPKey=\r\n01 02\r\n\r\n");
    EXPECT_EQ(fake_->CallCount("FreeReqInfo"), 1);
    EXPECT_EQ(fake_->CallCount("FreeCertInfo"), 0);
}

}  // namespace
}  // namespace vorlan::test
