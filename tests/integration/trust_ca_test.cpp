// CA certificates that arrive in transfers, made by the openssl command line as outside CAs
// make them, through IncludeCACertificateFromTransfer and the real toolkit, in GOST and RSA:
// a subordinate or link certificate of an installed CA and its root issued again join the CA
// directory; a user's certificate, a foreign root, a root under the installed CA's name with
// another key, a certificate with the installed key but a foreign signature, and an expired
// and a revoked subordinate are refused, each with its code, and nothing is written.
#include <algorithm>

#include "installation.h"
#include "platform/platform.h"
#include "pki/openssl_ca.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

class CATrustTest : public InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        if (install_ == nullptr) return;
        gost_ = install_->algorithm() == Algorithm::Gost;
        base_ = std::string("catrust_") + (gost_ ? "g" : "r") + "\\";
        for (const char* sub : {"CA", "CRL", "made"}) ASSERT_TRUE(CreateDirectoryPath(install_->Path(base_ + sub)));
        // The installation's CA is the one installed CA certificate of this test's CA directory.
        ASSERT_TRUE(CopyFileWhole(install_->Path("CA\\ca.pem"), install_->Path(base_ + "CA\\root.pem")));
    }
    void TearDown() override {
        if (install_ != nullptr) DeleteDirectory(install_->Path(base_), true);
    }
    std::string Made(const std::string& name) const { return install_->Native(base_ + "made\\" + name); }
    // Include: USER02 sends the certificate file in a transfer (validly signed), USER01 files it.
    std::int32_t Include(const std::string& certificate) {
        EnginePtr sender = install_->Open("USER02"), receiver = install_->Open("USER01");
        std::string transfer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(sender.get())) + 1, '\0');
        const std::int32_t built = GetPublicKeyTransferByFile(sender.get(), transfer.data(), certificate.c_str());
        EXPECT_EQ(built, 0) << ErrorText(sender.get(), built);
        EXPECT_EQ(SetCryptoParamValue(receiver.get(), 25, install_->Path(base_ + "CA").c_str()), 0);
        EXPECT_EQ(SetCryptoParamValue(receiver.get(), 26, install_->Path(base_ + "CRL").c_str()), 0);
        return IncludeCACertificateFromTransfer(receiver.get(), transfer.c_str());
    }
    // Filed: the names and contents of the test's CA directory.
    std::vector<std::pair<std::string, std::string>> Filed() const {
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& entry : platform::Enumerate(install_->Path(base_ + "CA\\*.*")))
            if (entry.name[0] != '.')
                files.emplace_back(entry.name, platform::ReadWholeFile(install_->Path(base_ + "CA\\" + entry.name)).value_or(""));
        std::sort(files.begin(), files.end());
        return files;
    }
    std::string Read(const std::string& native) const { return platform::ReadWholeFile(native).value_or(""); }

    bool gost_ = false;
    std::string base_;
};

TEST_P(CATrustTest, OnlyCertificatesAnInstalledCAVouchesForAreFiled) {
    const std::string root = install_->Native("CA/ca.pem"), rootKey = install_->Native("ca.key");
    const std::string rootName = gost_ ? "/C=RU/O=Test Bank/CN=Test CA GOST" : "/C=RU/O=Test Bank/CN=Test CA RSA";
    OpensslCA ca(install_->Native("staging"), install_->algorithm()), other(install_->Native("staging_other"), install_->algorithm());
    ca.UseRoot(root, rootKey);
    other.UseRoot(Made("foreign.pem"), Made("foreign.key"));
    ASSERT_TRUE(ca.IssueCA("/C=RU/O=Test Bank/CN=Branch CA", Made("sub.pem"), Made("sub.key")));
    ASSERT_TRUE(ca.IssueCA("/C=RU/O=Test Bank/CN=Test CA 2", Made("link.pem"), Made("link.key")));
    ASSERT_TRUE(ca.Reissue(rootName, Made("reissued.pem")));
    ASSERT_TRUE(ca.SelfSigned("/C=RU/O=Other Bank/CN=Other CA", Made("foreign.pem"), Made("foreign.key")));
    ASSERT_TRUE(ca.SelfSigned(rootName, Made("impostor.pem"), Made("impostor.key")));
    ASSERT_TRUE(ca.Issue("/C=RU/O=Test Bank/CN=CLERK", Made("user.pem"), Made("user.key")));
    ASSERT_TRUE(ca.IssueCA("/C=RU/O=Test Bank/CN=Old CA", Made("expired.pem"), Made("expired.key"), "20200101000000Z",
                           "20210101000000Z"));
    // A subordinate that the root revoked, in a CRL of the root installed here.
    const std::string config = install_->Native("staging/ca.cnf");
    ASSERT_TRUE(ca.IssueCA("/C=RU/O=Test Bank/CN=Revoked CA", Made("revoked.pem"), Made("revoked.key")) &&
                ca.Run("ca", "-config " + OpensslCA::Quote(config) + " -cert " + OpensslCA::Quote(root) + " -keyfile " +
                                 OpensslCA::Quote(rootKey) + " -revoke " + OpensslCA::Quote(Made("revoked.pem"))) &&
                ca.WriteCRL(Made("root.crl")));
    EnginePtr receiver = install_->Open("USER01");
    ASSERT_EQ(SetCryptoParamValue(receiver.get(), 25, install_->Path(base_ + "CA").c_str()), 0);
    ASSERT_EQ(SetCryptoParamValue(receiver.get(), 26, install_->Path(base_ + "CRL").c_str()), 0);
    ASSERT_EQ(IncludeCRL(receiver.get(), install_->Path(base_ + "made\\root.crl").c_str()), 0);
    // The installed CA's key in a certificate that the foreign CA signed.
    const auto q = &OpensslCA::Quote;
    ASSERT_TRUE(ca.Run("pkey", "-in " + q(rootKey) + " -pubout -out " + q(Made("root_pub.pem"))) &&
                other.Request(Made("foreign.key"), rootName, Made("samekey.req")) &&
                other.Run("x509", "-req -in " + q(Made("samekey.req")) + " -CA " + q(Made("foreign.pem")) + " -CAkey " +
                                      q(Made("foreign.key")) + " -force_pubkey " + q(Made("root_pub.pem")) + " -extfile " +
                                      q(install_->Native("staging_other/ca.ext")) + " -set_serial 77 -days 30 -out " +
                                      q(Made("samekey.pem"))));

    const std::pair<const char*, std::int32_t> refused[] = {{"user.pem", -1050},    {"foreign.pem", -1051},
                                                            {"impostor.pem", -1051}, {"samekey.pem", -1051},
                                                            {"expired.pem", -1052}, {"revoked.pem", -1053}};
    const auto before = Filed();
    for (const auto& [file, code] : refused) {
        EXPECT_EQ(Include(install_->Path(base_ + "made\\" + file)), code) << file;
        EXPECT_EQ(Filed(), before) << file;
    }
    // Accepted in turn: ca.pem, ca00001.pem, ca00002.pem, byte for byte as sent.
    std::vector<std::pair<std::string, std::string>> filed = before;
    const char* const accepted[] = {"sub.pem", "link.pem", "reissued.pem"};
    const char* const names[] = {"ca.pem", "ca00001.pem", "ca00002.pem"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Include(install_->Path(base_ + "made\\" + accepted[i])), 0) << accepted[i];
        filed.emplace_back(names[i], Read(Made(accepted[i])));
        std::sort(filed.begin(), filed.end());
        EXPECT_EQ(Filed(), filed) << accepted[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, CATrustTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

}  // namespace
}  // namespace vorlan::test
