// A key renewal done with the container files as the PSE engine moves them: backup,
// new container, request, match and install, key database exchange; afterwards the
// PSE signs and decrypts with the new key.
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "harness.h"

namespace tkt {
namespace {

namespace fs = std::filesystem;

class RenewalTest : public ToolkitTest {
protected:
    static void CopyTree(const std::string& from, const std::string& to) {
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    std::string Identity(mpro::Context ctx, const std::string& dir) {
        std::string out(static_cast<std::size_t>(Tk().GetMaxCryptoParamValueLength()), '\0');
        EXPECT_EQ(Tk().PSePrivateKeyBackup(ctx, dir.c_str(), out.data()), 0) << LastError();
        return out.c_str();
    }
};

TEST_P(RenewalTest, NewContainerReplacesTheOldOne) {
    std::string root = TempDir("renew");
    std::string pse = root + "/PSE", backup = root + "/B", remote = root + "/R";
    fs::create_directories(backup);
    fs::create_directories(remote);
    std::map<int, std::string> base = {{1, Pki().CertDir()}, {2, pse},   {3, Cipher()},          {4, SigAlg()},
                                       {15, "PSEUSER"},      {10, "RU"}, {24, Pki().CaDir()}, {25, Pki().CrlDir()}};
    // The current PSE with its certificate.
    mpro::Context setup = OpenWith(base);
    ASSERT_EQ(Tk().MakeRequestForPSE(setup, pse.c_str(), (root + "/old.req").c_str()), 0) << LastError();
    std::string own = Pki().IssueForRequest(root + "/old.req", root + "/own.pem");
    auto params = base;
    params[0] = own;
    mpro::Context ctx = OpenWith(params);

    // Backup, then the keygen utility's new container in the backup directory.
    std::string before = Identity(ctx, backup);
    EXPECT_EQ(before, Identity(ctx, pse));
    std::string cmd = BinDir() + "/vorlan-keygen --force '" + backup + "' " + (GetParam() == Algo::Gost ? "gost" : "rsa") + " > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string after = Identity(ctx, backup);
    ASSERT_NE(after, before);

    // Request for the new container; its key set travels to the remote directory.
    auto req = base;
    req[2] = backup;
    ASSERT_EQ(Tk().MakeRequestForPSE(OpenWith(req), backup.c_str(), (remote + "/Tmp_cert.pem").c_str()), 0);
    CopyTree(backup, remote);
    std::string newCert = Pki().IssueForRequest(remote + "/Tmp_cert.pem", remote + "/tmp_cert.pem");

    // The old certificate does not match the new keys; the new one does and installs them.
    std::string previous(static_cast<std::size_t>(Tk().GetMaxCryptoParamValueLength()), '\0');
    EXPECT_EQ(Tk().CertificateAndPSePrivateKeysMatch(ctx, own.c_str(), remote.c_str(), previous.data()), 0);
    ASSERT_NE(Tk().CertificateAndPSePrivateKeysMatch(ctx, newCert.c_str(), remote.c_str(), previous.data()), 0) << LastError();
    ASSERT_TRUE(fs::exists(previous.c_str()));
    fs::rename(previous.c_str(), pse + "/DB/SIGN/sec_sgn.001");
    for (const char* f : {"gk.db3", "uz.db3", "num", "DB/CRYPT/ckd.key"})
        fs::copy_file(remote + "/" + f, pse + "/" + f, fs::copy_options::overwrite_existing);
    fs::copy_file(newCert, own, fs::copy_options::overwrite_existing);

    // The PSE now holds the new container: identity, signature and decryption.
    mpro::Context renewed = OpenWith(params);
    EXPECT_EQ(Identity(renewed, pse), after);
    std::vector<unsigned char> buf(16 + 4096);
    std::memcpy(buf.data(), "after renewal", 13);
    std::int32_t len = 13;
    ASSERT_EQ(Tk().EncodeData(renewed, buf.data(), &len, ""), 0) << LastError();
    std::string who(4096, '\0');
    ASSERT_EQ(Tk().DecodeData(renewed, buf.data(), &len, who.data()), 0) << LastError();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), static_cast<std::size_t>(len)), "after renewal");
    std::vector<unsigned char> sig(4224);
    std::int32_t slen = 4224;
    ASSERT_EQ(Tk().SignData(renewed, buf.data(), len, sig.data(), &slen, ""), 0) << LastError();
    std::int32_t dlen = len;
    EXPECT_EQ(Tk().VerifyData(renewed, buf.data(), &dlen, sig.data(), slen, who.data()), 0) << LastError();
}

INSTANTIATE_TEST_SUITE_P(Algorithms, RenewalTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt
