// Reports: the conversion of a toolkit text dump, the bound of the report buffer, and the
// three ways to ask (UID or pending request, file, transfer) through the structured records
// and, in the process whose fake lacks them (WithoutRecords), through the dump.
#include <cstring>
#include <functional>

#include "binding/base64.h"
#include "engine/report_dump.h"
#include "engine/transfer_record.h"
#include "engine_fixture.h"
#include "support/errors.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

// A certificate dump as OpenSSL prints one, with LF line ends.
const std::string kDump =
    "Certificate:\n    Data:\n        Version: 3 (0x2)\n        Serial Number:\n            1A2B  \n"
    "        Signature Algorithm: sha256WithRSAEncryption\n"
    "        Issuer: C=RU, O=Test Bank, CN=Test CA RSA\n        Validity\n"
    "            Not Before: Jan  5 12:34:56 2026 GMT\n            Not After : Dec 31 23:59:59 2027 GMT\n"
    "        Subject: C=RU, ST=Moscow, O=Test Bank, CN=USER01\n        Subject Public Key Info:\n"
    "            Public Key Algorithm: rsaEncryption\n                Public-Key: (2048 bit)\n"
    "                Modulus:\n                    00:c3:11:22:\n                    33:44\n"
    "                Exponent: 65537 (0x10001)\n        X509v3 extensions:\n";
const std::string kReport =
    "SN=1A2B\r\nICN=Test CA RSA\r\nIC=RU\r\nIO=Test Bank\r\nNotBefore=05-01-26 12:34:56\r\n"
    "NotAfter=31-12-27 23:59:59\r\nCN=USER01\r\nC=RU\r\nS=Moscow\r\nO=Test Bank\r\nPKeyAlg=rsaEncryption\r\n"
    "PKey=\r\n00:c3:11:22:\r\n33:44\r\n\r\n";

std::string CrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

TEST(ReportFromDump, KeysFromTheMarkers) {
    struct Case {
        const char* what;
        std::string dump;
        std::string report;
    } cases[] = {
        {"LF dump", kDump, kReport},
        {"CR LF dump", CrLf(kDump), kReport},
        {"issuer over several lines keeps commas inside values",
         "Issuer: O=Bank, Branch 2\r\nCN=CA1\r\nC=RU\r\n        Validity\r\nPublic Key: \r\nK\r\n",
         "ICN=CA1\r\nIC=RU\r\nIO=Bank, Branch 2\r\nPKey=\r\nK\r\n\r\n"},
        {"SP before ST, a tag found inside a longer one",
         "Subject: SP=North, ST=South, OU=Unit, NAME=x\r\n        Subject Public Key Info:\r\nPublic Key: \r\nK\r\n",
         "S=North\r\nOU=Unit\r\nE=x\r\nPKey=\r\nK\r\n\r\n"},
        {"GOST key re-indented",
         "R3410 Public Key:\n                    04:41\n                Parameter set: A\n        X509v3 extensions\n",
         "PKey=\r\n04:41\r\nParameter set: A\r\n\r\n"},
        {"request key ends at its attributes", "R3410 Public Key:\n                04:41\n        Attributes:\n",
         "PKey=\r\n04:41\r\n\r\n"},
        {"no key marker: the text after the first line", "0123456789ab\nline two\n", "PKey=\r\nline two\r\n\r\n"},
        {"plain Public Key marker", "x\nPublic Key: head\n                x y\n", "PKey=\r\nx y\r\n\r\n"},
        {"nothing at all", "", "PKey=\r\n\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportFromDump(c.dump), c.report) << c.what;
    EXPECT_THROW(ReportFromDump("Not Before: Jan xx 12:34:56 2026\n"), EConvertError);
}

class ReportTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
        WriteFile("certs\\USER01.pem", "certificate");
        Fake().SetText("GetCertificateByUID", "-----BEGIN CERTIFICATE-----\n");
    }
    std::string Report() const { return report_.c_str(); }
    std::string Transfer(const std::string& block) {
        const std::string body = PackTransferRecord("USER01", block);
        return Base64Encode(body.data(), static_cast<std::int32_t>(body.size()));
    }
    std::string report_ = std::string(8192 + 256, '\0');  // the fake's GetMaxCertInfoLength + 256
};

TEST_F(ReportTest, ReportByBufferIsBoundedByTheReportSize) {
    EXPECT_EQ(engine_->GetMaxReportSize(), 8192 + 256);
    ASSERT_EQ(engine_->GetReportByBuffer(kDump.c_str(), report_.data()), 0);
    EXPECT_EQ(Report(), kReport);
    std::memcpy(report_.data(), kDump.c_str(), kDump.size() + 1);
    ASSERT_EQ(engine_->GetReportByBuffer(report_.data(), report_.data()), 0) << "in place";
    EXPECT_EQ(Report(), kReport);

    // Room for 255 characters and the zero: a serial of n characters gives 2n + 16 of them.
    Fake().SetResult("GetMaxCertInfoLength", 0);
    auto dumpWithSerial = [](std::size_t n) { return "Serial Number:\n" + std::string(n, '7') + "\n"; };
    report_.assign(report_.size(), 'u');
    EXPECT_EQ(engine_->GetReportByBuffer(dumpWithSerial(120).c_str(), report_.data()), -101) << "no room for the zero";
    EXPECT_EQ(report_[0], 'u') << "nothing written";
    EXPECT_EQ(engine_->GetReportByBuffer(dumpWithSerial(119).c_str(), report_.data()), 0);
    EXPECT_EQ(Report().size(), 254u);

    EXPECT_EQ(engine_->GetReportByBuffer("Not Before: Jan xx 12:34:56 2026\n", report_.data()), -102);
    char text[512] = {};
    engine_->GetCryptoErrorString(-102, text);
    EXPECT_NE(std::string(text).find("TMProCryptoEngine.GetReportByBuffer: EConvertError: "), std::string::npos) << text;
}

TEST_F(ReportTest, StructuredRecordsAreUsedWhenTheToolkitHasThem) {
    Fake().SetRecordField("SN", "1A");
    Fake().SetRecordField("CN", "USER01");
    Fake().SetRecordField("ICN", "CA1");
    ASSERT_EQ(engine_->GetReport("USER01", report_.data()), 0);
    EXPECT_EQ(Report(), "SN=1A\r\nICN=CA1\r\nCN=USER01\r\nNotBefore=\r\nNotAfter=\r\n");
    EXPECT_EQ(Fake().CallCount("GetCertInfo"), 0);

    // A request is told by its text, within the block's length.
    WriteFile("request.pem", "-----BEGIN CERTIFICATE REQUEST-----\n");
    ASSERT_EQ(engine_->GetPublicKeyPropertiesByFile(Path("request.pem").c_str(), report_.data()), 0);
    EXPECT_EQ(Report(), "CN=USER01\r\n");
    EXPECT_EQ(Fake().CallCount("GetReqInfo"), 1);
    ASSERT_EQ(engine_->GetPublicKeyPropertiesByTransfer(Transfer("-----BEGIN CERTIFICATE REQUEST-----").c_str(),
                                                         report_.data()), 0);
    EXPECT_EQ(Fake().CallCount("GetReqInfo"), 2);
    ASSERT_EQ(engine_->GetPublicKeyPropertiesByTransfer(Transfer("-----BEGIN CERTIFICATE REQUEST----").c_str(),
                                                         report_.data()), 0);
    EXPECT_EQ(Fake().CallCount("GetReqInfo"), 2) << "a cut marker is a certificate";
    const auto lengths = Fake().Calls("GetCertInfoEx");
    EXPECT_EQ(Field(lengths.back(), 2), "34") << "the block by its length";
}

TEST_F(ReportTest, WhereTheReportComesFrom) {
    ASSERT_TRUE(CreateDirectoryPath(Path("remote")));
    WriteFile("big.pem", std::string(8192 + 8192 + 1, 'b'));
    struct Case {
        const char* what;
        std::function<std::int32_t()> ask;
        std::int32_t code;
    } cases[] = {
        {"no UID, no remote directory", [&] { return engine_->GetReport("", report_.data()); }, -109},
        {"no UID, no pending request",
         [&] {
             engine_->SetRemoteGeneratePath((root_ + "remote").c_str());
             return engine_->GetReport(nullptr, report_.data());
         },
         -114},
        {"no report buffer", [&] { return engine_->GetReport("USER01", nullptr); }, -101},
        {"unknown UID", [&] { return engine_->GetReport("USER02", report_.data()); }, -113},
        {"toolkit does not know it",
         [&] {
             Fake().SetResult("GetCertificateByUID", -1050);
             return engine_->GetReport("USER01", report_.data());
         },
         -1050},
        {"missing file", [&] { return engine_->GetPublicKeyPropertiesByFile(Path("none.pem").c_str(), report_.data()); }, -107},
        {"file larger than a certificate buffer",
         [&] { return engine_->GetPublicKeyPropertiesByFile(Path("big.pem").c_str(), report_.data()); }, -107},
        {"pending request",
         [&] {
             WriteFile("remote\\Tmp_cert.pem", "-----BEGIN CERTIFICATE REQUEST-----\n");
             return engine_->GetReport("", report_.data());
         },
         0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.ask(), c.code) << c.what;
    EXPECT_EQ(Fake().CallCount("GetReqInfo"), 1) << "the pending request is reported as a request";
}

// Runs in the process whose fake has no GetCertInfoEx / GetReqInfo: reports from the dump.
class WithoutRecords : public ReportTest {
protected:
    void SetUp() override {
        if (FakeVariant() != "noopt") GTEST_SKIP() << "runs with the fake variant noopt";
        ReportTest::SetUp();
    }
};

TEST_F(WithoutRecords, CertificateReportFromTheToolkitDump) {
    for (const std::string& dump : {kDump, CrLf(kDump)}) {
        Fake().SetText("GetCertInfo", dump.c_str());
        report_.assign(report_.size(), '\0');
        ASSERT_EQ(engine_->GetReport("USER01", report_.data()), 0);
        EXPECT_EQ(Report(), kReport);
    }
    Fake().SetResult("GetCertInfo", -1070);
    EXPECT_EQ(engine_->GetReport("USER01", report_.data()), -1070);
}

TEST_F(WithoutRecords, RequestReportHoldsItsTextAsTheKey) {
    const std::string request = "-----BEGIN CERTIFICATE REQUEST-----\nMIIB\nAQAB\n-----END CERTIFICATE REQUEST-----\n";
    WriteFile("request.pem", request);
    ASSERT_EQ(engine_->GetPublicKeyPropertiesByFile(Path("request.pem").c_str(), report_.data()), 0);
    EXPECT_EQ(Report(), "PKey=\r\nMIIB\r\nAQAB\r\n-----END CERTIFICATE REQUEST-----\r\n\r\n");
    EXPECT_EQ(Fake().CallCount("GetCertInfo"), 0);
    Fake().SetResult("GetMaxCertInfoLength", static_cast<std::int32_t>(request.size()) - 1);
    EXPECT_EQ(engine_->GetPublicKeyPropertiesByFile(Path("request.pem").c_str(), report_.data()), -112);
}

}  // namespace
}  // namespace vorlan::test
