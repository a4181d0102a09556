// CRLs as an outside CA makes them, with `openssl ca -gencrl`, through IncludeCRL and the
// real toolkit: a newer list replaces the installed one; a list older than it, or one that
// carries the CA's name under another key, is refused and the installed list stays in force.
#include <gtest/gtest.h>

#include <tuple>

#include "installation.h"
#include "pki/openssl_ca.h"
#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

class CRLTest : public ::testing::TestWithParam<std::tuple<Algorithm, bool>> {
protected:
    void SetUp() override {
        install_ = Installation::Get(std::get<0>(GetParam()));
        if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
        base_ = std::string("crltest_") + (std::get<1>(GetParam()) ? "numbered" : "dated") + "\\";
        for (const char* sub : {"ca", "impostor", "CRL", "in"}) ASSERT_TRUE(CreateDirectoryPath(install_->Path(base_ + sub)));
        install_->pki().WriteCA(Native("ca/ca.pem"));
        install_->pki().WriteCAKey(Native("ca/ca.key"));
        // Another key under the CA's very name.
        const TestPKI impostor(std::get<0>(GetParam()));
        impostor.WriteCA(Native("impostor/ca.pem"));
        impostor.WriteCAKey(Native("impostor/ca.key"));
    }
    void TearDown() override {
        if (install_ != nullptr) DeleteDirectory(install_->Path(base_), true);
    }
    std::string Native(const std::string& relative) const { return install_->Native(base_ + relative); }
    // List: a CRL of the issuer ("ca" or "impostor") issued `days` from now, revoking the
    // serial given (0: none) besides those revoked before, numbered when the test says so.
    std::string List(const std::string& issuer, const std::string& name, long days, long revoked) const {
        OpensslCA ca(Native(issuer), std::get<0>(GetParam()));
        ca.UseRoot(Native(issuer + "/ca.pem"), Native(issuer + "/ca.key"));
        if (revoked != 0) ca.Revoke(revoked);
        const std::string list = Native(issuer + "/" + name);
        EXPECT_TRUE(ca.WriteCRL(list, {.lastUpdateDays = days, .numbered = std::get<1>(GetParam())})) << list;
        return list;
    }
    // Include: IncludeCRL of a copy of the list into this test's CRL directory.
    std::int32_t Include(const std::string& list) const {
        const std::string copy = install_->Path(base_ + "in\\list.pem");
        EXPECT_TRUE(CopyFileWhole(list, copy));
        return IncludeCRL(Open("USER01").get(), copy.c_str());
    }
    EnginePtr Open(const std::string& user) const {
        EnginePtr engine = install_->Open(user);
        EXPECT_EQ(SetCryptoParamValue(engine.get(), 26, install_->Path(base_ + "CRL").c_str()), 0);
        return engine;
    }
    // Verifies: whether the user's signature checks out for USER02 with this test's lists.
    bool Verifies(const std::string& signer) const {
        const auto* data = reinterpret_cast<const unsigned char*>("Payment order 7");
        unsigned char signature[8192];
        std::int32_t length = sizeof signature;
        EXPECT_EQ(SignData(install_->Open(signer).get(), data, 15, signature, &length, nullptr), 0);
        char uid[40] = {};
        return VerifyData(Open("USER02").get(), data, 15, signature, length, uid) == 0;
    }
    std::vector<std::string> Installed() const {
        std::vector<std::string> lists;
        for (const auto& entry : platform::Enumerate(install_->Path(base_ + "CRL\\*.pem")))
            lists.push_back(platform::ReadWholeFile(install_->Path(base_ + "CRL\\" + entry.name)).value_or(""));
        return lists;
    }

    Installation* install_ = nullptr;
    std::string base_;
};

TEST_P(CRLTest, OnlyANewerListOfTheCAReplacesTheInstalledOne) {
    // Numbered lists carry dates the other way round, so that only the number tells.
    const bool numbered = std::get<1>(GetParam());
    const std::string older = List("ca", "older.pem", numbered ? -1 : -2, 0);
    const std::string newer = List("ca", "newer.pem", numbered ? -2 : -1, 104);
    const std::string forged = List("impostor", "forged.pem", 0, 0);
    ASSERT_EQ(Include(older), 0);
    ASSERT_EQ(Include(newer), 0);
    const std::vector<std::string> installed{platform::ReadWholeFile(newer).value_or("")};
    EXPECT_EQ(Installed(), installed);
    for (const auto& [list, code] : {std::pair{older, -1041}, std::pair{forged, -1040}}) {
        EXPECT_EQ(Include(list), code) << list;
        EXPECT_EQ(Installed(), installed) << list;
        EXPECT_FALSE(Verifies("REVOKED")) << "the revocation stays in force after " << list;
        EXPECT_TRUE(Verifies("USER01")) << "the CA's signatures stay valid after " << list;
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
