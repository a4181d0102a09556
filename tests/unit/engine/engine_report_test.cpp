// Reports: the conversion of a toolkit text dump, the bound of the report buffer, and where a
// report comes from: the structured records, or in the process whose fake lacks them
// (WithoutRecords) the toolkit's dump.
#include <cstring>
#include <functional>

#include "engine/report_dump.h"
#include "engine_fixture.h"
#include "support/errors.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

// A certificate dump as OpenSSL prints one, with LF line ends, and its report.
const std::string kDump =
    "Certificate:\n    Data:\n        Serial Number:\n            1A2B  \n"
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
    const std::pair<std::string, std::string> cases[] = {
        {kDump, kReport},
        {CrLf(kDump), kReport},
        // Fields over several lines keep the commas inside their values.
        {"Issuer: O=Bank, Branch 2\r\nCN=CA1\r\nC=RU\r\n        Validity\r\nPublic Key: \r\nK\r\n",
         "ICN=CA1\r\nIC=RU\r\nIO=Bank, Branch 2\r\nPKey=\r\nK\r\n\r\n"},
        // SP before ST; a tag inside a value or a longer tag is no field.
        {"Subject: SP=North, ST=South, O=x CN=OFFICE, OU=Unit, NAME=x, CN=BOB\r\n        Subject Public Key Info:\r\n"
         "Public Key: \r\nK\r\n",
         "CN=BOB\r\nS=North\r\nO=x CN=OFFICE\r\nOU=Unit\r\nPKey=\r\nK\r\n\r\n"},
        {"R3410 Public Key:\n                    04:41\n                Parameter set: A\n        X509v3 extensions\n",
         "PKey=\r\n04:41\r\nParameter set: A\r\n\r\n"},
        {"R3410 Public Key:\n                04:41\n        Attributes:\n", "PKey=\r\n04:41\r\n\r\n"},
        {"0123456789ab\nline two\n", "PKey=\r\nline two\r\n\r\n"},  // no marker: after the first line
        {"", "PKey=\r\n\r\n"},
        // A control byte inside a value is escaped: no value can end its line.
        {"Serial Number:\r\n    1A\x7F" "2B\r\nSubject: C=RU, CN=A\rB\x01\r\n        Subject Public Key Info:\r\n"
         "    Public Key Algorithm: rsa\x0B\r\nPublic Key: \r\nK\r\n",
         "SN=1A\\7F2B\r\nCN=A\\0DB\\01\r\nC=RU\r\nPKeyAlg=rsa\\0B\r\nPKey=\r\nK\r\n\r\n"},
    };
    for (const auto& [dump, report] : cases) EXPECT_EQ(ReportFromDump(dump), report) << dump;
    EXPECT_THROW(ReportFromDump("Not Before: Jan xx 12:34:56 2026\n"), EConvertError);
}

class ReportTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
        WriteFile("certs\\USER01.pem", "certificate");
        WriteFile("request.pem", kRequest);
        Fake().SetText("GetCertificateByUID", "-----BEGIN CERTIFICATE-----\n");
    }
    std::string Report() const { return report_.c_str(); }
    std::int32_t ByFile(const char* name) { return engine_->GetPublicKeyPropertiesByFile(Path(name).c_str(), report_.data()); }
    const std::string kRequest = "-----BEGIN CERTIFICATE REQUEST-----\nMIIB\n-----END CERTIFICATE REQUEST-----\n";
    std::string report_ = std::string(8192 + 256, '\0');  // the fake's GetMaxCertInfoLength + 256
};

TEST_F(ReportTest, ReportByBufferIsBoundedByTheReportSize) {
    std::memcpy(report_.data(), kDump.c_str(), kDump.size() + 1);
    ASSERT_EQ(engine_->GetReportByBuffer(report_.data(), report_.data()), 0) << "in place";
    EXPECT_EQ(Report(), kReport);
    // Room for 255 characters and the zero: a serial of n characters gives 2n + 16 of them.
    Fake().SetResult("GetMaxCertInfoLength", 0);
    auto withSerial = [](std::size_t n) { return "Serial Number:\n" + std::string(n, '7') + "\n"; };
    report_.assign(report_.size(), 'u');
    EXPECT_EQ(engine_->GetReportByBuffer(withSerial(120).c_str(), report_.data()), -101);
    EXPECT_EQ(report_[0], 'u') << "nothing written";
    EXPECT_EQ(engine_->GetReportByBuffer(withSerial(119).c_str(), report_.data()), 0);
    EXPECT_EQ(Report().size(), 254u);
    EXPECT_EQ(engine_->GetReportByBuffer("Not Before: Jan xx 12:34:56 2026\n", report_.data()), -102);
    char text[512] = {};
    engine_->GetCryptoErrorString(-102, text);
    EXPECT_NE(std::string(text).find("TMProCryptoEngine.GetReportByBuffer: EConvertError: "), std::string::npos) << text;
}

TEST_F(ReportTest, WhereTheReportComesFrom) {
    Fake().SetRecordField("SN", "1A");
    Fake().SetRecordField("CN", "USER01");
    ASSERT_EQ(engine_->GetReport("USER01", report_.data()), 0);
    EXPECT_EQ(Report(), "SN=1A\r\nCN=USER01\r\nNotBefore=\r\nNotAfter=\r\n");
    ASSERT_EQ(ByFile("request.pem"), 0);
    EXPECT_EQ(Report(), "CN=USER01\r\n") << "a request's record";
    ASSERT_TRUE(CreateDirectoryPath(Path("remote")));
    WriteFile("big.pem", std::string(8192 + 8192 + 1, 'b'));
    const std::pair<std::function<std::int32_t()>, std::int32_t> cases[] = {
        {[&] { return engine_->GetReport("", report_.data()); }, -109},  // no remote generation directory
        {[&] {
             engine_->SetRemoteGeneratePath(Path("remote").c_str());
             return engine_->GetReport(nullptr, report_.data());
         },
         -114},  // no pending request in it
        {[&] { return engine_->GetReport("USER01", nullptr); }, -101},
        {[&] { return engine_->GetReport("USER02", report_.data()); }, -113},
        {[&] { return ByFile("none.pem"); }, -107},
        {[&] { return ByFile("big.pem"); }, -107},  // larger than a certificate buffer
        {[&] {
             WriteFile("remote\\Tmp_cert.pem", kRequest);
             return engine_->GetReport("", report_.data());
         },
         0},
    };
    for (const auto& [ask, code] : cases) EXPECT_EQ(ask(), code);
    EXPECT_EQ(Fake().CallCount("GetReqInfo"), 2) << "the pending request is reported as a request";
    EXPECT_EQ(Fake().CallCount("GetCertInfo"), 0);
}

// Runs in the process whose fake has no GetCertInfoEx / GetReqInfo: reports from the dump.
TEST_F(ReportTest, WithoutRecordsFromTheDump) {
    if (FakeVariant() != "noopt") GTEST_SKIP() << "runs with the fake variant noopt";
    for (const std::string& dump : {kDump, CrLf(kDump)}) {
        Fake().SetText("GetCertInfo", dump.c_str());
        ASSERT_EQ(engine_->GetReport("USER01", report_.data()), 0);
        EXPECT_EQ(Report(), kReport);
    }
    Fake().SetResult("GetCertInfo", -1070);
    EXPECT_EQ(engine_->GetReport("USER01", report_.data()), -1070);
    ASSERT_EQ(ByFile("request.pem"), 0);
    EXPECT_EQ(Report(), "PKey=\r\nMIIB\r\n-----END CERTIFICATE REQUEST-----\r\n\r\n") << "the request's own text";
    Fake().SetResult("GetMaxCertInfoLength", static_cast<std::int32_t>(kRequest.size()) - 1);
    EXPECT_EQ(ByFile("request.pem"), -112);
}

}  // namespace
}  // namespace vorlan::test
