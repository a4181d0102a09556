// The toolkit's text dump of a certificate read by the engine's report conversion gives the
// same keys and values as the toolkit's information record, for the test PKI's certificates
// and for one made by the openssl command line, with LF and with CR LF line ends.
#include <cstdlib>
#include <map>

#include "binding/cert_info_text.h"
#include "engine/report_dump.h"
#include "harness.h"

namespace tkt {
namespace {

// Keys: the key=value lines of a report; the "PKey=" block under "PKey".
std::map<std::string, std::string> Keys(const std::string& report) {
    std::map<std::string, std::string> keys;
    std::size_t pos = 0;
    while (pos < report.size()) {
        std::size_t end = report.find("\r\n", pos);
        if (end == std::string::npos) end = report.size();
        const std::string line = report.substr(pos, end - pos);
        pos = end + 2;
        if (line == "PKey=") {
            const std::size_t blockEnd = report.find("\r\n\r\n", pos);
            keys["PKey"] = report.substr(pos, blockEnd == std::string::npos ? std::string::npos : blockEnd - pos);
            break;
        }
        if (const auto eq = line.find('='); eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return keys;
}

std::string CrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

class ReportTest : public ToolkitTest {
protected:
    // OutsideCertificate: a self-signed certificate made by the openssl command line, with a
    // state field and a long random serial; empty when the command is not available.
    std::string OutsideCertificate() {
        const std::string dir = TempDir("outside");
        const std::string key = GetParam() == Algo::Gost ? "-engine gost -newkey gost2012_256 -pkeyopt paramset:A -md_gost12_256"
                                                         : "-newkey rsa:2048 -sha256";
        const std::string cmd = "openssl req -x509 -nodes -days 30 " + key + " -subj '/C=RU/ST=Moscow/O=Outside Bank/CN=OUTSIDE'" +
                                " -keyout " + dir + "/key.pem -out " + dir + "/cert.pem > /dev/null 2>&1";
        return std::system(cmd.c_str()) == 0 ? dir + "/cert.pem" : std::string();
    }
};

TEST_P(ReportTest, DumpAndRecordGiveTheSameKeys) {
    mpro::Context ctx = Open("USER01");
    const std::string outside = OutsideCertificate();
    ASSERT_FALSE(outside.empty()) << "openssl req failed";
    struct Case {
        std::string file, cn, state;
    } cases[] = {{Pki().CertFile("USER01"), "USER01", ""}, {outside, "OUTSIDE", "Moscow"}};
    for (const auto& c : cases) {
        const std::string pem = ReadAll(c.file);
        const auto* data = reinterpret_cast<const unsigned char*>(pem.data());
        const auto length = static_cast<std::int32_t>(pem.size());
        mpro::CertInfoRecord record{};
        ASSERT_EQ(Tk().GetCertInfoEx(ctx, data, length, &record), 0) << LastError();
        auto structured = Keys(vorlan::CertInfoText(record));
        Tk().FreeCertInfo(ctx, &record);
        std::string dump(static_cast<std::size_t>(Tk().GetMaxCertInfoLength()), '\0');
        ASSERT_EQ(Tk().GetCertInfo(ctx, data, length, dump.data()), 0) << LastError();
        dump.resize(dump.find('\0'));
        const std::string report = vorlan::ReportFromDump(dump);
        EXPECT_EQ(vorlan::ReportFromDump(CrLf(dump)), report) << c.cn;
        auto fromDump = Keys(report);

        EXPECT_EQ(fromDump["CN"], c.cn);
        EXPECT_EQ(fromDump.count("S") ? fromDump["S"] : "", c.state);
        EXPECT_FALSE(fromDump["PKey"].empty()) << report;
        EXPECT_EQ(fromDump["PKey"].find("    "), std::string::npos) << "indentation removed: " << report;
        EXPECT_FALSE(structured["PKey"].empty());
        // The key texts differ in form (record: DER bytes; dump: the printed key); every other key agrees.
        structured.erase("PKey");
        fromDump.erase("PKey");
        EXPECT_EQ(fromDump, structured) << "dump:\n" << dump;
    }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, ReportTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt
