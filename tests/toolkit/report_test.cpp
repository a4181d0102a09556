// The toolkit's text dump of a certificate read by the engine's report conversion gives the
// same keys and values as the toolkit's information record, for the test PKI's certificates
// and for ones made by the openssl command line, with LF and with CR LF line ends.
#include <cstdlib>
#include <map>

#include "binding/cert_info_text.h"
#include "engine/report_dump.h"
#include "harness.h"

namespace tkt {
namespace {

// Keys: the key=value lines of a report up to its "PKey=" block.
std::map<std::string, std::string> Keys(const std::string& report) {
    std::map<std::string, std::string> keys;
    for (std::size_t pos = 0, end; (end = report.find("\r\n", pos)) != std::string::npos && report.compare(pos, 5, "PKey=");
         pos = end + 2)
        if (const auto eq = report.find('=', pos); eq < end) keys[report.substr(pos, eq - pos)] = report.substr(eq + 1, end - eq - 1);
    return keys;
}

std::string CrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

class ReportTest : public ToolkitTest {
protected:
    // OutsideCertificate: a self-signed certificate for subject made by the openssl command
    // line, with a long random serial; empty when the command is not available.
    std::string OutsideCertificate(const std::string& tag, const std::string& subject) {
        const std::string dir = TempDir(tag);
        const std::string key = GetParam() == Algo::Gost ? "-engine gost -newkey gost2012_256 -pkeyopt paramset:A -md_gost12_256"
                                                         : "-newkey rsa:2048 -sha256";
        const std::string cmd = "openssl req -x509 -nodes -days 30 " + key + " -subj '" + subject + "'" + " -keyout " + dir +
                                "/key.pem -out " + dir + "/cert.pem > /dev/null 2>&1";
        return std::system(cmd.c_str()) == 0 ? dir + "/cert.pem" : std::string();
    }
};

// Values holding CR, LF or other control bytes come out escaped on one line either way.
TEST_P(ReportTest, DumpAndRecordGiveTheSameKeys) {
    mpro::Context ctx = Open("USER01");
    const std::string outside = OutsideCertificate("outside", "/C=RU/ST=Moscow/O=Outside Bank/CN=OUTSIDE");
    const std::string forged = OutsideCertificate("forged", "/C=RU/ST=North\x01/O=Bank\nO=Other/CN=MALLORY\r\nCN=USER01");
    ASSERT_FALSE(outside.empty() || forged.empty()) << "openssl req failed";
    struct Case {
        std::string file, cn, state;
    } cases[] = {{Pki().CertFile("USER01"), "USER01", ""},
                 {outside, "OUTSIDE", "Moscow"},
                 {forged, "MALLORY\\0D\\0ACN=USER01", "North\\01"}};
    for (const auto& c : cases) {
        const std::string pem = ReadAll(c.file);
        const auto* data = reinterpret_cast<const unsigned char*>(pem.data());
        const auto length = static_cast<std::int32_t>(pem.size());
        mpro::CertInfoRecord record{};
        ASSERT_EQ(Tk().GetCertInfoEx(ctx, data, length, &record), 0) << LastError();
        const std::string fromRecord = vorlan::CertInfoText(record);
        Tk().FreeCertInfo(ctx, &record);
        std::string dump(static_cast<std::size_t>(Tk().GetMaxCertInfoLength()), '\0');
        ASSERT_EQ(Tk().GetCertInfo(ctx, data, length, dump.data()), 0) << LastError();
        dump.resize(dump.find('\0'));
        const std::string report = vorlan::ReportFromDump(dump);
        EXPECT_EQ(vorlan::ReportFromDump(CrLf(dump)), report) << c.cn;
        auto keys = Keys(report);
        EXPECT_EQ(keys["CN"] + "/" + (keys.count("S") ? keys["S"] : ""), c.cn + "/" + c.state);
        // The key texts differ in form (record: DER bytes; dump: the printed key); all else agrees.
        const std::string key = report.substr(report.find("PKey=\r\n") + 7);
        EXPECT_GT(key.size(), 40u) << report;
        EXPECT_EQ(key.find("    "), std::string::npos) << "indentation removed: " << report;
        EXPECT_EQ(keys, Keys(fromRecord)) << "dump:\n" << dump;
        const std::string lines = report.substr(0, report.find("PKey="));
        for (std::size_t at = 0; (at = lines.find_first_of("\r\n", at)) != std::string::npos; at += 2)
            EXPECT_EQ(lines.compare(at, 2, "\r\n"), 0) << "a line ends inside a value: " << report;
    }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, ReportTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt
