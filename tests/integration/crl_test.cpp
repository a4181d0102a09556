// CRLs as an outside CA makes them, with `openssl ca -gencrl`, through IncludeCRL and the
// real toolkit: a newer list replaces the installed one; a list older than it, or one that
// carries the CA's name under another key, is refused and the installed list stays in force.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <tuple>

#include "installation.h"
#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

// UtcStamp: now + days as openssl's YYYYMMDDHHMMSSZ.
std::string UtcStamp(long days) {
    const std::time_t t = std::time(nullptr) + days * 86400;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &tm);
    return text;
}

// Issuer: what `openssl ca` needs to sign lists: a key, a certificate and a database.
class Issuer {
public:
    Issuer(std::string dir, bool gost, bool numbered) : dir_(std::move(dir)), gost_(gost) {
        std::ofstream(dir_ + "/ca.cnf") << "[ca]\ndefault_ca = d\n[d]\ndatabase = " << dir_ << "/index.txt\n"
                                        << (numbered ? "crlnumber = " + dir_ + "/crlnumber\n" : "")
                                        << "default_md = " << (gost ? "md_gost12_256" : "sha256")
                                        << "\ndefault_crl_days = 30\n";
        std::ofstream(dir_ + "/crlnumber") << "01\n";
    }
    std::string Key() const { return dir_ + "/ca.key"; }
    std::string Cert() const { return dir_ + "/ca.pem"; }
    // Run: an openssl command, with the GOST engine when the PKI is GOST.
    bool Run(const std::string& command, const std::string& args) const {
        const std::string line =
            "openssl " + command + (gost_ ? " -engine gost" : "") + " " + args + " > /dev/null 2>&1";
        return std::system(line.c_str()) == 0;
    }
    // List: a CRL issued at lastUpdate (days from now) that revokes the serial given (0: none).
    std::string List(const std::string& name, long lastUpdate, long revoked) const {
        std::ofstream index(dir_ + "/index.txt", std::ios::trunc);
        if (revoked != 0) index << "R\t" << UtcStamp(300).substr(2) << "\t" << UtcStamp(-3).substr(2) << "\t" << std::hex
                                << std::uppercase << revoked << "\tunknown\t/CN=REVOKED\n";
        index.close();
        const std::string out = dir_ + "/" + name;
        EXPECT_TRUE(Run("ca", "-config '" + dir_ + "/ca.cnf' -gencrl -keyfile '" + Key() + "' -cert '" + Cert() +
                                  "' -crl_lastupdate " + UtcStamp(lastUpdate) + " -out '" + out + "'"))
            << name;
        return out;
    }

private:
    std::string dir_;
    bool gost_;
};

class CRLTest : public ::testing::TestWithParam<std::tuple<Algorithm, bool>> {
protected:
    void SetUp() override {
        install_ = Installation::Get(std::get<0>(GetParam()));
        if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
        const bool gost = std::get<0>(GetParam()) == Algorithm::Gost, numbered = std::get<1>(GetParam());
        base_ = std::string("crltest_") + (numbered ? "numbered" : "dated") + "\\";
        for (const char* sub : {"ca", "impostor", "CRL", "in"}) ASSERT_TRUE(CreateDirectoryPath(install_->Path(base_ + sub)));
        ca_ = std::make_unique<Issuer>(install_->Native(base_ + "ca"), gost, numbered);
        impostor_ = std::make_unique<Issuer>(install_->Native(base_ + "impostor"), gost, numbered);
        install_->pki().WriteCA(ca_->Cert());
        install_->pki().WriteCAKey(ca_->Key());
        // Another key under the CA's very name.
        ASSERT_TRUE(impostor_->Run("genpkey", gost ? "-algorithm gost2012_256 -pkeyopt paramset:A -out '" + impostor_->Key() + "'"
                                                   : "-algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out '" + impostor_->Key() + "'"));
        ASSERT_TRUE(impostor_->Run("req", "-new -x509 -days 30 -key '" + impostor_->Key() + "' -subj '/C=RU/O=Test Bank/CN=" +
                                              (gost ? "Test CA GOST" : "Test CA RSA") + "' -out '" + impostor_->Cert() + "'"));
    }
    void TearDown() override {
        if (install_ != nullptr) DeleteDirectory(install_->Path(base_), true);
    }
    // Open: an engine of the user whose lists are this test's CRL directory.
    EnginePtr Open(const std::string& user) const {
        EnginePtr engine = install_->Open(user);
        EXPECT_EQ(SetCryptoParamValue(engine.get(), 26, install_->Path(base_ + "CRL").c_str()), 0);
        return engine;
    }
    // Include: IncludeCRL of a copy of the list (the original stays for later attempts).
    std::int32_t Include(VORLAN_HANDLE h, const std::string& list) const {
        const std::string copy = install_->Path(base_ + "in\\list.pem");
        EXPECT_TRUE(CopyFileWhole(list, copy));
        return IncludeCRL(h, copy.c_str());
    }
    // Verifies: whether a signature of the user checks out for USER02 with this test's lists.
    bool Verifies(const std::string& signer) const {
        EnginePtr user = install_->Open(signer);
        const std::string data = "Payment order 7";
        std::string signature(static_cast<std::size_t>(GetMaxSignatureLength(user.get())), '\0');
        auto length = static_cast<std::int32_t>(signature.size());
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        EXPECT_EQ(SignData(user.get(), bytes, 15, reinterpret_cast<unsigned char*>(signature.data()), &length, nullptr), 0);
        char uid[40] = {};
        return VerifyData(Open("USER02").get(), bytes, 15, reinterpret_cast<const unsigned char*>(signature.data()), length,
                          uid) == 0;
    }
    std::vector<std::string> Installed() const {
        std::vector<std::string> contents;
        for (const auto& entry : platform::Enumerate(install_->Path(base_ + "CRL\\*.*")))
            if ((entry.attributes & platform::kAttrDirectory) == 0)
                contents.push_back(platform::ReadWholeFile(install_->Path(base_ + "CRL\\" + entry.name)).value_or(""));
        return contents;
    }

    Installation* install_ = nullptr;
    std::string base_;
    std::unique_ptr<Issuer> ca_, impostor_;
};

TEST_P(CRLTest, OnlyANewerListOfTheCAReplacesTheInstalledOne) {
    // Numbered lists carry dates the other way round, so that only the number tells.
    const bool numbered = std::get<1>(GetParam());
    const std::string older = ca_->List("older.pem", numbered ? -1 : -2, 0);
    const std::string newer = ca_->List("newer.pem", numbered ? -2 : -1, 104);
    const std::string forged = impostor_->List("forged.pem", 0, 0);
    EnginePtr admin = Open("USER01");
    ASSERT_EQ(Include(admin.get(), older), 0);
    ASSERT_EQ(Include(admin.get(), newer), 0);
    EXPECT_EQ(Installed(), std::vector<std::string>{platform::ReadWholeFile(newer).value_or("")});
    EXPECT_FALSE(Verifies("REVOKED"));

    struct Refusal {
        const std::string& list;
        std::int32_t code;
    };
    for (const Refusal& r : {Refusal{older, -1041}, Refusal{forged, -1040}}) {
        EXPECT_EQ(Include(admin.get(), r.list), r.code) << r.list;
        char text[1024] = {};
        GetCryptoErrorString(admin.get(), r.code, text);
        EXPECT_NE(std::string(text).find("CRL"), std::string::npos) << text;
        EXPECT_EQ(Installed(), std::vector<std::string>{platform::ReadWholeFile(newer).value_or("")}) << r.list;
        EXPECT_FALSE(Verifies("REVOKED")) << "the revocation stays in force after " << r.list;
        EXPECT_TRUE(Verifies("USER01")) << "the CA's signatures stay valid after " << r.list;
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, CRLTest,
                         ::testing::Combine(::testing::Values(Algorithm::Gost, Algorithm::Rsa), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == Algorithm::Gost ? "GOST" : "RSA") +
                                    (std::get<1>(info.param) ? "Numbered" : "Dated");
                         });

}  // namespace
}  // namespace vorlan::test
